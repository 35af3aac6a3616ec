#include "FinishSettings.h"

#include "SettingsFile.h"

#include <QSettings>

namespace FinishSettings {

namespace {

QVariant read(const SettingsFile &settings, const char *key, const QVariant &fallback)
{
    return settings.settings() ? settings.settings()->value(QLatin1String(key), fallback) : fallback;
}

bool flag(const SettingsFile &settings, const char *key, bool fallback)
{
    const QString text = read(settings, key, fallback).toString().trimmed().toLower();
    return text == QLatin1String("true") || text == QLatin1String("1");
}

} // namespace

FinishChoices defaults(const SettingsFile &settings)
{
    FinishChoices choices;
    choices.subtitles = Finish::languageList(languages(settings));
    choices.subtitlesBeside = flag(settings, besideKey, false);
    choices.tags = flag(settings, tagsKey, true);
    choices.chapters = flag(settings, chaptersKey, true);
    choices.cover = flag(settings, coverKey, true);
    return choices;
}

QString languages(const SettingsFile &settings)
{
    return read(settings, languagesKey, QStringLiteral("en, de")).toString();
}

} // namespace FinishSettings

#include "FinishChoices.h"

#include <QJsonArray>
#include <QLocale>
#include <QRegularExpression>
#include <QSet>

namespace Finish {

namespace {

constexpr int maxName = 64;
constexpr int maxClock = 99 * 3600 + 59 * 60 + 59;

QString oneLine(const QString &text)
{
    QString line = text;
    for (QChar &c : line) {
        if (c.category() == QChar::Other_Control || c.category() == QChar::Other_Format || c.unicode() == 0x7f)
            c = QLatin1Char(' ');
    }
    line = line.simplified();
    // Whole code points only.
    if (line.size() > maxName)
        line.truncate(line.at(maxName - 1).isHighSurrogate() ? maxName - 1 : maxName);
    return line;
}

} // namespace

bool isSafeLanguage(const QString &code)
{
    static const QRegularExpression allowed(QRegularExpression::anchoredPattern(QStringLiteral("[A-Za-z0-9][A-Za-z0-9_-]{0,31}")));
    return allowed.match(code).hasMatch();
}

QList<SubtitleInfo> parseSubtitles(const QStringList &lines)
{
    static const QLatin1String own("[subtitles] ");
    static const QLatin1String captions("[captions] ");
    QList<SubtitleInfo> found[2];
    QSet<QString> seen[2];
    int kept = 0;
    for (const QString &line : lines) {
        const bool automatic = line.startsWith(captions);
        if (!automatic && !line.startsWith(own))
            continue;
        const QString rest = line.mid(automatic ? captions.size() : own.size());
        const qsizetype blank = rest.indexOf(QLatin1Char(' '));
        SubtitleInfo subtitle{rest.left(blank), blank < 0 ? QString() : oneLine(rest.mid(blank + 1)), automatic};
        if (!isSafeLanguage(subtitle.code) || seen[automatic].contains(subtitle.code) || kept >= maxSubtitles)
            continue;
        seen[automatic].insert(subtitle.code);
        found[automatic].append(subtitle);
        ++kept;
    }
    return found[0] + found[1];
}

QString label(const SubtitleInfo &subtitle)
{
    QString name = subtitle.name;
    if (name.isEmpty()) {
        const QLocale locale(subtitle.code);
        name = locale.language() == QLocale::C ? subtitle.code : QLocale::languageToString(locale.language());
    }
    return subtitle.automatic ? name + QStringLiteral(" (automatic)") : name;
}

QStringList languageList(const QString &text)
{
    QStringList codes;
    for (const QString &piece : text.split(QLatin1Char(','))) {
        const QString code = piece.trimmed();
        if (isSafeLanguage(code) && !codes.contains(code))
            codes << code;
    }
    return codes;
}

std::optional<int> parseClock(const QString &text)
{
    static const QRegularExpression clock(
        QRegularExpression::anchoredPattern(QStringLiteral("(?:(?:([0-9]{1,2}):)?([0-9]{1,2}):)?([0-9]{1,6})")));
    const QRegularExpressionMatch match = clock.match(text.trimmed());
    if (!match.hasMatch())
        return std::nullopt;
    const int hours = match.captured(1).toInt();
    const int minutes = match.captured(2).toInt();
    const int seconds = match.captured(3).toInt();
    // Past a colon each place counts to 59; a plain number is all seconds.
    if (!match.captured(2).isEmpty() && seconds > 59)
        return std::nullopt;
    if (!match.captured(1).isEmpty() && minutes > 59)
        return std::nullopt;
    const int total = hours * 3600 + minutes * 60 + seconds;
    return total <= maxClock ? std::optional<int>(total) : std::nullopt;
}

QString clockText(int seconds)
{
    const int s = qMax(0, seconds);
    if (s >= 3600)
        return QStringLiteral("%1:%2:%3").arg(s / 3600).arg(s / 60 % 60, 2, 10, QLatin1Char('0')).arg(s % 60, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1:%2").arg(s / 60).arg(s % 60, 2, 10, QLatin1Char('0'));
}

QString sectionProblem(int from, int to, int duration)
{
    if (from < 0 || to < 0)
        return QStringLiteral("From and To are times such as 0:01:30.");
    if (to <= from)
        return QStringLiteral("To (%1) must come after From (%2).").arg(clockText(to), clockText(from));
    if (duration > 0 && to > duration)
        return QStringLiteral("The video is %1 long: a part up to %2 goes past its end.")
            .arg(clockText(duration), clockText(to));
    return {};
}

QStringList launcherArguments(const FinishChoices &choices)
{
    QStringList arguments;
    QStringList codes;
    for (const QString &code : choices.subtitles) {
        if (isSafeLanguage(code))
            codes << code;
    }
    if (!codes.isEmpty()) {
        arguments << QStringLiteral("--subs") << codes.join(QLatin1Char(','));
        if (choices.subtitlesBeside)
            arguments << QStringLiteral("--subs-beside");
    }
    if (choices.tags)
        arguments << QStringLiteral("--tags");
    if (choices.chapters)
        arguments << QStringLiteral("--chapters");
    if (choices.cover)
        arguments << QStringLiteral("--cover");
    if (choices.coverBeside)
        arguments << QStringLiteral("--cover-beside");
    if (choices.hasSection())
        arguments << QStringLiteral("--section") << QStringLiteral("%1-%2").arg(choices.from).arg(choices.to);
    return arguments;
}

QJsonObject toJson(const FinishChoices &choices)
{
    QJsonObject object;
    if (!choices.subtitles.isEmpty()) {
        object.insert(QStringLiteral("subtitles"), QJsonArray::fromStringList(choices.subtitles));
        object.insert(QStringLiteral("subtitles_beside"), choices.subtitlesBeside);
    }
    object.insert(QStringLiteral("tags"), choices.tags);
    object.insert(QStringLiteral("chapters"), choices.chapters);
    object.insert(QStringLiteral("cover"), choices.cover);
    if (choices.hasSection()) {
        object.insert(QStringLiteral("from"), choices.from);
        object.insert(QStringLiteral("to"), choices.to);
    }
    return object;
}

FinishChoices fromJson(const QJsonObject &object)
{
    FinishChoices choices;
    for (const QJsonValue &code : object.value(QStringLiteral("subtitles")).toArray()) {
        if (isSafeLanguage(code.toString()) && choices.subtitles.size() < maxSubtitles)
            choices.subtitles << code.toString();
    }
    choices.subtitlesBeside = object.value(QStringLiteral("subtitles_beside")).toBool();
    choices.tags = object.value(QStringLiteral("tags")).toBool();
    choices.chapters = object.value(QStringLiteral("chapters")).toBool();
    choices.cover = object.value(QStringLiteral("cover")).toBool();
    const int from = object.value(QStringLiteral("from")).toInt(-1);
    const int to = object.value(QStringLiteral("to")).toInt(-1);
    if (from >= 0 && to > from && to <= maxClock) {
        choices.from = from;
        choices.to = to;
    }
    return choices;
}

} // namespace Finish

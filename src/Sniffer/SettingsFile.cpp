#include "SettingsFile.h"

#include "LogLine.h"
#include "Platform.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

const QStringList &SettingsFile::listNames()
{
    static const QStringList names{
        QStringLiteral("error_titles"), QStringLiteral("error_messages"),
        QStringLiteral("error_messages_dl"), QStringLiteral("warning_messages"),
        QStringLiteral("yt_urls"), QStringLiteral("os_urls"), QStringLiteral("help"),
        QStringLiteral("help_actions"), QStringLiteral("quorl_test_urls"),
        QStringLiteral("test_sniffer")};
    return names;
}

SettingsFile::SettingsFile() = default;
SettingsFile::~SettingsFile() = default;

bool SettingsFile::setSettingsFile()
{
    TRACE("setSettingsFile");
    m_appDataPath = Platform::perUserFolder();
    if (!Platform::ensurePerUserFolder())
        LOG_ERROR << "setSettingsFile" << ":" << "cannot create folder" << ":" << m_appDataPath;
    m_settingsPath = QDir::toNativeSeparators(m_appDataPath + QStringLiteral("/sniffer.ini"));
    // A file that could not be moved aside is neither read nor overwritten.
    if (QFileInfo(m_settingsPath).size() > maxFileSize && !keepTooLargeFileAside())
        return false;
    restrictToUser();
    return createSettingsFile(m_appDataPath);
}

bool SettingsFile::createSettingsFile(const QString &)
{
    if (QFileInfo::exists(m_settingsPath))
        return true;

    const QDate today = m_today.isValid() ? m_today : QDate::currentDate();
    const QString nextDay = QString::number(today.dayOfYear() + 1);

    // The template stays in place: every user of the machine starts from it.
    const QString userPath = m_settingsPath;
    m_settingsPath = Platform::settingsTemplatePath();
    if (!QFileInfo::exists(m_settingsPath))
        LOG_ERROR << "createSettingsFile" << ":" << "no template" << ":" << m_settingsPath;
    readSettings();

    m_settingsPath = userPath;
    openSettings();
    m_settings->setValue(QStringLiteral("last_update"), nextDay);

    const QString root = Platform::documentsFolder() + QDir::separator() + QStringLiteral("Vidarro");
    QDir().mkpath(root);
    const QString video = root + QDir::separator() + QStringLiteral("Video");
    QDir().mkpath(video);
    m_settings->setValue(QStringLiteral("savepath_video"), video);
    const QString audio = root + QDir::separator() + QStringLiteral("Audio");
    QDir().mkpath(audio);
    m_settings->setValue(QStringLiteral("savepath_audio"), audio);

    for (auto list = m_lists.cbegin(); list != m_lists.cend(); ++list) {
        m_settings->beginGroup(list.key());
        for (auto entry = list->cbegin(); entry != list->cend(); ++entry)
            m_settings->setValue(QString::number(entry.key()), entry.value());
        m_settings->endGroup();
    }
    m_settings->sync();
    restrictToUser();
    if (m_settings->status() == QSettings::AccessError)
        LOG_ERROR << "createSettingsFile" << ":" << "cannot write" << ":" << m_settingsPath;
    return false;
}

void SettingsFile::readSettings()
{
    TRACE("readSettings");
    openSettings();
    for (const QString &name : listNames())
        readSettingsList(name);
    addNewDownloaderMessages();
}

void SettingsFile::addNewDownloaderMessages()
{
    // A file made by an older version lacks the texts of newer codes: they
    // come from the template, in memory only; what the user has stays.
    const QString templatePath = Platform::settingsTemplatePath();
    const QFileInfo shipped(templatePath);
    if (m_settingsPath == templatePath || !shipped.isFile() || shipped.size() > maxFileSize)
        return;
    QSettings defaults(templatePath, QSettings::IniFormat);
    const QString name = QStringLiteral("error_messages_dl");
    SettingsList &list = m_lists[name];
    defaults.beginGroup(name);
    for (const QString &key : defaults.childKeys()) {
        const int code = key.toInt(nullptr, 10);
        const QVariant text = defaults.value(key);
        if (!list.contains(code) && text.typeId() == QMetaType::QString)
            list.insert(code, text.toString());
    }
}

void SettingsFile::readSettingsList(const QString &name)
{
    SettingsList list;
    m_settings->beginGroup(name);
    const QStringList keys = m_settings->childKeys();
    for (const QString &key : keys) {
        const QVariant stored = m_settings->value(key);
        // An unquoted comma makes the INI reader hand back a list: rejoin it.
        const QString text = stored.typeId() == QMetaType::QStringList
                                 ? stored.toStringList().join(QStringLiteral(", "))
                                 : stored.toString();
        list.insert(key.toInt(nullptr, 10), text);
    }
    m_settings->endGroup();
    m_lists.insert(name, list);
}

bool SettingsFile::store(const QString &key, const QString &value)
{
    if (!m_settings)
        return false;
    keepOriginalBeforeFirstWrite();
    m_settings->setValue(key, value);
    m_settings->sync();
    restrictToUser();
    // The status also remembers a parse error of the read; only a failed write counts here.
    if (m_settings->status() != QSettings::AccessError)
        return true;
    LOG_ERROR << "store" << ":" << "cannot write" << ":" << m_settingsPath;
    return false;
}

QString SettingsFile::value(const QString &key) const
{
    return m_settings ? m_settings->value(key).toString() : QString();
}

bool SettingsFile::keepTooLargeFileAside()
{
    const QString aside = m_settingsPath + tooLargeSuffix();
    LOG_ERROR << "setSettingsFile" << ":" << "settings file over 4 MB, not read; kept as" << ":" << aside;
    QFile::remove(aside);
    if (QFile::rename(m_settingsPath, aside))
        return true;
    LOG_ERROR << "setSettingsFile" << ":" << "cannot move" << ":" << m_settingsPath;
    const QString userPath = m_settingsPath;
    m_settingsPath = Platform::settingsTemplatePath();
    readSettings();
    m_settings.reset();
    m_settingsPath = userPath;
    return false;
}

void SettingsFile::restrictToUser() const
{
    if (QFileInfo::exists(m_settingsPath))
        QFile::setPermissions(m_settingsPath, QFile::ReadOwner | QFile::WriteOwner);
}

void SettingsFile::openSettings()
{
    m_settings = std::make_unique<QSettings>(m_settingsPath, QSettings::IniFormat);
    if (m_settings->status() == QSettings::FormatError)
        LOG_ERROR << "readSettings" << ":" << "unreadable settings file" << ":" << m_settingsPath;
}

// The INI writer rewrites the whole file from what it understood, which
// drops anything it could not parse: keep the file as it was at start beside
// it, once per run, before the first change.
void SettingsFile::keepOriginalBeforeFirstWrite()
{
    if (m_originalKept || !QFileInfo::exists(m_settingsPath))
        return;
    m_originalKept = true;
    const QString copy = m_settingsPath + QStringLiteral(".bak");
    QFile::remove(copy);
    if (!QFile::copy(m_settingsPath, copy))
        LOG_ERROR << "store" << ":" << "cannot keep a copy" << ":" << copy;
}

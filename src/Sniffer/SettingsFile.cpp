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
        QStringLiteral("update_messages"), QStringLiteral("yt_urls"), QStringLiteral("os_urls"), QStringLiteral("help"),
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

static SettingsList readList(QSettings &settings, const QString &name)
{
    SettingsList list;
    settings.beginGroup(name);
    const QStringList keys = settings.childKeys();
    for (const QString &key : keys) {
        const QVariant stored = settings.value(key);
        // An unquoted comma makes the INI reader hand back a list: rejoin it.
        const QString text = stored.typeId() == QMetaType::QStringList
                                 ? stored.toStringList().join(QStringLiteral(", "))
                                 : stored.toString();
        list.insert(key.toInt(nullptr, 10), text);
    }
    settings.endGroup();
    return list;
}

void SettingsFile::readSettings()
{
    TRACE("readSettings");
    openSettings();
    for (const QString &name : listNames())
        readSettingsList(name);
    addNewMessages();
}

void SettingsFile::readSettingsList(const QString &name)
{
    m_lists.insert(name, readList(*m_settings, name));
}

// A user's file was copied from the template of the version first run: the
// messages a later version added come from the template beside the program.
// Only message lists: a host the user removed from a site list stays removed.
void SettingsFile::addNewMessages()
{
    const QString templatePath = Platform::settingsTemplatePath();
    const QFileInfo template_(templatePath);
    if (m_settingsPath == templatePath || !template_.isFile() || template_.size() > maxFileSize)
        return;
    QSettings shipped(templatePath, QSettings::IniFormat);
    for (const char *name : {"error_titles", "error_messages", "error_messages_dl", "warning_messages",
                             "update_messages"}) {
        const QString listName = QString::fromLatin1(name);
        SettingsList &list = m_lists[listName];
        const SettingsList added = readList(shipped, listName);
        for (auto entry = added.cbegin(); entry != added.cend(); ++entry)
            list.insert(entry.key(), list.value(entry.key(), entry.value()));
    }
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

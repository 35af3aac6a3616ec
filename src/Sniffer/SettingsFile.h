#pragma once

#include <QDate>
#include <QMap>
#include <QString>

#include <memory>

class QSettings;

using SettingsList = QMap<int, QString>;
using SettingsLists = QMap<QString, SettingsList>;

// The per-user settings file "sniffer.ini": the message catalogue, host
// lists, help menu and test data, plus the user's save folders. The first
// start copies the lists of the template shipped beside the program.
class SettingsFile
{
public:
    static const QStringList &listNames();
    // A larger file is not parsed (the INI reader needs many times its size
    // in memory): it is kept beside under this suffix and the template used.
    static constexpr qint64 maxFileSize = 4 * 1024 * 1024;
    static QString tooLargeSuffix() { return QStringLiteral(".too-large"); }

    SettingsFile();
    ~SettingsFile();

    // Fixes the paths and, on the first start, creates the file. True means the
    // file already existed and still has to be read with readSettings().
    bool setSettingsFile();
    void readSettings();
    bool createSettingsFile(const QString &appDataPath);
    void readSettingsList(const QString &name);
    void addNewDownloaderMessages();

    QString settingsPath() const { return m_settingsPath; }
    QString appDataPath() const { return m_appDataPath; }
    QSettings *settings() const { return m_settings.get(); }
    const SettingsLists &settingsLists() const { return m_lists; }
    SettingsList list(const QString &name) const { return m_lists.value(name); }

    // Stores a top-level key and writes it to disk at once; false (and a
    // critical log line) when the file cannot be written.
    bool store(const QString &key, const QString &value);
    QString value(const QString &key) const;

    // The date used for first-start values; tests move it.
    void setToday(const QDate &today) { m_today = today; }

private:
    void openSettings();
    void keepOriginalBeforeFirstWrite();
    // False when the file stays where it is; the template's lists are read then.
    bool keepTooLargeFileAside();
    // The file holds the user's folders: readable by the user alone.
    void restrictToUser() const;

    QString m_settingsPath;
    QString m_appDataPath;
    std::unique_ptr<QSettings> m_settings;
    SettingsLists m_lists;
    QDate m_today;
    bool m_originalKept = false;
};

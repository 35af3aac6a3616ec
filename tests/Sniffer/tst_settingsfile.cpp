#include "TestFiles.h"
#include "Platform.h"
#include "SettingsFile.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QByteArray smallTemplate =
    "[error_titles]\n0=Error\n3=\"Title three\"\n"
    "[error_messages]\n1=\"3~Bad address, try again\"\n"
    "[yt_urls]\n7=first\n07=second\n"
    "[help]\nabc=not a number\n";

} // namespace

class tst_SettingsFile : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_app.reset(new QTemporaryDir);
        m_user.reset(new QTemporaryDir);
        Platform::setApplicationFolder(m_app->path());
        qputenv("APPDATA", m_user->path().toUtf8());
    }

    void cleanup() { Platform::setApplicationFolder(QString()); }

    void firstStartCopiesTheTemplateAndLaterStartsReadIt()
    {
        writeFile(Platform::settingsTemplatePath(), smallTemplate);
        SettingsFile first;
        first.setToday(QDate(2026, 2, 1));
        QCOMPARE(first.setSettingsFile(), false);
        QCOMPARE(first.settingsPath(), QDir::toNativeSeparators(m_user->path() + "/Vidarro/sniffer.ini"));
        QCOMPARE(first.list("error_titles").value(3), QString("Title three"));
        QCOMPARE(first.list("error_messages").value(1), QString("3~Bad address, try again"));
        // The INI reader lists "07" before "7", so "7" is the later one.
        QCOMPARE(first.list("yt_urls"), (SettingsList{{7, "first"}}));
        QCOMPARE(first.list("help"), (SettingsList{{0, "not a number"}}));
        QCOMPARE(first.settingsLists().size(), SettingsFile::listNames().size());
        QVERIFY(first.list("os_urls").isEmpty());

        QCOMPARE(first.value("last_update"), QString("33"));
        const QString root = QDir::toNativeSeparators(QDir::homePath() + "/Documents/Vidarro");
        QCOMPARE(first.value("savepath_video"), root + QDir::separator() + "Video");
        QCOMPARE(first.value("savepath_audio"), root + QDir::separator() + "Audio");
        QVERIFY(QFileInfo(first.value("savepath_video")).isDir());
        QVERIFY(QFileInfo(first.value("savepath_audio")).isDir());
        // The template stays for the machine's other users.
        QVERIFY(QFileInfo::exists(Platform::settingsTemplatePath()));

        SettingsFile later;
        QCOMPARE(later.setSettingsFile(), true);
        later.readSettings();
        QCOMPARE(later.settingsLists(), first.settingsLists());
        QCOMPARE(later.value("last_update"), QString("33"));
    }

    void everyUserOfTheMachineGetsTheLists()
    {
        writeFile(Platform::settingsTemplatePath(), smallTemplate);
        SettingsFile first;
        first.setSettingsFile();
        QTemporaryDir otherUser;
        qputenv("APPDATA", otherUser.path().toUtf8());
        SettingsFile second;
        QCOMPARE(second.setSettingsFile(), false);
        QCOMPARE(second.list("error_messages").value(1), QString("3~Bad address, try again"));
    }

    void missingTemplateGivesEmptyListsAndTheTopLevelKeys()
    {
        SettingsFile settings;
        settings.setToday(QDate(2025, 12, 31));
        QCOMPARE(settings.setSettingsFile(), false);
        for (const QString &name : SettingsFile::listNames())
            QVERIFY(settings.list(name).isEmpty());
        QCOMPARE(settings.value("last_update"), QString("366"));
        QVERIFY(!settings.value("savepath_video").isEmpty());
        QSettings onDisk(settings.settingsPath(), QSettings::IniFormat);
        QCOMPARE(onDisk.value("last_update").toString(), QString("366"));
    }

    void anEmptyExistingFileMeansNoFirstStartWork()
    {
        QDir().mkpath(m_user->path() + "/Vidarro");
        writeFile(m_user->path() + "/Vidarro/sniffer.ini", QByteArray());
        writeFile(Platform::settingsTemplatePath(), smallTemplate);
        SettingsFile settings;
        QCOMPARE(settings.setSettingsFile(), true);
        settings.readSettings();
        for (const QString &name : SettingsFile::listNames())
            QVERIFY(settings.list(name).isEmpty());
        QVERIFY(settings.value("last_update").isEmpty());
    }

    void corruptOrHugeFilesNeverCrashNorLoseTheOriginal_data()
    {
        QTest::addColumn<QByteArray>("content");
        QByteArray junk;
        for (int i = 0; i < 4096; ++i)
            junk += char((i * 7919) % 256);
        QTest::newRow("binary junk") << junk;
        QTest::newRow("keys without numbers") << QByteArray("[os_urls]\nx=1\ny=2\n[[[\n=\n");
        QByteArray huge = "[os_urls]\n";
        while (huge.size() < 50 * 1024 * 1024)
            huge += "1=\"some.site.example\"\n";
        QTest::newRow("50 MB") << huge;
    }

    void corruptOrHugeFilesNeverCrashNorLoseTheOriginal()
    {
        QFETCH(QByteArray, content);
        const QString folder = m_user->path() + "/Vidarro";
        QDir().mkpath(folder);
        writeFile(folder + "/sniffer.ini", content);
        SettingsFile settings;
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(settings.setSettingsFile(), true);
        settings.readSettings();
        QVERIFY2(clock.elapsed() < 60000, "reading must finish");
        for (const QString &name : SettingsFile::listNames())
            QVERIFY(settings.list(name).size() <= 1);
        QVERIFY(settings.store("last_update", "12"));
        QVERIFY(settings.store("savepath_video", "/v"));
        // The user's file as it was is kept beside the rewritten one.
        QCOMPARE(readFile(folder + "/sniffer.ini.bak"), content);
        QCOMPARE(QSettings(folder + "/sniffer.ini", QSettings::IniFormat).value("last_update").toString(),
                 QString("12"));
    }

    void anUnwritableFolderKeepsTheListsInMemory()
    {
        writeFile(Platform::settingsTemplatePath(), smallTemplate);
        // A plain file where the per-user folder's parent should be: nothing can be created.
        const QString blocker = m_user->path() + "/blocker";
        writeFile(blocker, "x");
        qputenv("APPDATA", blocker.toUtf8());
        SettingsFile settings;
        QCOMPARE(settings.setSettingsFile(), false);
        QCOMPARE(settings.list("error_titles").value(3), QString("Title three"));
        QVERIFY(!settings.store("savepath_video", "/tmp"));
    }

    void theShippedTemplateHasATextForEveryCode()
    {
        const QString shipped = QString(VIDARRO_SOURCE_DIR) + "/resources/sniffer_linux.ini";
        QVERIFY(QFile::copy(shipped, Platform::settingsTemplatePath()));
        SettingsFile settings;
        settings.setSettingsFile();
        const SettingsList titles = settings.list("error_titles");
        auto checkCodes = [&](const QString &list, const QList<int> &codes) {
            for (int code : codes) {
                const QString entry = settings.list(list).value(code);
                QVERIFY2(entry.count('~') == 1, qPrintable(list + QString::number(code)));
                QVERIFY(titles.contains(entry.section('~', 0, 0).toInt()));
                QVERIFY(entry.section('~', 1).size() > 20);
            }
        };
        checkCodes("error_messages", {1, 2, 8, 9});
        checkCodes("error_messages_dl", {0, 1, 2, 3, 4, 5, 6, 7});
        QVERIFY(!settings.list("yt_urls").isEmpty());
        QVERIFY(!settings.list("os_urls").isEmpty());
        QVERIFY(!settings.list("test_sniffer").value(0).isEmpty());
        QCOMPARE(settings.list("quorl_test_urls").keys(), (QList<int>{1, 2, 3}));
        QCOMPARE(settings.list("help").keys(), settings.list("help").keys());
        for (int key : settings.list("help_actions").keys())
            QVERIFY(settings.list("help").contains(key));
    }

private:
    QScopedPointer<QTemporaryDir> m_app;
    QScopedPointer<QTemporaryDir> m_user;
};

QTEST_GUILESS_MAIN(tst_SettingsFile)
#include "tst_settingsfile.moc"

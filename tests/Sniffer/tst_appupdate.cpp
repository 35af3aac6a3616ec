#include "WindowHarness.h"

#include <QElapsedTimer>

// The application update check at start-up, against small updater scripts
// that answer the check and the install run with chosen exit codes.
class tst_AppUpdate : public QObject
{
    Q_OBJECT

private:
    static void writeUpdater(const QString &folder, const QByteArray &body)
    {
        QFile script(folder + "/wyUpdate");
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\necho \"$@\" >> \"$(dirname \"$0\")/calls\"\n" + body);
        script.close();
        script.setPermissions(script.permissions() | QFile::ExeOwner);
    }

    static QByteArray calls(const QString &folder)
    {
        QFile file(folder + "/calls");
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

private slots:
    void theUpdaterDecides_data()
    {
        QTest::addColumn<QByteArray>("script");
        QTest::addColumn<bool>("windowShown");
        QTest::addColumn<QByteArray>("calls");
        QTest::newRow("no update (0)") << QByteArray("exit 0\n") << true << QByteArray("/quickcheck /justcheck\n");
        QTest::newRow("no update (1)") << QByteArray("exit 1\n") << true << QByteArray("/quickcheck /justcheck\n");
        QTest::newRow("update, cancelled")
            << QByteArray("[ \"$1\" = /noerr ] && exit 3\nexit 2\n") << true
            << QByteArray("/quickcheck /justcheck\n/noerr\n");
        QTest::newRow("update, installing")
            << QByteArray("[ \"$1\" = /noerr ] && exit 0\nexit 2\n") << false
            << QByteArray("/quickcheck /justcheck\n/noerr\n");
        QTest::newRow("hangs") << QByteArray("exec sleep 30\n") << true << QByteArray("/quickcheck /justcheck\n");
    }

    void theUpdaterDecides()
    {
        QFETCH(QByteArray, script);
        QFETCH(bool, windowShown);
        QFETCH(QByteArray, calls);
        WindowHarness harness;
        writeUpdater(harness.appDir.path(), script);
        Sniffer window;
        window.setUpdateCheckAllowed(true);
        window.setUpdateLimits({1500, 1500});
        window.initialise();
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(window.launchUpdater(), windowShown);
        QVERIFY(clock.elapsed() < 10000);
        QCOMPARE(tst_AppUpdate::calls(harness.appDir.path()), calls);
        QVERIFY(harness.responder.messages.isEmpty());
    }

    void aMissingUpdaterIsReportedAndStartUpGoesOn()
    {
        WindowHarness harness;
        Sniffer window;
        window.setUpdateCheckAllowed(true);
        window.initialise();
        QVERIFY(window.launchUpdater());
        QCOMPARE(harness.responder.messages.size(), 1);
        QCOMPARE(harness.responder.messages.first().title, QString("Orx updater error"));
        QCOMPARE(harness.responder.messages.first().text, QString("wyUpdate<br><br>does not found!"));
    }

    void withoutNetworkNothingIsAsked()
    {
        WindowHarness harness;
        writeUpdater(harness.appDir.path(), "exit 2\n");
        Sniffer window;
        window.setUpdateCheckAllowed(false);
        window.initialise();
        QVERIFY(window.launchUpdater());
        QVERIFY(calls(harness.appDir.path()).isEmpty());
        QVERIFY(harness.responder.messages.isEmpty());
    }

    void aPackagedInstallationHasNoUpdaterToMiss()
    {
        QVERIFY(AppUpdateCheck::installedByPackageManager("/usr/lib/vidarro"));
        QVERIFY(!AppUpdateCheck::installedByPackageManager("/home/me/build/bin"));
        AppUpdateCheck check;
        QCOMPARE(check.run(true, "/usr/lib/vidarro-not-installed-here"), AppUpdateCheck::Packaged);
    }
};

QTEST_MAIN(tst_AppUpdate)
#include "tst_appupdate.moc"

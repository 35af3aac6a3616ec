#include "LogLine.h"
#include "Platform.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

class tst_Platform : public QObject
{
    Q_OBJECT

private slots:
    void perUserFolderFollowsAppDataAndIsMadeWhereItMayBe()
    {
        QTemporaryDir dir;
        // Below $APPDATA one level only.
        qputenv("APPDATA", (dir.path() + "/missing").toUtf8());
        QVERIFY(!Platform::ensurePerUserFolder());
        qputenv("APPDATA", dir.path().toUtf8());
        QCOMPARE(Platform::perUserFolder(), QDir::toNativeSeparators(dir.path() + "/Vidarro"));
        QVERIFY(Platform::ensurePerUserFolder() && QFileInfo(dir.path() + "/Vidarro").isDir());
        // A fresh account without its XDG data folder yet.
        qunsetenv("APPDATA");
        const QByteArray xdg = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", (dir.path() + "/fresh/.local/share").toUtf8());
        QCOMPARE(Platform::perUserFolder(), QDir::toNativeSeparators(dir.path() + "/fresh/.local/share/Vidarro"));
        QVERIFY(Platform::ensurePerUserFolder() && QFileInfo(dir.path() + "/fresh/.local/share/Vidarro").isDir());
        qputenv("XDG_DATA_HOME", xdg);
    }

    void companionProgramPrefersTheCopyBesideTheApplication()
    {
        QTemporaryDir dir;
        Platform::setApplicationFolder(dir.path());
        // Nothing beside the application: the one on PATH.
        QCOMPARE(Platform::companionProgram("sh"), QStandardPaths::findExecutable("sh"));
        QVERIFY(QFile::copy("/bin/true", dir.filePath("sh")));
        QCOMPARE(Platform::companionProgram("sh"), QDir::toNativeSeparators(dir.filePath("sh")));
        // Neither: the expected place beside the application.
        QCOMPARE(Platform::companionProgram("no-such-tool-here"),
                 QDir::toNativeSeparators(dir.filePath("no-such-tool-here")));
        Platform::setApplicationFolder(QString());
    }

    void logLineFollowsTheTraceConvention()
    {
        const int line = __LINE__ + 1;
        LogLine entry(QtDebugMsg, __FILE__, line);
        entry << "showPage" << ":" << QString("a \"b\"") << 7 << QStringList{"x", "y"};
        QCOMPARE(entry.text(), QString("tst_platform.cpp %1 showPage : \"a \\\"b\\\"\" 7 (\"x\", \"y\") ").arg(line));
        LogLine error(QtCriticalMsg, "dir/File.cpp", 3, LogLine::ErrorMark);
        error << "processURL" << ":" << 1;
        QCOMPARE(error.text(), QString("!!! ERROR: File.cpp 3 processURL : 1 "));
    }
};

QTEST_GUILESS_MAIN(tst_Platform)
#include "tst_platform.moc"

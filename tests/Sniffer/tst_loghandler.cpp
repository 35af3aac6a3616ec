#include "LogHandler.h"
#include "LogLine.h"
#include "SafeText.h"
#include "TestFiles.h"
#include "TestThreads.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

class tst_LogHandler : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_home;
    static QByteArray today() { return readFile(logFilePath(QDate::currentDate())); }

private slots:
    void init()
    {
        qputenv("APPDATA", m_home.path().toUtf8());
        QDir(m_home.filePath("Vidarro")).removeRecursively();
    }

    void linesGoToTheirStreamAndTheDayFile()
    {
        // A child logs, so that its real standard output and error can be read.
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("LOG_CHILD", "1");
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(), {});
        QVERIFY(child.waitForFinished(10000) && child.exitCode() == 0);
        QCOMPARE(child.readAllStandardOutput(), QByteArray("abc\nwarned\n"));
        QCOMPARE(child.readAllStandardError(), QByteArray("broken \"x\"\n"));
        QCOMPARE(today(), QByteArray("D: abc\r\nW: warned\r\nC: broken \"x\"\r\n"));
    }

    void aDeletedFolderIsMadeAgainButNoAppData()
    {
        // One file a day, named by the day of the year.
        QVERIFY(logFilePath(QDate(2024, 12, 31)).endsWith("/Vidarro/log_366.txt"));
        QVERIFY(logFilePath(QDate(2025, 1, 1)).endsWith("/log_1.txt"));
        logMessageHandler(QtDebugMsg, QMessageLogContext(), "first");
        QVERIFY(QDir(m_home.filePath("Vidarro")).removeRecursively());
        logMessageHandler(QtCriticalMsg, QMessageLogContext(), "second\r\nD: forged");
        logMessageHandler(QtFatalMsg, QMessageLogContext(), "third");
        QCOMPARE(today(), QByteArray("C: second\\r\\nD: forged\r\nF: third\r\n"));
        // Addresses and paths are for the user's eyes only: nothing for group and others.
        QCOMPARE(int(QFile::permissions(logFilePath(QDate::currentDate())) & 0x77), 0);
        qputenv("APPDATA", m_home.filePath("absent").toUtf8());
        logMessageHandler(QtDebugMsg, QMessageLogContext(), "lost");
        QVERIFY(!QFileInfo::exists(m_home.filePath("absent")));
    }

    // Quoted values cannot start a line; addresses are logged without secrets.
    void safeTexts_data()
    {
        QTest::addColumn<QString>("logged");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char *name, const QString &logged, const char *expected) {
            QTest::newRow(name) << logged << QString(expected);
        };
        row("plain", LogLine::quoted("Clip é"), "\"Clip é\"");
        row("quote and backslash", LogLine::quoted("a\"b\\c"), "\"a\\\"b\\\\c\"");
        row("carriage return", LogLine::quoted("x\rD: forged"), "\"x\\rD: forged\"");
        row("line feed and tab", LogLine::quoted("x\nC: !!! ERROR\t"), "\"x\\nC: !!! ERROR\\t\"");
        row("nul, escape, delete", LogLine::quoted(QString::fromLatin1("a\0b\x1b\x7f", 5)), "\"a\\u0000b\\u001b\\u007f\"");
        row("next line, line separator", LogLine::quoted(QString::fromUtf16(u"a\u0085b\u2028c")), "\"a\\u0085b\\u2028c\"");
        row("address", SafeText::address("https://vimeo.com/1"), "https://vimeo.com/1");
        row("user and password", SafeText::address("http://user:pw@host.example:8080/a"), "http://host.example:8080/a");
        row("query values", SafeText::address("https://h.example/v?id=7&token=abc"), "https://h.example/v?id=***&token=***");
        row("bare query item", SafeText::address("https://h.example/v?abcsecret"), "https://h.example/v?***");
        row("fragment", SafeText::address("https://h.example/#access_token=x"), "https://h.example/#***");
        row("no scheme", SafeText::address("user:pw@h.example/v?sig=1"), "h.example/v?***");
    }

    void safeTexts()
    {
        QFETCH(QString, logged);
        QTEST(logged, "expected");
    }

    void threadsNeverTearALine()
    {
        QVERIFY(runOnThreads(8, [](int t) {
            for (int i = 0; i < 1500; ++i)
                logMessageHandler(QtDebugMsg, QMessageLogContext(),
                                  QString("thread %1 line %2 %3 end").arg(t).arg(i).arg(QString(200, 'x')));
        }));
        const QList<QByteArray> lines = today().split('\n');
        QCOMPARE(lines.size(), 8 * 1500 + 1);
        const QRegularExpression shape("^D: thread \\d line \\d+ x{200} end\r$");
        for (qsizetype i = 0; i + 1 < lines.size(); ++i)
            QVERIFY2(shape.match(QString::fromUtf8(lines[i])).hasMatch(), lines[i].left(80).constData());
        QCOMPARE(QSet<QByteArray>(lines.cbegin(), lines.cend()).size(), 8 * 1500 + 1);
    }
};

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsSet("LOG_CHILD")) {
        qInstallMessageHandler(logMessageHandler);
        qDebug("abc");
        qWarning("warned");
        qCritical("broken \"x\"");
        return 0;
    }
    QCoreApplication app(argc, argv);
    tst_LogHandler test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_loghandler.moc"

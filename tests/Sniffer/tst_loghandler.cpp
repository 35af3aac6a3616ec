#include "LogHandler.h"
#include "TestFiles.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
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

    void theFileIsNamedByTheDayOfTheYear()
    {
        QVERIFY(logFilePath(QDate(2024, 12, 31)).endsWith("/Vidarro/log_366.txt"));
        QVERIFY(logFilePath(QDate(2025, 1, 1)).endsWith("/log_1.txt"));
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
        logMessageHandler(QtDebugMsg, QMessageLogContext(), "first");
        QVERIFY(QDir(m_home.filePath("Vidarro")).removeRecursively());
        logMessageHandler(QtCriticalMsg, QMessageLogContext(), "second");
        logMessageHandler(QtFatalMsg, QMessageLogContext(), "third");
        QCOMPARE(today(), QByteArray("C: second\r\nF: third\r\n"));
        qputenv("APPDATA", m_home.filePath("absent").toUtf8());
        logMessageHandler(QtDebugMsg, QMessageLogContext(), "lost");
        QVERIFY(!QFileInfo::exists(m_home.filePath("absent")));
    }

    void threadsNeverTearALine()
    {
        QList<QThread *> workers;
        for (int t = 0; t < 8; ++t) {
            workers << QThread::create([t] {
                for (int i = 0; i < 1500; ++i)
                    logMessageHandler(QtDebugMsg, QMessageLogContext(),
                                      QString("thread %1 line %2 %3 end").arg(t).arg(i).arg(QString(200, 'x')));
            });
            workers.last()->start();
        }
        for (QThread *worker : workers) {
            QVERIFY(worker->wait(60000));
            delete worker;
        }
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

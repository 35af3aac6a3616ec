#include "TestFiles.h"
#include "LogHandler.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

class tst_LogHandler : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        QVERIFY(m_home.isValid());
        qputenv("APPDATA", m_home.path().toUtf8());
        QDir(m_home.path() + "/Vidarro").removeRecursively();
    }

    void fileNameCarriesTheDayOfTheYear()
    {
        QVERIFY(logFilePath(QDate(2024, 12, 31)).endsWith(QDir::toNativeSeparators("/Vidarro/log_366.txt")));
        QVERIFY(logFilePath(QDate(2025, 12, 31)).endsWith("log_365.txt"));
        QVERIFY(logFilePath(QDate(2025, 1, 1)).endsWith(QDir::toNativeSeparators("/log_1.txt")));
    }

    void linesGoToTheirStreamAndTheDayFile()
    {
        // A child process logs, so its real stdout and stderr can be read.
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("LOG_CHILD", "1");
        env.insert("APPDATA", m_home.path());
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(), {});
        QVERIFY(child.waitForFinished(10000));
        QCOMPARE(child.exitCode(), 0);
        QCOMPARE(child.readAllStandardOutput(), QByteArray("abc\nwarned\n"));
        QCOMPARE(child.readAllStandardError(), QByteArray("broken \"x\"\n"));
        QCOMPARE(readFile(logFilePath(QDate::currentDate())),
                 QByteArray("D: abc\r\nW: warned\r\nC: broken \"x\"\r\n"));
    }

    void appendsAndRecreatesADeletedFolder()
    {
        logMessageHandler(QtDebugMsg, QMessageLogContext(), "first");
        QVERIFY(QDir(m_home.path() + "/Vidarro").removeRecursively());
        logMessageHandler(QtCriticalMsg, QMessageLogContext(), "second");
        logMessageHandler(QtFatalMsg, QMessageLogContext(), "third");
        QCOMPARE(readFile(logFilePath(QDate::currentDate())), QByteArray("C: second\r\nF: third\r\n"));
    }

    void aMissingAppDataFolderIsNotInvented()
    {
        qputenv("APPDATA", (m_home.path() + "/absent").toUtf8());
        logMessageHandler(QtDebugMsg, QMessageLogContext(), "lost");
        QVERIFY(!QFileInfo::exists(m_home.path() + "/absent"));
    }

    void concurrentThreadsNeverTearALine()
    {
        constexpr int threads = 8;
        constexpr int perThread = 1500;
        const QString filler(200, QLatin1Char('x'));
        QList<QThread *> workers;
        for (int t = 0; t < threads; ++t) {
            workers << QThread::create([t, &filler] {
                for (int i = 0; i < perThread; ++i)
                    logMessageHandler(QtDebugMsg, QMessageLogContext(),
                                      QString("thread %1 line %2 %3 end").arg(t).arg(i).arg(filler));
            });
            workers.last()->start();
        }
        for (QThread *worker : workers) {
            QVERIFY(worker->wait(60000));
            delete worker;
        }
        const QList<QByteArray> lines = readFile(logFilePath(QDate::currentDate())).split('\n');
        QCOMPARE(lines.size(), threads * perThread + 1);
        QVERIFY(lines.last().isEmpty());
        const QRegularExpression shape("^D: thread \\d line \\d+ x{200} end\r$");
        QSet<QByteArray> seen;
        for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
            QVERIFY2(shape.match(QString::fromUtf8(lines[i])).hasMatch(), lines[i].left(80).constData());
            seen.insert(lines[i]);
        }
        QCOMPARE(seen.size(), threads * perThread);
    }

private:
    QTemporaryDir m_home;
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

// The queue with the real engines against the shared test server: several
// at once and never more, a pause that goes on from the part file, a target
// that cannot be written, and a kill -9 in the middle of three saves.

#include "JobFactory.h"
#include "JobQueue.h"
#include "MediaFixture.h"
#include "Platform.h"
#include "TestFiles.h"

#include <QProcess>
#include <QTimer>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

namespace {

constexpr int fileSize = 600 * 1024;

JobRequest transfer(const QString &address, const QString &target)
{
    JobRequest request;
    request.source = JobSource::Transfer;
    request.name = QFileInfo(target).fileName();
    request.address = QUrl(address);
    request.requestHeader = "GET / HTTP/1.1\r\nCookie: sid=queue-s3cret\r\n\r\n";
    request.target = target;
    return request;
}

} // namespace

class tst_JobQueue : public QObject
{
    Q_OBJECT

private:
    MediaFixture m_media;

    static bool allEnded(const JobQueue &queue)
    {
        for (int row = 0; row < queue.count(); ++row)
            if (queue.at(row).unfinished() || queue.shownState(row) != queue.at(row).state)
                return false;
        return true;
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(m_media.start(), qPrintable(m_media.errorString()));
        QVERIFY(m_media.addFile("big.bin", MediaFixture::pattern(fileSize)));
        Platform::setApplicationFolder(VIDARRO_BIN_DIR);
    }

    // Two at once: the tool's runs and the transfers together never more, all five saved whole.
    void severalRunAtOnceAndNoMore()
    {
        QTemporaryDir out;
        JobQueue queue(&makeJob);
        queue.setLimit(2);
        for (int i = 0; i < 3; ++i)
            queue.add(transfer(m_media.url("throttle/400000/big.bin"), out.filePath(QString("t%1.bin").arg(i))));
        for (int i = 0; i < 2; ++i) {
            JobRequest address;
            address.address = QUrl(m_media.url("throttle/200000/clip.mp4"));
            address.name = QString("a%1").arg(i);
            address.target = out.filePath(address.name + ".mp4");
            queue.add(address);
        }
        int most = 0;
        int mostProcesses = 0;
        QTimer watch;
        connect(&watch, &QTimer::timeout, this, [&] {
            most = qMax(most, queue.runningCount());
            mostProcesses = qMax(mostProcesses, int(MediaFixture::processMentions(out.filePath("a0")))
                                                    + int(MediaFixture::processMentions(out.filePath("a1"))));
        });
        watch.start(10);
        QTRY_VERIFY_WITH_TIMEOUT(allEnded(queue), 120000);
        QCOMPARE(most, 2);
        QVERIFY(mostProcesses <= 2);
        for (int row = 0; row < queue.count(); ++row) {
            QCOMPARE(queue.at(row).state, JobState::Finished);
            const QString file = queue.at(row).result.file;
            QCOMPARE(readFile(file), m_media.bytes(file.endsWith(".bin") ? "big.bin" : "clip.mp4"));
        }
    }

    // Paused halfway, resumed: the rest is asked for from where the part file ends.
    void aPausedSaveGoesOnFromItsPart()
    {
        QTemporaryDir out;
        JobQueue queue(&makeJob);
        const qint64 id = queue.add(transfer(m_media.url("throttle/200000/big.bin"), out.filePath("p.bin")));
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(out.filePath("p.bin.part")).size() > 100000, 20000);
        queue.pause(id);
        QTRY_COMPARE(queue.shownState(0), JobState::Paused);
        const qint64 kept = QFileInfo(out.filePath("p.bin.part")).size();
        QVERIFY(kept > 0 && kept < fileSize);
        const QByteArray validator = queue.at(0).resume.validator;
        QVERIFY(!validator.isEmpty());
        queue.resume(id);
        QTRY_VERIFY_WITH_TIMEOUT(allEnded(queue), 30000);
        QCOMPARE(readFile(out.filePath("p.bin")), m_media.bytes("big.bin"));
        const QByteArray last = m_media.requestHeads("/throttle/200000/big.bin").constLast();
        QCOMPARE(MediaFixture::headerValues(last, "Range"), QList<QByteArray>{"bytes=" + QByteArray::number(kept) + "-"});
        QCOMPARE(MediaFixture::headerValues(last, "If-Range"), QList<QByteArray>{validator});
    }

    void aTargetThatCannotBeWrittenFails_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::newRow("folder gone") << "gone/deeper";
        QTest::newRow("folder is a file") << "plain";
    }

    void aTargetThatCannotBeWrittenFails()
    {
        QFETCH(QString, folder);
        QTemporaryDir out;
        writeFile(out.filePath("plain"), "not a folder");
        JobQueue queue(&makeJob);
        queue.add(transfer(m_media.url("big.bin"), out.filePath(folder + "/x.bin")));
        QTRY_VERIFY_WITH_TIMEOUT(allEnded(queue), 20000);
        QCOMPARE(queue.at(0).state, JobState::Failed);
        QVERIFY(!queue.at(0).result.errorText.isEmpty());
        QCOMPARE(QDir(out.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{"plain"});
    }

    // kill -9 with three saves running; the next start takes them up and saves them whole,
    // leaves a sound history and no cookie in it.
    void aKilledApplicationLosesNothing()
    {
        QTemporaryDir appdata;
        QTemporaryDir out;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("APPDATA", appdata.path());
        QStringList add{"add"};
        for (int i = 0; i < 3; ++i)
            add << m_media.url("throttle/150000/big.bin") << out.filePath(QString("k%1.bin").arg(i));
        QProcess first;
        first.setProcessEnvironment(environment);
        first.start(QUEUE_RUNNER, add);
        QByteArray said;
        QTRY_VERIFY2_WITH_TIMEOUT((said += first.readAllStandardOutput()).contains("running 3"), QByteArray(said + first.readAllStandardError().right(2000)).constData(), 20000);
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(out.filePath("k2.bin.part")).size() > 50000, 20000);
        ::kill(pid_t(first.processId()), SIGKILL);
        QVERIFY(first.waitForFinished(5000));

        QProcess again;
        again.setProcessEnvironment(environment);
        again.start(QUEUE_RUNNER, {"resume"});
        QVERIFY(again.waitForFinished(60000));
        QCOMPARE(again.readAllStandardOutput(), QByteArray("running 3\ndone\n"));
        for (int i = 0; i < 3; ++i)
            QCOMPARE(readFile(out.filePath(QString("k%1.bin").arg(i))), m_media.bytes("big.bin"));
        // The second start asked for the rest of at least one part file.
        const QList<QByteArray> heads = m_media.requestHeads("/throttle/150000/big.bin");
        QVERIFY(std::any_of(heads.cbegin(), heads.cend(), [](const QByteArray &h) {
            return h.contains("\r\nRange: bytes=") && !h.contains("Range: bytes=0-");
        }));
        const QString file = appdata.filePath("Vidarro/downloads.sqlite");
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "check");
            db.setDatabaseName(file);
            QVERIFY(db.open());
            QSqlQuery query(db);
            QVERIFY(query.exec("PRAGMA integrity_check") && query.next());
            QCOMPARE(query.value(0).toString(), QString("ok"));
            db.close();
        }
        QSqlDatabase::removeDatabase("check");
        QVERIFY(!readFile(file).contains("queue-s3cret") && !readFile(file + "-wal").contains("queue-s3cret"));
    }
};

QTEST_GUILESS_MAIN(tst_JobQueue)
#include "tst_jobqueue.moc"

#include "HistorySchema.h"
#include "JobHistory.h"
#include "TestFiles.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include <optional>
#include <sys/stat.h>

namespace {

// A connection of the test's own, as another program would hold one.
struct Direct
{
    explicit Direct(const QString &path) : name(QString::number(++count))
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        db.open();
    }
    ~Direct()
    {
        QSqlDatabase::database(name, false).close();
        QSqlDatabase::removeDatabase(name);
    }
    // The answer's first value; true for none; invalid when the statement failed.
    QVariant exec(const QString &sql)
    {
        QSqlQuery query(QSqlDatabase::database(name, false));
        return !query.exec(sql) ? QVariant() : query.next() ? query.value(0) : QVariant(true);
    }
    static inline int count = 0;
    const QString name;
};

JobRecord sample(JobState state, JobKind kind = JobKind::Video, JobSource source = JobSource::Address)
{
    JobRecord record;
    record.state = state;
    record.position = 3;
    record.request = {source, kind, QStringLiteral("Ünïcode clip – 50% off"),
                      QUrl(QStringLiteral("https://www.media.example/watch?v=1&t=2")), "Cookie: sid=SECRET-1\r\n",
                      QStringLiteral("bv*+ba"), QStringLiteral("/tmp/out/clip.mp4"), source == JobSource::Manifest,
                      QStringLiteral("firefox:SECRET-PROFILE"), QStringLiteral("/tmp/out"),
                      {.subtitles = {"en", "de"}, .subtitlesBeside = true, .tags = true, .cover = true, .from = 61, .to = 3723},
                      QUrl(QStringLiteral("https://www.media.example/page.html")), 2};
    record.progress = {5000, 10000, 50, 1234.5, 4, 1, 2, kind == JobKind::Recording ? 90 : -1, {}, {}};
    record.result = {state, QStringLiteral("/tmp/out/clip.mp4"), 10000, 3, QStringLiteral("The server refused."),
                     QStringLiteral("ERROR: 403"), QStringLiteral("cut short")};
    record.resume = {QStringLiteral("/tmp/out/clip.mp4.part"), "\"etag-1\"", 10000};
    record.created = QDateTime::fromMSecsSinceEpoch(1767000000123, Qt::UTC);
    record.ended = record.unfinished() ? QDateTime() : record.created.addSecs(60);
    return record;
}

// What search() answers.
QList<JobRecord> listed(JobHistory &history, const QString &text = {}, int limit = 1000)
{
    QSignalSpy found(&history, &JobHistory::found);
    history.search(text, limit);
    return found.wait() ? found.first().at(1).value<QList<JobRecord>>() : QList<JobRecord>();
}

const QString fileName = QStringLiteral("downloads.sqlite");
const QString notKept = QStringLiteral("; downloads are not kept this time.");

} // namespace

class tst_JobHistory : public QObject
{
    Q_OBJECT

    QByteArray m_sample;   // a closed history of several pages

private slots:
    void initTestCase()
    {
        QTemporaryDir dir;
        JobHistory(dir.path()).open();
        QVERIFY(Direct(dir.filePath(fileName)).exec(QStringLiteral(
            "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 40) "
            "INSERT INTO jobs (state, name) SELECT 3, printf('%.1000c', 'a') FROM n")).isValid());
        m_sample = readFile(dir.filePath(fileName));
        QVERIFY(m_sample.size() > 8 * 4096);
    }

    void keepsEveryKindAndState_data()
    {
        QTest::addColumn<JobRecord>("record");
        QTest::addColumn<QString>("removal");
        QTest::newRow("waiting video page") << sample(JobState::Waiting) << QString();
        QTest::newRow("running transfer") << sample(JobState::Running, JobKind::Audio, JobSource::Transfer) << QString();
        QTest::newRow("paused stream") << sample(JobState::Paused, JobKind::Stream, JobSource::Manifest) << QString();
        QTest::newRow("finished audio") << sample(JobState::Finished, JobKind::Audio) << QString();
        QTest::newRow("failed recording") << sample(JobState::Failed, JobKind::Recording, JobSource::Manifest) << QString();
        QTest::newRow("canceled transfer") << sample(JobState::Canceled, JobKind::Video, JobSource::Transfer) << QString();
        QTest::newRow("removed") << sample(JobState::Running) << "remove";
        QTest::newRow("failed, finished ones removed") << sample(JobState::Failed) << "removeFinished";
        JobRecord long_ = sample(JobState::Failed);
        long_.request.name = QString(1023, QLatin1Char('n')) + QString::fromUtf8("😀 and more");
        long_.result.errorText = QString(10000, QLatin1Char('e'));
        QTest::newRow("texts cut") << long_ << QString();
    }

    // Also: the files are the user's alone, and the request header and
    // cookie source leave no byte behind once the job has ended for good.
    void keepsEveryKindAndState()
    {
        QFETCH(JobRecord, record);
        QFETCH(QString, removal);
        QTemporaryDir dir;
        const QString path = dir.filePath(fileName), log = path + QStringLiteral("-wal");
        const auto secretOnDisk = [&] { return QByteArray(readFile(path) + readFile(log)).contains("SECRET-"); };
        const bool erased = record.state == JobState::Finished || record.state == JobState::Canceled || !removal.isEmpty();
        writeFile(path, {});   // one others may read, and a mask that would let them read the log too
        QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther));
        const mode_t mask = ::umask(0);
        {
            JobHistory history(dir.path());
            QVERIFY(history.open().ok);
            QSignalSpy committed(&history, &JobHistory::committed);
            JobRecord waiting = record;
            waiting.state = JobState::Waiting;
            record.id = history.add(waiting);
            QVERIFY(committed.wait());
            ::umask(mask);
            for (const QString &name : {path, log}) {
                struct stat info = {};
                QVERIFY(::stat(QFile::encodeName(name).constData(), &info) == 0 && (info.st_mode & 07777) == 0600);
            }
            QVERIFY(secretOnDisk());
            history.store(record);
            history.setPositions({record.id});
            if (removal == QLatin1String("remove"))
                history.remove(record.id);
            else if (!removal.isEmpty())
                history.removeFinished();
            QCOMPARE(listed(history).size(), removal.isEmpty() ? 1 : 0);
            QCOMPARE(committed.last(), (QList<QVariant>{record.id, QVariant::fromValue(record.state)}));
            QCOMPARE(secretOnDisk(), !erased);
        }
        JobRecord expected = record;
        expected.position = 0;
        if (erased) {
            expected.request.requestHeader.clear();
            expected.request.cookieSource.clear();
        }
        expected.request.name.truncate(1023);   // never half a surrogate pair
        expected.result.errorText.truncate(4096);
        JobHistory history(dir.path());
        const JobHistory::Opened opened = history.open();
        QVERIFY(opened.ok && opened.jobs.size() == (record.unfinished() && removal.isEmpty() ? 1 : 0));
        QVERIFY(listed(history) == (removal.isEmpty() ? QList<JobRecord>{expected} : QList<JobRecord>()));
    }

    void upgradesAnOlderLayout_data()
    {
        QTest::addColumn<QStringList>("statements");   // on a new history's file, or an empty one
        QTest::newRow("version 0") << QStringList{
            QStringLiteral("CREATE TABLE jobs (id INTEGER PRIMARY KEY, state INTEGER, name TEXT, address TEXT)"),
            QStringLiteral("INSERT INTO jobs VALUES (7, 2, 'Ünïcode', 'https://www.old.example/v')")};
        QTest::newRow("version 1") << QStringList{
            QStringLiteral("ALTER TABLE jobs DROP COLUMN choices"), QStringLiteral("UPDATE meta SET value = '1'"),
            QStringLiteral("INSERT INTO jobs (id, state, name, name_key, address, site) VALUES "
                           "(7, 2, 'Ünïcode', 'ünïcode', 'https://www.old.example/v', 'old.example')")};
    }

    void upgradesAnOlderLayout()
    {
        QFETCH(QStringList, statements);
        QTemporaryDir dir;
        const QString path = dir.filePath(fileName);
        if (QTest::currentDataTag() != QLatin1String("version 0"))
            QVERIFY(JobHistory(dir.path()).open().ok);
        for (const QString &statement : statements)
            QVERIFY2(Direct(path).exec(statement).isValid(), qPrintable(statement));
        JobRecord chosen = sample(JobState::Waiting);
        {
            JobHistory history(dir.path());
            const JobHistory::Opened opened = history.open();
            QVERIFY(opened.ok && opened.jobs.size() == 1);
            const JobRecord &old = opened.jobs.first();
            QVERIFY(old.id == 7 && old.state == JobState::Paused && old.progress == JobProgress());
            QCOMPARE(old.request.address, QUrl(QStringLiteral("https://www.old.example/v")));
            QCOMPARE(old.request.finish, FinishChoices());
            QCOMPARE(listed(history, QStringLiteral("ÜNÏ")).size(), 1);
            QCOMPARE(listed(history, QStringLiteral("OLD.example")).size(), 1);
            chosen.id = history.add(chosen);
            QCOMPARE(chosen.id, qint64(8));
        }
        QCOMPARE(Direct(path).exec(QStringLiteral("SELECT value FROM meta WHERE key = 'schema'")).toInt(), HistorySchema::version);
        // The choices come back with the job, after a restart too.
        const JobHistory::Opened reopened = JobHistory(dir.path()).open();
        QVERIFY(reopened.ok && reopened.jobs.size() == 2);
        QCOMPARE(reopened.jobs.last().request.finish, chosen.request.finish);
    }

    void opensOrRefuses_data()
    {
        QTest::addColumn<QByteArray>("bytes");         // the file found
        QTest::addColumn<QStringList>("statements");   // else a history, and another program's doings
        QTest::addColumn<QString>("message");
        const QString aside = QStringLiteral("The download history could not be read and was set aside as "
                                             "downloads.sqlite.damaged; a new one was started.");
        const QString busy = QStringLiteral("The download history is in use by another program") + notKept;
        QByteArray overwritten = m_sample;
        overwritten.replace(4096, 8192, QByteArray(8192, 'Z'));
        QTest::newRow("not SQLite") << QByteArray("plain text, not a database\n").repeated(200) << QStringList() << aside;
        QTest::newRow("header cut") << m_sample.left(50) << QStringList() << aside;
        QTest::newRow("first page cut") << m_sample.left(1000) << QStringList() << aside;
        QTest::newRow("pages missing") << m_sample.left(8192) << QStringList() << aside;
        QTest::newRow("page torn") << m_sample.left(8192 + 100) << QStringList() << aside;
        QTest::newRow("pages overwritten") << overwritten << QStringList() << aside;
        QTest::newRow("empty: a new one") << QByteArray() << QStringList() << QString();
        QTest::newRow("held by another program") << QByteArray() << QStringList{QStringLiteral("BEGIN EXCLUSIVE")} << busy;
        QTest::newRow("held, rollback journal") << QByteArray()
            << QStringList{QStringLiteral("PRAGMA journal_mode = DELETE"), QStringLiteral("BEGIN EXCLUSIVE")} << busy;
        QTest::newRow("newer version") << QByteArray()
            << QStringList{QStringLiteral("UPDATE meta SET value = '%1' WHERE key = 'schema'").arg(HistorySchema::version + 1)}
            << QStringLiteral("The download history was written by a newer version of Vidarro and is left as it is") + notKept;
    }

    void opensOrRefuses()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, statements);
        QFETCH(QString, message);
        QTemporaryDir dir;
        const QString path = dir.filePath(fileName), damaged = path + QStringLiteral(".damaged");
        std::optional<Direct> other;
        if (statements.isEmpty()) {
            writeFile(path, bytes);
            writeFile(damaged, "older");
        } else {
            JobHistory(dir.path()).open();
            other.emplace(path);
            for (const QString &statement : statements)
                QVERIFY2(other->exec(statement).isValid(), qPrintable(statement));
            if (!statements.last().startsWith(QLatin1String("BEGIN")))
                other.reset();
        }
        const QByteArray before = readFile(path);
        QElapsedTimer clock;
        clock.start();
        JobHistory history(dir.path());
        const JobHistory::Opened opened = history.open();
        qInfo("%s after %lld ms", opened.ok ? "opened" : "refused", clock.elapsed());
        QVERIFY(opened.ok == statements.isEmpty() && opened.jobs.isEmpty());
        QCOMPARE(opened.message, message);
        if (!opened.ok) {
            QCOMPARE(readFile(path), before);   // nothing written
            return;
        }
        QCOMPARE(readFile(damaged), bytes.isEmpty() ? QByteArray("older") : bytes);
        QCOMPARE(readFile(damaged + QStringLiteral(".1")), bytes.isEmpty() ? QByteArray() : QByteArray("older"));
        QSignalSpy committed(&history, &JobHistory::committed);
        history.add(sample(JobState::Waiting));
        QVERIFY(committed.wait());
    }

    void largeHistoryOpensAndSearchesQuickly()
    {
        QTemporaryDir dir;
        JobHistory(dir.path()).open();
        // One in a hundred unfinished, the rest finished, on fifty sites.
        QVERIFY(Direct(dir.filePath(fileName)).exec(QStringLiteral(
            "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 100000) "
            "INSERT INTO jobs (id, created, state, name, name_key, address, site) "
            "SELECT i, i * 1000, CASE WHEN i % 100 = 0 THEN 0 ELSE 3 END, 'Clip ' || i, 'clip ' || i, "
            "'https://site' || (i % 50) || '.example/v/' || i, 'site' || (i % 50) || '.example' FROM n")).isValid());
        QVERIFY(Direct(dir.filePath(fileName)).exec(QStringLiteral(
            "INSERT INTO jobs (state, name, name_key) VALUES (3, '50%_off', '50%_off')")).isValid());
        JobHistory history(dir.path());
        QElapsedTimer clock;
        clock.start();
        const JobHistory::Opened opened = history.open();
        const qint64 openMs = clock.elapsed();
        QVERIFY(opened.ok && opened.jobs.size() == 1000);
        QCOMPARE(opened.jobs.last().request.name, QStringLiteral("Clip 100000"));
        clock.restart();
        const QList<JobRecord> escaped = listed(history, QStringLiteral("%_"), 10);
        QVERIFY(escaped.size() == 1 && escaped.first().request.name == QLatin1String("50%_off"));
        QCOMPARE(listed(history, QStringLiteral("SITE7.example")).size(), 1000);
        QCOMPARE(listed(history, QStringLiteral("clip 12345")).size(), 1);
        qInfo("100,001 jobs: open() %lld ms, four searches %lld ms", openMs, clock.elapsed());
        QVERIFY(openMs < 5000);   // generous: sanitizer builds are slow
    }

    void killedWriterLeavesEveryCommittedJob()
    {
        QTemporaryDir dir;
        QProcess writer;
        writer.start(QStringLiteral(HISTORY_WRITER), {dir.path()});
        QMap<qint64, int> committed;
        const auto read = [&] {
            while (writer.canReadLine()) {
                const QList<QByteArray> fields = writer.readLine().trimmed().split(' ');
                committed[fields.value(0).toLongLong()] = fields.value(1).toInt();
            }
            return committed.size();
        };
        QTRY_VERIFY_WITH_TIMEOUT(read() >= 40, 60000);
        writer.kill();
        QVERIFY(writer.waitForFinished(10000));
        const JobHistory::Opened opened = JobHistory(dir.path()).open();
        QVERIFY(opened.ok && opened.message.isEmpty());
        Direct db(dir.filePath(fileName));
        QCOMPARE(db.exec(QStringLiteral("PRAGMA integrity_check")).toString(), QStringLiteral("ok"));
        QStringList rows;   // every commit seen, or a later state of its job
        for (auto it = committed.cbegin(); it != committed.cend(); ++it)
            rows << QStringLiteral("(%1, %2)").arg(it.key()).arg(it.value());
        QCOMPARE(db.exec(QStringLiteral("WITH seen(id, state) AS (VALUES %1) SELECT count(*) FROM jobs JOIN seen "
                                        "ON jobs.id = seen.id AND jobs.state >= seen.state").arg(rows.join(u','))).toInt(),
                 committed.size());
    }
};

QTEST_GUILESS_MAIN(tst_JobHistory)
#include "tst_jobhistory.moc"

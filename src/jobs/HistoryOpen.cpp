#include "HistoryWorker.h"

#include "HistoryFile.h"
#include "HistorySchema.h"
#include "LogLine.h"

#include <QDir>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

// Opening and closing the history: the file checked, set aside when
// damaged, the schema made or upgraded, the unfinished jobs loaded.

namespace {

// How long the start waits for another program's lock on the history
// before it goes on without one.
constexpr int busyWaitMs = 2000;

// SQLite's primary result codes, as the driver reports them.
constexpr int sqliteBusy = 5;
constexpr int sqliteLocked = 6;
constexpr int sqliteCorrupt = 11;
constexpr int sqliteNotADatabase = 26;

const char *const notKept = "; downloads are not kept this time.";

} // namespace

QString HistoryWorker::fileName()
{
    return QStringLiteral("downloads.sqlite");
}

HistoryWorker::Loaded HistoryWorker::open()
{
    Loaded loaded;
    QString detail, asideAs;
    Outcome outcome = attempt(loaded, detail);
    if (outcome == Outcome::Damaged) {
        LOG_WARNING << "JobHistory" << ":" << "damaged" << detail;
        drop();
        asideAs = HistoryFile::setAside(QDir(m_folder).filePath(fileName()), detail);
        outcome = asideAs.isEmpty() ? Outcome::Failed : attempt(loaded, detail);
    }
    switch (outcome) {
    case Outcome::Opened:
        loaded.ok = true;
        if (!asideAs.isEmpty())
            loaded.message = QStringLiteral("The download history could not be read and was set aside as %1; "
                                            "a new one was started.").arg(asideAs);
        break;
    case Outcome::Locked:
        loaded.message = QStringLiteral("The download history is in use by another program") + QLatin1String(notKept);
        break;
    case Outcome::Newer:
        loaded.message = QStringLiteral("The download history was written by a newer version of Vidarro and is left "
                                        "as it is") + QLatin1String(notKept);
        break;
    case Outcome::Damaged:
    case Outcome::Failed:
        loaded.message = QStringLiteral("The download history in %1 cannot be opened")
                             .arg(QDir::toNativeSeparators(m_folder)) + QLatin1String(notKept);
        break;
    }
    if (loaded.ok) {
        LOG_DEBUG << "JobHistory" << ":" << "open" << loaded.jobs.size() << "jobs" << ":" << "OK";
    } else {
        LOG_ERROR << "JobHistory" << ":" << "open" << detail;
        drop();
        loaded.jobs.clear();
    }
    return loaded;
}

HistoryWorker::Outcome HistoryWorker::attempt(Loaded &loaded, QString &detail)
{
    loaded.jobs.clear();
    const QString path = QDir(m_folder).filePath(fileName());
    const HistoryFile::Checked checked = HistoryFile::prepare(path);
    if (checked.condition != HistoryFile::Condition::Ready) {
        detail = checked.error;
        return checked.condition == HistoryFile::Condition::Damaged ? Outcome::Damaged : Outcome::Failed;
    }
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
    db.setDatabaseName(path);
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(busyWaitMs));
    if (!db.open()) {
        detail = db.lastError().text();
        return Outcome::Failed;
    }
    QSqlQuery query(db);
    Outcome outcome = Outcome::Opened;
    const auto failedWith = [&](const QSqlError &error) {
        detail = error.text();
        switch (error.nativeErrorCode().toInt()) {
        case sqliteBusy:
        case sqliteLocked: outcome = Outcome::Locked; break;
        case sqliteCorrupt:
        case sqliteNotADatabase: outcome = Outcome::Damaged; break;
        default: outcome = Outcome::Failed;
        }
        return outcome;
    };
    // Held for the whole session: a second copy of the program, or any other,
    // finds the history busy instead of writing ids of its own into it.
    // secure_delete: an erased header leaves no bytes behind in the file.
    for (const char *pragma : {"PRAGMA locking_mode = EXCLUSIVE", "PRAGMA secure_delete = ON",
                               "PRAGMA journal_mode = WAL", "PRAGMA synchronous = FULL"}) {
        if (!query.exec(QLatin1String(pragma)))
            return failedWith(query.lastError());
    }
    if (!query.exec(QStringLiteral("PRAGMA journal_mode")) || !query.next()
        || query.value(0).toString() != QLatin1String("wal")) {
        detail = QStringLiteral("no write-ahead log");
        return Outcome::Failed;
    }
    // A log left by a crash is replayed on first read: the result is checked
    // before anything is built on it.
    if (checked.unclean) {
        if (!query.exec(QStringLiteral("PRAGMA quick_check")))
            return failedWith(query.lastError());
        if (!query.next() || query.value(0).toString() != QLatin1String("ok")) {
            detail = QStringLiteral("quick_check failed");
            return Outcome::Damaged;
        }
    }
    if (!query.exec(QStringLiteral("BEGIN IMMEDIATE")))
        return failedWith(query.lastError());
    const HistorySchema::Prepared schema = HistorySchema::prepare(db);
    if (!schema.ok) {
        query.exec(QStringLiteral("ROLLBACK"));
        if (schema.error.isValid())
            return failedWith(schema.error);
        detail = QStringLiteral("schema version %1").arg(schema.found);
        return Outcome::Newer;
    }
    if (!query.exec(QStringLiteral("COMMIT")))
        return failedWith(query.lastError());
    if (schema.upgraded)
        LOG_DEBUG << "JobHistory" << ":" << "schema" << schema.found << "to" << HistorySchema::version << ":" << "OK";
    if (!load(loaded, detail, outcome))
        return outcome;
    const QSqlError unprepared = prepareStatements();
    return unprepared.isValid() ? failedWith(unprepared) : Outcome::Opened;
}

bool HistoryWorker::load(Loaded &loaded, QString &detail, Outcome &outcome)
{
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    query.setForwardOnly(true);
    // Only what the queue must go on with: the list asks for the finished
    // ones by search once the window shows, so the start stays as quick
    // with ten thousand jobs behind it as with none.
    bool ok = query.exec(HistorySchema::selectAll() + QStringLiteral("WHERE state < 3 ORDER BY position, id"));
    while (ok && query.next())
        loaded.jobs.append(HistorySchema::read(query));
    ok = ok && !query.lastError().isValid();
    // The sequence remembers ids of removed jobs, so none is given twice; an
    // upgraded table may have no sequence.
    qint64 last = 0;
    if (ok && query.exec(QStringLiteral("SELECT seq FROM sqlite_sequence WHERE name = 'jobs'")) && query.next())
        last = query.value(0).toLongLong();
    ok = ok && query.exec(QStringLiteral("SELECT max(id) FROM jobs")) && query.next();
    if (!ok) {
        detail = query.lastError().text();
        const int code = query.lastError().nativeErrorCode().toInt();
        outcome = code == sqliteCorrupt || code == sqliteNotADatabase ? Outcome::Damaged : Outcome::Failed;
        return false;
    }
    loaded.nextId = qMax(last, query.value(0).toLongLong()) + 1;
    return true;
}

void HistoryWorker::close()
{
    if (m_statements)
        TRACE("JobHistory close");
    drop();
}

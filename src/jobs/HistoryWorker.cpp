#include "HistoryWorker.h"

#include "HistorySchema.h"
#include "LogLine.h"

#include <QCoreApplication>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSet>
#include <QSqlQuery>

#include <atomic>

namespace {

constexpr int maxSearchRows = 1000;

std::atomic<int> connections{0};

QString likePattern(const QString &text)
{
    QString escaped = text.left(HistorySchema::maxName).toCaseFolded();
    escaped.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    escaped.replace(QLatin1Char('%'), QLatin1String("\\%"));
    escaped.replace(QLatin1Char('_'), QLatin1String("\\_"));
    return QLatin1Char('%') + escaped + QLatin1Char('%');
}

bool exec(QSqlQuery &query, const QVariantList &values)
{
    for (int i = 0; i < values.size(); ++i)
        query.bindValue(i, values.at(i));
    return query.exec();
}

} // namespace

struct HistoryWorker::Statements
{
    explicit Statements(const QSqlDatabase &db)
        : insert(db), update(db), remove(db), removeEnded(db), position(db), search(db), saved(db)
    {
    }

    bool prepare()
    {
        return insert.prepare(HistorySchema::insertStatement()) && update.prepare(HistorySchema::updateStatement())
            && remove.prepare(QStringLiteral("DELETE FROM jobs WHERE id = ?"))
            && removeEnded.prepare(QStringLiteral("DELETE FROM jobs WHERE state >= 3"))
            && position.prepare(QStringLiteral("UPDATE jobs SET position = ? WHERE id = ?"))
            && search.prepare(HistorySchema::selectAll()
                              + QStringLiteral("WHERE name_key LIKE ? ESCAPE '\\' OR site LIKE ? ESCAPE '\\' "
                                               "ORDER BY id DESC LIMIT ?"))
            && saved.prepare(QStringLiteral("SELECT DISTINCT address FROM jobs WHERE state = 3"));
    }

    QSqlQuery insert, update, remove, removeEnded, position, search, saved;
};

HistoryWorker::HistoryWorker(const QString &folder, std::shared_ptr<HistoryChannel> channel, QObject *owner)
    : m_folder(folder), m_connection(QStringLiteral("job-history-%1").arg(++connections)),
      m_channel(std::move(channel)), m_owner(owner)
{
}

HistoryWorker::~HistoryWorker()
{
    drop();
}

QEvent::Type HistoryWorker::wakeType()
{
    static const auto type = QEvent::Type(QEvent::registerEventType());
    return type;
}

QSqlError HistoryWorker::prepareStatements()
{
    m_statements = std::make_unique<Statements>(QSqlDatabase::database(m_connection, false));
    if (m_statements->prepare())
        return {};
    const QSqlError error = m_statements->search.lastError();
    m_statements.reset();
    return error;
}

void HistoryWorker::post(HistoryOp op)
{
    std::unique_lock lock(m_channel->mutex);
    push(lock, std::move(op));
}

void HistoryWorker::call(std::function<void()> work)
{
    // The wait reads the channel only: the worker is deleted on its own
    // thread once that ends, which may follow at once.
    const std::shared_ptr<HistoryChannel> channel = m_channel;
    std::unique_lock lock(channel->mutex);
    const quint64 ticket = ++channel->callsPosted;
    HistoryOp op;
    op.kind = HistoryOp::Call;
    op.call = std::move(work);
    push(lock, std::move(op));
    channel->called.wait(lock, [&] { return channel->callsDone >= ticket; });
}

void HistoryWorker::push(std::unique_lock<std::mutex> &lock, HistoryOp op)
{
    Q_ASSERT(lock.owns_lock());
    // One wake-up takes everything that came in meanwhile: a batch, one commit.
    if (m_channel->pending.empty())
        QCoreApplication::postEvent(this, new QEvent(wakeType()));
    m_channel->pending.push_back(std::move(op));
}

bool HistoryWorker::event(QEvent *event)
{
    if (event->type() != wakeType())
        return QObject::event(event);
    drain();
    return true;
}

void HistoryWorker::drain()
{
    std::vector<HistoryOp> ops;
    {
        const std::lock_guard lock(m_channel->mutex);
        ops.swap(m_channel->pending);
    }
    // Writes and searches in batches; a call waits for the writes before it.
    for (auto begin = ops.begin(); begin != ops.end();) {
        const auto call = std::find_if(begin, ops.end(), [](const HistoryOp &op) { return op.kind == HistoryOp::Call; });
        run(begin, call);
        if (call == ops.end())
            break;
        call->call();
        {
            const std::lock_guard lock(m_channel->mutex);
            ++m_channel->callsDone;
        }
        m_channel->called.notify_all();
        begin = call + 1;
    }
}

void HistoryWorker::run(Ops begin, Ops end)
{
    if (begin == end)
        return;
    HistoryNews news;
    bool erased = false;
    if (m_statements && !write(begin, end, news, erased)) {
        drop();
        news.failure = QStringLiteral("The download history could not be written; downloads are no longer kept "
                                      "until Vidarro starts again.");
    }
    if (!m_statements) {
        // Without a database the queue goes on the same; nothing is kept.
        news.committed.clear();
        for (auto op = begin; op != end; ++op) {
            if (op->kind == HistoryOp::Add || op->kind == HistoryOp::Store)
                news.committed.append({op->record.id, op->record.state});
        }
    } else if (erased) {
        // Old page images with the secret stay in the log until it is cut.
        QSqlQuery cut(QSqlDatabase::database(m_connection, false));
        if (!cut.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)")))
            LOG_WARNING << "JobHistory" << ":" << "checkpoint" << cut.lastError().text();
    }
    for (auto op = begin; op != end; ++op) {
        if (op->kind == HistoryOp::Search)
            news.found.append({op->text, search(op->text, op->limit)});
        else if (op->kind == HistoryOp::Saved)
            news.saved.append(saved(op->addresses));
    }
    if (news.isEmpty())
        return;
    const std::lock_guard lock(m_channel->mutex);
    if (m_channel->news.isEmpty())
        QCoreApplication::postEvent(m_owner, new QEvent(wakeType()));
    HistoryNews &told = m_channel->news;
    if (told.failure.isEmpty())
        told.failure = news.failure;
    told.committed.append(news.committed);
    told.found.append(news.found);
    told.saved.append(news.saved);
}

bool HistoryWorker::write(Ops begin, Ops end, HistoryNews &news, bool &erased)
{
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    Statements &s = *m_statements;
    if (!db.transaction()) {
        LOG_ERROR << "JobHistory" << ":" << "write" << db.lastError().text();
        return false;
    }
    QSqlQuery *failing = nullptr;
    const auto run = [&](QSqlQuery &query, const QVariantList &values) {
        if (!exec(query, values))
            failing = &query;
        return !failing;
    };
    QList<std::pair<qint64, JobState>> &done = news.committed;
    for (auto op = begin; !failing && op != end; ++op) {
        const JobRecord &record = op->record;
        switch (op->kind) {
        case HistoryOp::Add:
            if (run(s.insert, HistorySchema::values(record)))
                done.append({record.id, record.state});
            break;
        case HistoryOp::Store:
            // A job removed meanwhile has nothing left to commit.
            if (run(s.update, HistorySchema::updateValues(record)) && s.update.numRowsAffected() > 0) {
                done.append({record.id, record.state});
                erased = erased || HistorySchema::erasesSecrets(record.state);
            }
            break;
        case HistoryOp::Remove:
            erased = (run(s.remove, {op->ids.value(0)}) && s.remove.numRowsAffected() > 0) || erased;
            break;
        case HistoryOp::RemoveFinished:
            erased = (run(s.removeEnded, {}) && s.removeEnded.numRowsAffected() > 0) || erased;
            break;
        case HistoryOp::Positions:
            for (int i = 0; !failing && i < op->ids.size(); ++i)
                run(s.position, {i, op->ids.at(i)});
            break;
        case HistoryOp::Search:
        case HistoryOp::Saved:
        case HistoryOp::Call:
            break;
        }
    }
    if (!failing && db.commit())
        return true;
    LOG_ERROR << "JobHistory" << ":" << "write" << (failing ? failing->lastError() : db.lastError()).text();
    db.rollback();
    done.clear();
    erased = false;
    return false;
}

QList<JobRecord> HistoryWorker::search(const QString &text, int limit)
{
    QList<JobRecord> jobs;
    if (!m_statements)
        return jobs;
    QSqlQuery &query = m_statements->search;
    const QString pattern = likePattern(text);
    if (!exec(query, {pattern, pattern, qBound(1, limit, maxSearchRows)})) {
        LOG_ERROR << "JobHistory" << ":" << "search" << query.lastError().text();
        return jobs;
    }
    while (query.next())
        jobs.append(HistorySchema::read(query));
    query.finish();
    return jobs;
}

QStringList HistoryWorker::saved(const QStringList &addresses)
{
    // One pass over the finished jobs: a playlist asks about thousands at once.
    QStringList found;
    if (!m_statements || addresses.isEmpty())
        return found;
    const QSet<QString> wanted(addresses.cbegin(), addresses.cend());
    QSqlQuery &query = m_statements->saved;
    if (!query.exec()) {
        LOG_ERROR << "JobHistory" << ":" << "saved" << query.lastError().text();
        return found;
    }
    while (query.next()) {
        const QString address = QString::fromLatin1(query.value(0).toByteArray());
        if (wanted.contains(address))
            found.append(address);
    }
    query.finish();
    return found;
}

void HistoryWorker::drop()
{
    m_statements.reset();
    if (!QSqlDatabase::contains(m_connection))
        return;
    QSqlDatabase::database(m_connection, false).close();
    QSqlDatabase::removeDatabase(m_connection);
}

#include "JobHistory.h"

#include "HistoryWorker.h"
#include "LogLine.h"

#include <QDir>

JobHistory::JobHistory(const QString &folder, QObject *parent)
    : QObject(parent), m_folder(folder), m_channel(std::make_shared<HistoryChannel>()),
      m_worker(new HistoryWorker(folder, m_channel, this))
{
    m_worker->moveToThread(&m_thread);
    connect(&m_thread, &QThread::finished, m_worker, &QObject::deleteLater);
    m_thread.setObjectName(QStringLiteral("job history"));
    m_thread.start();
}

JobHistory::~JobHistory()
{
    close();
}

QString JobHistory::filePath() const
{
    return QDir(m_folder).filePath(HistoryWorker::fileName());
}

JobHistory::Opened JobHistory::open()
{
    if (m_opened || m_closed)
        return {false, QStringLiteral("The download history is already open."), {}};
    m_opened = true;
    HistoryWorker::Loaded loaded;
    m_worker->call([this, &loaded] { loaded = m_worker->open(); });
    m_nextId = loaded.nextId;
    return {loaded.ok, loaded.message, std::move(loaded.jobs)};
}

qint64 JobHistory::add(const JobRecord &record)
{
    HistoryOp op{HistoryOp::Add, record, {}, {}, 0, {}, {}};
    op.record.id = m_nextId++;
    const qint64 id = op.record.id;
    post(std::move(op));
    return id;
}

void JobHistory::store(const JobRecord &record)
{
    post({HistoryOp::Store, record, {}, {}, 0, {}, {}});
}

void JobHistory::remove(qint64 id)
{
    post({HistoryOp::Remove, {}, {id}, {}, 0, {}, {}});
}

void JobHistory::removeFinished()
{
    post({HistoryOp::RemoveFinished, {}, {}, {}, 0, {}, {}});
}

void JobHistory::setPositions(const QList<qint64> &idsInOrder)
{
    post({HistoryOp::Positions, {}, idsInOrder, {}, 0, {}, {}});
}

void JobHistory::search(const QString &text, int limit)
{
    post({HistoryOp::Search, {}, {}, text, limit, {}, {}});
}

void JobHistory::findSaved(const QList<QUrl> &addresses)
{
    HistoryOp op;
    op.kind = HistoryOp::Saved;
    for (const QUrl &address : addresses)
        op.addresses.append(QString::fromLatin1(address.adjusted(QUrl::RemoveUserInfo).toEncoded()));
    post(std::move(op));
}

void JobHistory::post(HistoryOp &&op)
{
    if (m_closed) {
        LOG_WARNING << "JobHistory" << ":" << "closed" << ":" << "not kept" << op.record.id;
        return;
    }
    m_worker->post(std::move(op));
}

void JobHistory::close()
{
    if (m_closed)
        return;
    m_closed = true;
    m_worker->call([this] { m_worker->close(); });
    m_thread.quit();
    m_thread.wait();
}

bool JobHistory::event(QEvent *event)
{
    if (event->type() != HistoryWorker::wakeType())
        return QObject::event(event);
    HistoryNews news;
    {
        const std::lock_guard lock(m_channel->mutex);
        std::swap(news, m_channel->news);
    }
    if (!news.failure.isEmpty())
        emit failed(news.failure);
    for (const auto &[id, state] : std::as_const(news.committed))
        emit committed(id, state);
    for (const auto &[text, jobs] : std::as_const(news.found))
        emit found(text, jobs);
    for (const QStringList &addresses : std::as_const(news.saved))
        emit savedFound(addresses);
    return true;
}

#include "JobKeeper.h"

#include <QCoreApplication>

#include "JobHistory.h"
#include "JobQueue.h"
#include "LogLine.h"

#include <algorithm>

JobKeeper::JobKeeper(JobQueue *queue, const QString &folder, QObject *parent)
    : QObject(parent)
    , m_queue(queue)
    , m_folder(folder)
{
}

JobKeeper::~JobKeeper()
{
    close();
}

QString JobKeeper::open(bool goOn)
{
    m_history = new JobHistory(m_folder, this);
    const JobHistory::Opened opened = m_history->open();
    if (!opened.ok)
        LOG_ERROR << "JobKeeper" << ":" << "history not kept" << ":" << opened.message;
    JobHistory *history = m_history;
    m_queue->setKeeper([history](const JobRecord &record) { return history->add(record); });
    connect(m_queue, &JobQueue::recordChanged, history, &JobHistory::store);
    connect(m_queue, &JobQueue::recordRemoved, history, &JobHistory::remove);
    connect(m_queue, &JobQueue::orderChanged, history, &JobHistory::setPositions);
    connect(history, &JobHistory::committed, m_queue, &JobQueue::stateKept);
    connect(history, &JobHistory::found, this, [this](const QString &, const QList<JobRecord> &records) {
        listFound(records);
    });
    connect(history, &JobHistory::failed, this, &JobKeeper::failed);
    connect(history, &JobHistory::savedFound, this, &JobKeeper::savedFound);
    m_queue->restore(opened.jobs, goOn);
    history->search(QString(), listedAtStart);
    return opened.message;
}

void JobKeeper::findOlder(const QString &text)
{
    if (m_history && !text.trimmed().isEmpty())
        m_history->search(text.trimmed(), listedAtStart);
}

void JobKeeper::findSaved(const QList<QUrl> &addresses)
{
    if (m_history)
        m_history->findSaved(addresses);
    else
        emit savedFound({});
}

void JobKeeper::listFound(const QList<JobRecord> &records)
{
    // Jobs already listed stay as they are; the others join above, oldest first.
    QList<JobRecord> older;
    for (const JobRecord &record : records)
        if (!record.unfinished() && m_queue->rowOf(record.id) < 0)
            older.prepend(record);
    m_queue->restoreFinished(older);
}

void JobKeeper::close()
{
    if (!m_history)
        return;
    m_history->close();
    // What the last writes committed is shown before the history goes.
    QCoreApplication::sendPostedEvents(m_history);
    m_queue->setKeeper({});
    m_queue->disconnect(m_history);
    delete m_history;
}

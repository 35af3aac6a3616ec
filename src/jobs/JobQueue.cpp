#include "JobQueue.h"

#include "LogLine.h"

#include <QDateTime>

JobQueue::JobQueue(Factory factory, QObject *parent)
    : QObject(parent)
    , m_factory(std::move(factory))
{
}

JobQueue::~JobQueue()
{
    // Engines still running end with the queue; their records say where they stood.
    for (Entry &entry : m_entries) {
        if (entry.job) {
            entry.job->disconnect(this);
            delete entry.job;
        }
    }
}

void JobQueue::setLimit(int limit)
{
    m_limit = qBound(minLimit, limit, maxLimit);
    schedule();
}

void JobQueue::restore(const QList<JobRecord> &records, bool goOn)
{
    if (records.isEmpty())
        return;
    const int first = count();
    emit rowsAboutToBeAdded(first, first + int(records.size()) - 1);
    for (JobRecord record : records) {
        m_nextId = qMax(m_nextId, record.id + 1);
        if (record.unfinished()) {
            record.state = goOn && record.state != JobState::Paused ? JobState::Waiting : JobState::Paused;
            record.progress.rateText.clear();
            record.progress.leftText.clear();
            record.progress.rate = -1;
            record.progress.secondsLeft = -1;
        }
        m_entries.append({record, record.state, nullptr, 0, false});
    }
    emit rowsAdded(first, count() - 1);
    schedule();
}

void JobQueue::restoreFinished(const QList<JobRecord> &records)
{
    if (records.isEmpty())
        return;
    QList<Entry> older;
    older.reserve(records.size());
    for (const JobRecord &record : records)
        older.append({record, record.state, nullptr, 0, false});
    emit rowsAboutToBeAdded(0, int(records.size()) - 1);
    m_entries = older + m_entries;
    emit rowsAdded(0, int(records.size()) - 1);
}

qint64 JobQueue::add(const JobRequest &request)
{
    JobRecord record;
    record.request = request;
    record.created = QDateTime::currentDateTimeUtc();
    record.position = count();
    record.id = m_keeper ? m_keeper(record) : m_nextId++;
    emit rowsAboutToBeAdded(count(), count());
    m_entries.append({record, JobState::Waiting, nullptr, 0, false});
    LOG_DEBUG << "JobQueue" << ":" << "added" << ":" << record.id << ":" << JobText::kind(request.kind);
    emit rowsAdded(count() - 1, count() - 1);
    schedule();
    return record.id;
}

int JobQueue::rowOf(qint64 id) const
{
    for (int row = 0; row < count(); ++row)
        if (m_entries.at(row).record.id == id)
            return row;
    return -1;
}

int JobQueue::runningCount() const
{
    int running = 0;
    for (const Entry &entry : m_entries)
        running += entry.job && entry.job->isRunning();
    return running;
}

Job *JobQueue::job(qint64 id) const
{
    const int row = rowOf(id);
    return row < 0 ? nullptr : m_entries.at(row).job.data();
}

void JobQueue::setState(int row, JobState state)
{
    Entry &entry = m_entries[row];
    entry.record.state = state;
    if (state == JobState::Finished || state == JobState::Failed || state == JobState::Canceled)
        entry.record.ended = QDateTime::currentDateTimeUtc();
    else
        entry.record.ended = QDateTime();
    LOG_DEBUG << "JobQueue" << ":" << entry.record.id << ":" << JobText::state(state);
    emit recordChanged(entry.record);
    if (!m_keeper)
        stateKept(entry.record.id, state);
}

void JobQueue::stateKept(qint64 id, JobState state)
{
    const int row = rowOf(id);
    if (row < 0 || m_entries.at(row).heldForNextStart)
        return;
    m_entries[row].shown = state;
    emit rowChanged(row);
}

Job *JobQueue::engineFor(Entry &entry)
{
    if (!entry.job) {
        Job *job = m_factory(entry.record, this);
        entry.job = job;
        const qint64 id = entry.record.id;
        connect(job, &Job::requestSettled, this, [this, id](const JobRequest &request) {
            const int row = rowOf(id);
            if (row < 0)
                return;
            m_entries[row].record.request = request;
            emit recordChanged(m_entries.at(row).record);
            emit rowChanged(row);
        });
        connect(job, &Job::progressed, this, [this, id](const JobProgress &progress) { jobProgressed(id, progress); });
        connect(job, &Job::suspended, this, [this, id] { jobSuspended(id); });
        connect(job, &Job::finished, this, [this, id](const JobResult &result) { jobFinished(id, result); });
    }
    return entry.job;
}

void JobQueue::launch(Entry &entry)
{
    Job *job = engineFor(entry);
    const int row = rowOf(entry.record.id);
    entry.record.result = {};
    entry.heldForNextStart = false;
    setState(row, JobState::Running);
    job->start();
}

void JobQueue::schedule()
{
    if (m_pausingAll)
        return;
    int free = m_limit - runningCount();
    for (int row = 0; row < count() && free > 0; ++row) {
        Entry &entry = m_entries[row];
        if (entry.record.state == JobState::Waiting && !entry.job) {
            launch(entry);
            --free;
        }
    }
}

void JobQueue::jobProgressed(qint64 id, const JobProgress &progress)
{
    const int row = rowOf(id);
    if (row < 0)
        return;
    Entry &entry = m_entries[row];
    entry.record.progress = progress;
    entry.record.resume = entry.job ? entry.job->resumeData() : entry.record.resume;
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (now - entry.keptAt >= keepAmountsMs) {
        entry.keptAt = now;
        emit recordChanged(entry.record);
    }
    emit rowChanged(row);
}

void JobQueue::jobSuspended(qint64 id)
{
    const int row = rowOf(id);
    if (row < 0)
        return;
    Entry &entry = m_entries[row];
    entry.record.resume = entry.job->resumeData();
    entry.job->deleteLater();
    entry.job = nullptr;
    entry.record.progress.rate = -1;
    entry.record.progress.secondsLeft = -1;
    entry.record.progress.rateText.clear();
    entry.record.progress.leftText.clear();
    if (m_pausingAll) {
        // Stopped by the application's end, not by the user: kept as running,
        // it runs again at the next start.
        entry.shown = JobState::Paused;
        entry.heldForNextStart = true;
        emit recordChanged(entry.record);
        emit rowChanged(row);
    } else {
        setState(row, JobState::Paused);
    }
    checkAllPaused();
    schedule();
}

void JobQueue::jobFinished(qint64 id, const JobResult &result)
{
    const int row = rowOf(id);
    if (row < 0)
        return;
    Entry &entry = m_entries[row];
    if (entry.job) {
        entry.job->deleteLater();
        entry.job = nullptr;
    }
    entry.record.result = result;
    entry.record.resume = {};
    if (result.ok()) {
        entry.record.progress.percent = 100;
        entry.record.progress.done = result.size;
        entry.record.progress.total = result.size;
    }
    entry.record.progress.rate = -1;
    entry.record.progress.secondsLeft = -1;
    entry.record.progress.rateText.clear();
    entry.record.progress.leftText.clear();
    const bool removing = entry.removeWhenEnded;
    setState(row, result.state);
    LOG_DEBUG << "JobQueue" << ":" << "ended" << ":" << id << ":" << JobText::state(result.state) << ":" << result.errorCode;
    emit jobEnded(id, result);
    if (removing)
        dropRow(rowOf(id));
    checkAllPaused();
    schedule();
}

void JobQueue::checkAllPaused()
{
    if (m_pausingAll && runningCount() == 0) {
        m_pausingAll = false;
        emit allPaused();
    }
}

void JobQueue::pause(qint64 id)
{
    const int row = rowOf(id);
    if (row < 0)
        return;
    Entry &entry = m_entries[row];
    if (entry.job && entry.job->isRunning())
        entry.job->suspend();
    else if (entry.record.state == JobState::Waiting)
        setState(row, JobState::Paused);
}

void JobQueue::resume(qint64 id)
{
    const int row = rowOf(id);
    if (row < 0 || m_entries.at(row).record.state != JobState::Paused)
        return;
    setState(row, JobState::Waiting);
    schedule();
}

void JobQueue::cancel(qint64 id)
{
    const int row = rowOf(id);
    if (row < 0)
        return;
    Entry &entry = m_entries[row];
    if (!entry.record.unfinished())
        return;
    // A paused job's engine is made again to take its parts away.
    engineFor(entry)->kill();
}

void JobQueue::stop(qint64 id)
{
    const int row = rowOf(id);
    if (row >= 0 && m_entries.at(row).job)
        m_entries[row].job->stop();
    else
        cancel(id);
}

void JobQueue::retry(qint64 id)
{
    const int row = rowOf(id);
    if (row < 0)
        return;
    Entry &entry = m_entries[row];
    if (entry.record.state != JobState::Failed && entry.record.state != JobState::Canceled)
        return;
    entry.record.resume = {};
    entry.record.result = {};
    entry.record.progress = {};
    setState(row, JobState::Waiting);
    schedule();
}

void JobQueue::remove(qint64 id)
{
    const int row = rowOf(id);
    if (row < 0)
        return;
    Entry &entry = m_entries[row];
    if (entry.record.unfinished()) {
        // Its parts go first; the row when the engine is gone.
        entry.removeWhenEnded = true;
        engineFor(entry)->kill();
        return;
    }
    dropRow(row);
}

void JobQueue::dropRow(int row)
{
    if (row < 0)
        return;
    const qint64 id = m_entries.at(row).record.id;
    emit rowAboutToBeRemoved(row);
    m_entries.removeAt(row);
    emit recordRemoved(id);
    emit rowRemoved(row);
}

void JobQueue::clearFinished()
{
    for (int row = count() - 1; row >= 0; --row) {
        const JobState state = m_entries.at(row).record.state;
        if (state == JobState::Finished || state == JobState::Canceled)
            dropRow(row);
    }
}

void JobQueue::swap(int upper)
{
    emit rowsAboutToBeSwapped(upper);
    m_entries.swapItemsAt(upper, upper + 1);
    QList<qint64> ids;
    ids.reserve(count());
    for (int row = 0; row < count(); ++row) {
        m_entries[row].record.position = row;
        ids << m_entries.at(row).record.id;
    }
    emit orderChanged(ids);
    emit rowsSwapped(upper);
}

void JobQueue::moveUp(qint64 id)
{
    const int row = rowOf(id);
    if (row > 0)
        swap(row - 1);
}

void JobQueue::moveDown(qint64 id)
{
    const int row = rowOf(id);
    if (row >= 0 && row + 1 < count())
        swap(row);
}

void JobQueue::pauseAll()
{
    m_pausingAll = true;
    for (Entry &entry : m_entries) {
        if (entry.job && entry.job->isRunning())
            entry.job->suspend();
    }
    checkAllPaused();
}

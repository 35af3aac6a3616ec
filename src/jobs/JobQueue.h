#pragma once

#include "Job.h"
#include "JobTypes.h"

#include <QList>
#include <QObject>
#include <QPointer>

#include <functional>

// The jobs in their order: the first waiting ones run, `limit` at once; the
// rest wait. The queue owns the jobs and their records; views watch it by
// row. Every change of a record goes out through recordChanged() to be
// kept; a new state is shown (stateShown()) only once the keeper says it is
// on disk (stateKept()), or at once when nothing keeps records.
class JobQueue : public QObject
{
    Q_OBJECT

public:
    // Makes the engine of a record (its request and resume data).
    using Factory = std::function<Job *(const JobRecord &record, QObject *parent)>;

    static constexpr int minLimit = 1;
    static constexpr int maxLimit = 10;
    static constexpr int defaultLimit = 3;
    // How often a running job's amounts are handed to the keeper.
    static constexpr int keepAmountsMs = 2000;

    explicit JobQueue(Factory factory, QObject *parent = nullptr);
    ~JobQueue() override;

    // Engines made from now on come from this factory.
    void setFactory(Factory factory) { m_factory = std::move(factory); }
    void setLimit(int limit);
    int limit() const { return m_limit; }
    // Whoever keeps the records: it stores each new one and gives its id;
    // states are then shown once it says they are kept. None: ids are the
    // queue's own and states are shown at once.
    using Keeper = std::function<qint64(const JobRecord &record)>;
    void setKeeper(Keeper keeper) { m_keeper = std::move(keeper); }

    // Jobs of an earlier run of the application, oldest first. Unfinished
    // ones wait to run again (goOn) or come back paused.
    void restore(const QList<JobRecord> &records, bool goOn);
    // Finished jobs of earlier runs, oldest first, above every other row.
    void restoreFinished(const QList<JobRecord> &records);
    // A new job at the end; its id.
    qint64 add(const JobRequest &request);

    void moveUp(qint64 id);
    void moveDown(qint64 id);
    void pause(qint64 id);
    void resume(qint64 id);
    void cancel(qint64 id);
    // A live recording ends and keeps what it has; any other job is canceled.
    void stop(qint64 id);
    void retry(qint64 id);
    void remove(qint64 id);
    // Finished and canceled jobs leave the list.
    void clearFinished();
    // Every running job is suspended (a recording ends); waiting ones stay
    // waiting. allPaused() once none runs (at once when none did).
    void pauseAll();

    int count() const { return int(m_entries.size()); }
    const JobRecord &at(int row) const { return m_entries.at(row).record; }
    // The state the views show: the record's once it is kept.
    JobState shownState(int row) const { return m_entries.at(row).shown; }
    int rowOf(qint64 id) const;
    int runningCount() const;
    bool busy() const { return runningCount() > 0; }
    // The engine of a running job, for a view that follows it; null otherwise.
    Job *job(qint64 id) const;

public slots:
    // The keeper has this state of the record on disk.
    void stateKept(qint64 id, JobState state);

signals:
    // Each change of the rows is announced before it is made, then reported.
    void rowsAboutToBeAdded(int first, int last);
    void rowAboutToBeRemoved(int row);
    void rowsAboutToBeSwapped(int upper);
    void rowsAdded(int first, int last);
    void rowChanged(int row);
    void rowRemoved(int row);
    void rowsSwapped(int upper);   // rows upper and upper + 1 traded places
    void jobEnded(qint64 id, const JobResult &result);
    void allPaused();
    // For the keeper: a record to store, one to forget, the new order.
    void recordChanged(const JobRecord &record);
    void recordRemoved(qint64 id);
    void orderChanged(const QList<qint64> &ids);

private:
    struct Entry
    {
        JobRecord record;
        JobState shown = JobState::Waiting;
        QPointer<Job> job;
        qint64 keptAt = 0;     // when the amounts were last handed on (ms)
        bool removeWhenEnded = false;
        bool heldForNextStart = false;   // paused by the application's end: shown paused, kept running
    };

    void schedule();
    void launch(Entry &entry);
    void setState(int row, JobState state);
    void jobProgressed(qint64 id, const JobProgress &progress);
    void jobSuspended(qint64 id);
    void jobFinished(qint64 id, const JobResult &result);
    void dropRow(int row);
    void swap(int upper);
    void checkAllPaused();
    Job *engineFor(Entry &entry);

    Factory m_factory;
    QList<Entry> m_entries;
    int m_limit = defaultLimit;
    qint64 m_nextId = 1;
    Keeper m_keeper;
    bool m_pausingAll = false;
};

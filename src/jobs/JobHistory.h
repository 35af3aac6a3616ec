#pragma once

#include "JobTypes.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QThread>

#include <memory>

class HistoryWorker;
struct HistoryChannel;
struct HistoryOp;

// The jobs kept across restarts and crashes, in "downloads.sqlite" in the
// given folder (the per-user folder; tests pass a temporary one).
//
// Only open() waits for the disk: it loads the unfinished jobs, which the
// queue goes on with; the finished ones the list shows come by
// search(QString(), n) once the window is up. Every other call returns at
// once: the history's own thread commits each batch of writes in one
// transaction, then reports committed() for every job added or stored, so
// the queue shows a state only once it would survive a crash or a power cut.
//
// Ids are given here, at once, from the highest id ever stored plus one.
// A job's request header and cookie source are kept while it may still
// run: unfinished, or failed (it may be retried). They are erased in the
// transaction that stores it Finished or Canceled, or removes it.
//
// When open() fails, or a write fails later, the history goes on without a
// database: ids are still given and committed() still follows every add and
// store, so the queue runs the same; nothing is kept.
class JobHistory : public QObject
{
    Q_OBJECT

public:
    struct Opened
    {
        bool ok = false;
        QString message;          // one sentence for the user; empty when all went well
        QList<JobRecord> jobs;    // every unfinished job, in queue order
    };

    explicit JobHistory(const QString &folder, QObject *parent = nullptr);
    ~JobHistory() override;   // close()

    // Once, at start; the folder must exist. A damaged file is set aside and
    // a new one started (ok, with a message). A file another program holds
    // is waited for two seconds at most, then left untouched (not ok, with a
    // message). The file stays locked while open: a second copy of the
    // program runs without history rather than giving the same ids.
    Opened open();
    QString filePath() const;

    // The new job's id; the record's own id is ignored and its creation
    // time, when invalid, stored as now.
    qint64 add(const JobRecord &record);
    // Everything but the id and the creation time: state, progress, result, resume data.
    void store(const JobRecord &record);
    void remove(qint64 id);
    // Removes every finished, failed and canceled job.
    void removeFinished();
    // The queue's order: each id's position becomes its index in the list.
    void setPositions(const QList<qint64> &idsInOrder);
    // Jobs whose name or site contains the text, case-insensitive, newest
    // first, at most limit (1 to 1000); answered by found(). An empty text
    // matches every job.
    void search(const QString &text, int limit);
    // Which of these addresses a finished job saved (its user name and
    // password aside); answered by savedFound().
    void findSaved(const QList<QUrl> &addresses);

    // Writes what is pending and closes the file; later calls keep nothing.
    void close();

signals:
    // An add() or store() of the job is on disk, with this state.
    void committed(qint64 id, JobState state);
    // The answer to search(text, …).
    void found(const QString &text, const QList<JobRecord> &jobs);
    // The answer to findSaved(): the addresses asked about that were saved.
    void savedFound(const QStringList &addresses);
    // The history stopped keeping jobs; one sentence for the user.
    void failed(const QString &message);

protected:
    bool event(QEvent *event) override;

private:
    void post(HistoryOp &&op);

    const QString m_folder;
    const std::shared_ptr<HistoryChannel> m_channel;
    QThread m_thread;
    HistoryWorker *m_worker;   // lives on m_thread, deleted when it ends
    qint64 m_nextId = 1;
    bool m_opened = false;
    bool m_closed = false;
};

#pragma once

#include "JobTypes.h"

#include <QEvent>
#include <QList>
#include <QObject>
#include <QSqlError>
#include <QString>
#include <QStringList>

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

// One change or question for the history's thread.
struct HistoryOp
{
    enum Kind { Add, Store, Remove, RemoveFinished, Positions, Search, Call, Saved };

    Kind kind = Add;
    JobRecord record;               // Add, Store
    QList<qint64> ids;              // Remove (one), Positions (in order)
    QString text;                   // Search
    int limit = 0;                  // Search
    std::function<void()> call;     // Call: run on the history's thread
    QStringList addresses;          // Saved: the addresses asked about
};

// What the history's thread has to tell the owner's.
struct HistoryNews
{
    QString failure;
    QList<std::pair<qint64, JobState>> committed;
    QList<std::pair<QString, QList<JobRecord>>> found;
    QList<QStringList> saved;         // per Saved question, the addresses finished jobs have

    bool isEmpty() const { return failure.isEmpty() && committed.isEmpty() && found.isEmpty() && saved.isEmpty(); }
};

// Everything that passes between the two threads, under one mutex, where
// the thread sanitizer sees the order; the wake-up events carry nothing.
// Shared, so the owner can still take the last news once the worker is gone.
struct HistoryChannel
{
    std::mutex mutex;
    std::condition_variable called;
    std::vector<HistoryOp> pending;   // to the worker
    HistoryNews news;                 // to the owner
    quint64 callsPosted = 0;
    quint64 callsDone = 0;
};

// The history's connection and everything done with it, on a thread of its
// own. Operations are written in one transaction per batch; what was
// committed and what was found goes back as news, with a wake-up event to
// the owner.
class HistoryWorker : public QObject
{
public:
    struct Loaded
    {
        bool ok = false;
        QString message;
        QList<JobRecord> jobs;
        qint64 nextId = 1;
    };

    HistoryWorker(const QString &folder, std::shared_ptr<HistoryChannel> channel, QObject *owner);
    ~HistoryWorker() override;

    // The event that tells a thread to look at the channel.
    static QEvent::Type wakeType();

    // From the owner's thread.
    void post(HistoryOp op);
    // Runs work on the history's thread after what was posted before, and
    // returns once it has run.
    void call(std::function<void()> work);

    // On the history's thread (through call()): opens (sets a damaged file
    // aside and starts again) and loads the unfinished jobs; closes.
    Loaded open();
    void close();

    static QString fileName();

protected:
    bool event(QEvent *event) override;

private:
    enum class Outcome { Opened, Damaged, Locked, Newer, Failed };
    struct Statements;
    using Ops = std::vector<HistoryOp>::iterator;

    void push(std::unique_lock<std::mutex> &lock, HistoryOp op);
    Outcome attempt(Loaded &loaded, QString &detail);
    QSqlError prepareStatements();   // invalid when all are ready
    bool load(Loaded &loaded, QString &detail, Outcome &outcome);
    void drain();
    void run(Ops begin, Ops end);
    bool write(Ops begin, Ops end, HistoryNews &news, bool &erased);
    QList<JobRecord> search(const QString &text, int limit);
    QStringList saved(const QStringList &addresses);
    void drop();

    const QString m_folder;
    const QString m_connection;
    const std::shared_ptr<HistoryChannel> m_channel;
    QObject *const m_owner;
    std::unique_ptr<Statements> m_statements;   // set while the database is open
};

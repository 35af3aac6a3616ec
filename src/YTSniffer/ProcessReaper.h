#pragma once

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QTimer>

#include <functional>

class QProcess;

// Process groups of the driver's runs on this platform.
namespace ProcessGroup {

// Runs in the child between fork and exec: a group of its own, so that
// ending a run also ends whatever it started, and death with the parent,
// even one killed outright.
void prepareChild(qint64 parentPid);
// The same from the parent right after the start, closing the race with a
// signal sent before the child got to it.
void adopt(qint64 pid);
// Sends a signal to every member of the group.
void signal(qint64 pgid, int signalNumber);
// True while a member of the group has not yet died (zombies count as dead).
bool alive(qint64 pgid);

} // namespace ProcessGroup

// Ends process groups without making anyone wait: SIGTERM at once, SIGKILL
// after a short grace, each process collected once its group is gone. One
// per application; it outlives the runs it takes over, and what is still
// pending when the application object ends is ended with a bounded wait.
class ProcessReaper : public QObject
{
public:
    static constexpr int graceMs = 400;

    // Takes over a process and ends the group it leads; `afterwards` runs
    // once no member of the group is left, for example to remove files the
    // group might otherwise write again. The group id is the leader's pid,
    // passed because a process that has ended no longer reports it.
    static void reap(QProcess *process, qint64 pgid, std::function<void()> afterwards = {});
    // Groups taken over and not yet gone.
    static int pending();
    // Ends everything still pending, waiting at most `ms` in all.
    static void drain(int ms);

private:
    struct Entry
    {
        QProcess *process = nullptr;
        qint64 pgid = 0;
        std::function<void()> afterwards;
        QElapsedTimer since;
        bool killed = false;
    };

    ProcessReaper();
    static ProcessReaper *instance();
    void poll();

    QList<Entry> m_entries;
    QTimer m_timer;
};

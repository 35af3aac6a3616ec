#include "ProcessReaper.h"

#include "LogLine.h"

#include <QCoreApplication>
#include <QProcess>
#include <QThread>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/types.h>
#include <unistd.h>

namespace {

constexpr int pollMs = 20;
// A member stuck in the kernel can outlast SIGKILL; past this its files are
// cleaned up regardless.
constexpr qint64 giveUpMs = 10000;
// What the application's end may wait for the last groups.
constexpr int drainMs = 2000;

ProcessReaper *theReaper = nullptr;

} // namespace

namespace ProcessGroup {

void prepareChild(qint64 parentPid)
{
    ::setpgid(0, 0);
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    // The parent died before the line above: nobody would end this child.
    if (::getppid() != pid_t(parentPid))
        ::_exit(127);
}

void adopt(qint64 pid)
{
    // Fails harmlessly once the child has done it itself and started the tool.
    if (pid > 0)
        ::setpgid(pid_t(pid), pid_t(pid));
}

void signal(qint64 pgid, int signalNumber)
{
    if (pgid <= 0)
        return;
    ::kill(-pid_t(pgid), signalNumber);
}

bool alive(qint64 pgid)
{
    if (pgid <= 0)
        return false;
    if (::kill(-pid_t(pgid), 0) != 0 && errno == ESRCH)
        return false;
    // Orphaned members wait for init to collect them and show as zombies
    // meanwhile; they can no longer write anything. Plain system calls: this
    // runs on the GUI thread and reads every process's stat line.
    DIR *proc = ::opendir("/proc");
    if (!proc)
        return true;
    bool found = false;
    while (const dirent *entry = ::readdir(proc)) {
        if (entry->d_name[0] < '1' || entry->d_name[0] > '9')
            continue;
        char path[sizeof entry->d_name + 16];
        std::snprintf(path, sizeof path, "/proc/%s/stat", entry->d_name);
        const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            continue;
        char text[512];
        const ssize_t length = ::read(fd, text, sizeof text - 1);
        ::close(fd);
        if (length <= 0)
            continue;
        // "pid (name) state ppid pgrp ...": the name may hold blanks and ')'.
        text[length] = '\0';
        const char *nameEnd = std::strrchr(text, ')');
        char state = 0;
        long long parent = 0;
        long long group = 0;
        if (nameEnd && std::sscanf(nameEnd + 1, " %c %lld %lld", &state, &parent, &group) == 3 && group == pgid
            && state != 'Z' && state != 'X') {
            found = true;
            break;
        }
    }
    ::closedir(proc);
    return found;
}

} // namespace ProcessGroup

ProcessReaper::ProcessReaper()
{
    m_timer.setInterval(pollMs);
    connect(&m_timer, &QTimer::timeout, this, &ProcessReaper::poll);
}

ProcessReaper *ProcessReaper::instance()
{
    if (!theReaper) {
        theReaper = new ProcessReaper;
        // Nothing the driver started may outlive the application object.
        qAddPostRoutine([] { drain(drainMs); });
    }
    return theReaper;
}

void ProcessReaper::reap(QProcess *process, qint64 pgid, std::function<void()> afterwards)
{
    ProcessReaper *self = instance();
    process->disconnect();
    process->setParent(self);
    ProcessGroup::signal(pgid, SIGTERM);
    // The leader by itself too, in case it had not yet made its group.
    if (process->state() != QProcess::NotRunning)
        process->terminate();
    Entry entry;
    entry.process = process;
    entry.pgid = pgid;
    entry.afterwards = std::move(afterwards);
    entry.since.start();
    self->m_entries.append(std::move(entry));
    connect(process, &QProcess::finished, self, &ProcessReaper::poll);
    if (!self->m_timer.isActive())
        self->m_timer.start();
}

int ProcessReaper::pending()
{
    return theReaper ? int(theReaper->m_entries.size()) : 0;
}

void ProcessReaper::poll()
{
    QList<Entry> gone;
    for (qsizetype i = 0; i < m_entries.size();) {
        Entry &entry = m_entries[i];
        const qint64 age = entry.since.elapsed();
        if (!entry.killed && age >= graceMs) {
            ProcessGroup::signal(entry.pgid, SIGKILL);
            if (entry.process->state() != QProcess::NotRunning)
                entry.process->kill();
            entry.killed = true;
        }
        // A running QProcess must not be deleted: its destructor would wait.
        const bool leaderDone = entry.process->state() == QProcess::NotRunning;
        if (leaderDone && (!ProcessGroup::alive(entry.pgid) || age >= giveUpMs)) {
            if (age >= giveUpMs)
                LOG_ERROR << "ProcessReaper" << ":" << "group outlived SIGKILL" << ":" << entry.pgid;
            gone.append(m_entries.takeAt(i));
            continue;
        }
        ++i;
    }
    if (m_entries.isEmpty())
        m_timer.stop();
    for (Entry &entry : gone) {
        entry.process->deleteLater();
        if (entry.afterwards)
            entry.afterwards();
    }
}

void ProcessReaper::drain(int ms)
{
    if (!theReaper || theReaper->m_entries.isEmpty())
        return;
    QElapsedTimer clock;
    clock.start();
    QList<Entry> entries;
    entries.swap(theReaper->m_entries);
    theReaper->m_timer.stop();
    for (const Entry &entry : std::as_const(entries)) {
        ProcessGroup::signal(entry.pgid, SIGKILL);
        if (entry.process->state() != QProcess::NotRunning)
            entry.process->kill();
    }
    for (const Entry &entry : std::as_const(entries)) {
        if (entry.process->state() != QProcess::NotRunning)
            entry.process->waitForFinished(int(qMax<qint64>(1, ms - clock.elapsed())));
    }
    for (const Entry &entry : std::as_const(entries)) {
        while (ProcessGroup::alive(entry.pgid) && clock.elapsed() < ms)
            QThread::msleep(10);
    }
    for (const Entry &entry : std::as_const(entries)) {
        if (entry.afterwards)
            entry.afterwards();
        // One still running is left alone: deleting it would wait without bound.
        if (entry.process->state() == QProcess::NotRunning)
            delete entry.process;
        else
            entry.process->setParent(nullptr);
    }
}

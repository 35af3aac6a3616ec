#include "ProcessReaper.h"

#include "LogLine.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QThread>

#include <cerrno>
#include <csignal>
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

void enterOwnGroup()
{
    ::setpgid(0, 0);
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
    // meanwhile; they can no longer write anything.
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &name : entries) {
        if (name.isEmpty() || !name.front().isDigit())
            continue;
        QFile stat(QStringLiteral("/proc/") + name + QStringLiteral("/stat"));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray text = stat.read(1024);
        // "pid (name) state ppid pgrp ...": the name may hold blanks and ')'.
        const qsizetype close = text.lastIndexOf(')');
        if (close < 0)
            continue;
        const QList<QByteArray> fields = text.mid(close + 2).split(' ');
        if (fields.size() < 3 || fields.at(2).toLongLong() != pgid)
            continue;
        if (fields.at(0) != "Z" && fields.at(0) != "X")
            return true;
    }
    return false;
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

#pragma once

#include "LineBuffer.h"

#include <QElapsedTimer>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <memory>

// What one run of a tool came to.
struct ToolResult
{
    bool ok = false;        // started, ended normally, exit code 0, no full disk
    bool started = false;   // false: the program could not be started
    bool stalled = false;   // ended for printing and writing nothing too long
    bool diskFull = false;  // the tool said its disk is full
    int exitCode = -1;
    QStringList lines;      // lines of standard output, within the run's bounds
    int linesLeftOut = 0;   // lines past those bounds
    QString complaint;      // the tool's last words on standard error, for the log
    QString errorLine;      // its last "ERROR:" line there, for the user
    QStringList lastWords;  // its last lines there (a few): the cause, when others follow from it
};

// One child process for one request: a process group of its own that dies
// with the application, output read as whole bounded lines, success only on
// a normal exit with code 0. A run that is ended before it finishes says
// nothing more, and nobody waits for it: its group goes to the ProcessReaper.
class ToolRun : public QObject
{
    Q_OBJECT

public:
    // What is kept of standard output for the result; all of it still
    // passes through linesRead.
    struct Limits
    {
        int lines = 0;
        qsizetype bytes = 0;
    };

    ToolRun(const QString &program, const QStringList &arguments, Limits limits, QObject *parent);
    ~ToolRun() override;

    // Files whose growth is a sign of life: those beside PREFIX whose names
    // begin with its name, like the tracks and the merge of a download.
    void watchFiles(const QString &prefix);
    // Files or folders that go when the run does, like those holding credentials.
    void removeWhenDone(const QString &path);
    // A variable of the child's environment, besides those it inherits.
    void setVariable(const QString &name, const QString &value);
    void start();
    // Ends a run still going, without waiting; `afterwards` runs once its
    // process group is gone (at once when nothing runs).
    void end(std::function<void()> afterwards = {});
    // Asks the whole run to finish as at a terminal's Ctrl+C (SIGINT to its
    // group), without waiting; false when nothing runs.
    bool interrupt();
    bool isRunning() const { return m_process && !m_finished; }

    // How long a run may print nothing and grow no watched file before it
    // fails as stalled: five minutes unless a test sets less.
    static void setSilenceLimit(int ms);
    static int silenceLimit();

signals:
    // Lines of standard output as they arrive.
    void linesRead(const QStringList &lines);
    // Exactly once, never from inside start().
    void finished(const ToolResult &result);

private:
    void readOutput();
    void readErrors();
    void keep(const QStringList &lines);
    void noteComplaints(const QStringList &lines);
    void complete(int exitCode, QProcess::ExitStatus status);
    void failedToStart(QProcess::ProcessError error);
    void checkSilence();
    qint64 watchedSize() const;
    void release(std::function<void()> afterwards);
    void removeFiles();

    QString m_program;
    QStringList m_arguments;
    Limits m_limits;
    QProcess *m_process = nullptr;
    qint64 m_pid = 0;
    bool m_finished = false;
    ToolResult m_result;
    qsizetype m_keptBytes = 0;
    LineBuffer m_output;
    LineBuffer m_errors;
    QTimer m_watchdog;
    QElapsedTimer m_quiet;
    QString m_watched;
    qint64 m_watchedSize = -1;  // of all the watched files together
    QStringList m_removeWhenDone;
    QProcessEnvironment m_environment;
    bool m_ownEnvironment = false;
    // While a stalled run's group is being ended: what to run once it is gone.
    std::shared_ptr<std::function<void()>> m_whenGone;
};

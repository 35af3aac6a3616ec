#pragma once

#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <functional>

// What one run of a tool came to.
struct ToolResult
{
    bool ok = false;       // started, ended normally, exit code 0
    bool started = false;  // false: the program could not be started
    int exitCode = -1;
    QStringList lines;     // lines of standard output, as many as the run keeps
    QString complaint;     // the tool's last words on standard error, for the log
};

// One child process for one request: a process group of its own, bounded
// output, success only on a normal exit with code 0. A run that is ended
// before it finishes says nothing more, and nobody waits for it: its group
// goes to the ProcessReaper.
class ToolRun : public QObject
{
    Q_OBJECT

public:
    // maxLines: standard output lines kept in the result; later ones are
    // dropped (they still reach linesRead).
    ToolRun(const QString &program, const QStringList &arguments, int maxLines, QObject *parent);
    ~ToolRun() override;

    void start();
    // Ends a run still going, without waiting; `afterwards` runs once its
    // process group is gone (at once when nothing runs).
    void end(std::function<void()> afterwards = {});
    bool isRunning() const { return m_process && !m_finished; }
    QString program() const { return m_program; }

signals:
    // Lines of standard output as they arrive.
    void linesRead(const QStringList &lines);
    // Exactly once, never from inside start().
    void finished(const ToolResult &result);

private:
    void readOutput();
    void readErrors();
    void complete(int exitCode, QProcess::ExitStatus status);
    void failedToStart(QProcess::ProcessError error);
    void release(std::function<void()> afterwards);

    QString m_program;
    QStringList m_arguments;
    int m_maxLines;
    QProcess *m_process = nullptr;
    qint64 m_pid = 0;
    bool m_finished = false;
    ToolResult m_result;
};

#include "ToolRun.h"

#include "ProcessReaper.h"
#include "ToolOutput.h"

#include <csignal>

namespace {

// Bytes of the error stream kept for the log.
constexpr qsizetype maxComplaint = 512;

} // namespace

ToolRun::ToolRun(const QString &program, const QStringList &arguments, int maxLines, QObject *parent)
    : QObject(parent)
    , m_program(program)
    , m_arguments(arguments)
    , m_maxLines(maxLines)
{
}

ToolRun::~ToolRun()
{
    // Its owner is going away without ending it: the group must not stay.
    if (isRunning())
        release({});
}

void ToolRun::start()
{
    m_process = new QProcess(this);
    m_process->setChildProcessModifier(&ProcessGroup::enterOwnGroup);
    connect(m_process, &QProcess::readyReadStandardOutput, this, &ToolRun::readOutput);
    connect(m_process, &QProcess::readyReadStandardError, this, &ToolRun::readErrors);
    connect(m_process, &QProcess::finished, this, &ToolRun::complete);
    connect(m_process, &QProcess::errorOccurred, this, &ToolRun::failedToStart);
    m_process->start(m_program, m_arguments, QIODevice::ReadWrite);
    m_pid = m_process->processId();
    ProcessGroup::adopt(m_pid);
    // Nothing is ever written: a tool that asks a question sees end of input.
    m_process->closeWriteChannel();
}

void ToolRun::end(std::function<void()> afterwards)
{
    if (!isRunning()) {
        m_finished = true;
        if (afterwards)
            afterwards();
        return;
    }
    m_finished = true;
    release(std::move(afterwards));
}

void ToolRun::release(std::function<void()> afterwards)
{
    QProcess *process = m_process;
    m_process = nullptr;
    ProcessReaper::reap(process, m_pid, std::move(afterwards));
}

void ToolRun::readOutput()
{
    const QByteArray chunk = m_process->readAllStandardOutput();
    if (chunk.isEmpty())
        return;
    const QStringList lines = ToolOutput::chunkLines(chunk);
    ToolOutput::appendBounded(m_result.lines, lines, m_maxLines);
    emit linesRead(lines);
}

void ToolRun::readErrors()
{
    // Drained so that a chatty tool cannot fill memory; the last words stay.
    QByteArray text = m_process->readAllStandardError().trimmed();
    if (text.isEmpty())
        return;
    text = text.mid(text.lastIndexOf('\n') + 1).right(maxComplaint);
    m_result.complaint = QString::fromUtf8(text);
}

void ToolRun::complete(int exitCode, QProcess::ExitStatus status)
{
    if (m_finished)
        return;
    readOutput();
    readErrors();
    m_finished = true;
    m_result.started = true;
    m_result.exitCode = exitCode;
    m_result.ok = status == QProcess::NormalExit && exitCode == 0;
    // Whatever the tool left behind in its group ends with it.
    ProcessGroup::signal(m_pid, SIGKILL);
    emit finished(m_result);
}

void ToolRun::failedToStart(QProcess::ProcessError error)
{
    // Any other error is followed by finished(); this one never is.
    if (error != QProcess::FailedToStart || m_finished)
        return;
    m_finished = true;
    m_result.complaint = m_process->errorString();
    // Queued: a request call never answers from inside.
    QMetaObject::invokeMethod(this, [this] { emit finished(m_result); }, Qt::QueuedConnection);
}

#include "ToolRun.h"

#include "Platform.h"
#include "ProcessReaper.h"
#include "ToolErrors.h"
#include "ToolOutput.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>

#include <csignal>
#include <unistd.h>

namespace {

// Characters of the error stream kept for the log.
constexpr qsizetype maxComplaint = 512;
constexpr int keptWords = 20;
int silenceMs = 5 * 60 * 1000;

} // namespace

ToolRun::ToolRun(const QString &program, const QStringList &arguments, Limits limits, QObject *parent)
    : QObject(parent)
    , m_program(program)
    , m_arguments(arguments)
    , m_limits(limits)
    , m_output(ToolOutput::maxLineLength)
    , m_errors(ToolOutput::maxLineLength)
{
    connect(&m_watchdog, &QTimer::timeout, this, &ToolRun::checkSilence);
}

ToolRun::~ToolRun()
{
    // Its owner is going away without ending it: the group must not stay.
    if (isRunning())
        release({});
    removeFiles();
}

void ToolRun::setSilenceLimit(int ms)
{
    silenceMs = ms;
}

int ToolRun::silenceLimit()
{
    return silenceMs;
}

void ToolRun::watchFiles(const QString &prefix)
{
    m_watched = prefix;
}

qint64 ToolRun::watchedSize() const
{
    const QFileInfo prefix(m_watched);
    qint64 size = 0;
    for (const QFileInfo &file : prefix.dir().entryInfoList({prefix.fileName() + QLatin1Char('*')}, QDir::Files))
        size += file.size();
    return size;
}

void ToolRun::removeWhenDone(const QString &path)
{
    m_removeWhenDone << path;
}

void ToolRun::setVariable(const QString &name, const QString &value)
{
    if (!m_ownEnvironment)
        m_environment = QProcessEnvironment::systemEnvironment();
    m_ownEnvironment = true;
    m_environment.insert(name, value);
}

void ToolRun::start()
{
    m_process = new QProcess(this);
    const qint64 parent = ::getpid();
    m_process->setChildProcessModifier([parent] { ProcessGroup::prepareChild(parent); });
    connect(m_process, &QProcess::readyReadStandardOutput, this, &ToolRun::readOutput);
    connect(m_process, &QProcess::readyReadStandardError, this, &ToolRun::readErrors);
    connect(m_process, &QProcess::finished, this, &ToolRun::complete);
    connect(m_process, &QProcess::errorOccurred, this, &ToolRun::failedToStart);
    // The launcher and the update script keep the tools where the application says.
    if (!qEnvironmentVariableIsSet("VIDARRO_TOOLS") && !(m_ownEnvironment && m_environment.contains(QStringLiteral("VIDARRO_TOOLS"))))
        setVariable(QStringLiteral("VIDARRO_TOOLS"), QDir(Platform::perUserFolder()).filePath(QStringLiteral("tools")));
    if (m_ownEnvironment)
        m_process->setProcessEnvironment(m_environment);
    m_quiet.start();
    m_watchdog.start(qBound(50, silenceMs / 4, 10000));
    m_process->start(m_program, m_arguments, QIODevice::ReadWrite);
    m_pid = m_process->processId();
    ProcessGroup::adopt(m_pid);
    // Nothing is ever written: a tool that asks a question sees end of input.
    m_process->closeWriteChannel();
}

void ToolRun::end(std::function<void()> afterwards)
{
    if (m_whenGone) {
        *m_whenGone = std::move(afterwards);
        return;
    }
    const bool running = isRunning();
    m_finished = true;
    m_watchdog.stop();
    if (running)
        release(std::move(afterwards));
    else if (afterwards)
        afterwards();
    removeFiles();
}

void ToolRun::release(std::function<void()> afterwards)
{
    QProcess *process = m_process;
    m_process = nullptr;
    ProcessReaper::reap(process, m_pid, std::move(afterwards));
}

void ToolRun::removeFiles()
{
    for (const QString &path : std::as_const(m_removeWhenDone)) {
        const QFileInfo file(path);
        if (file.isDir() && !file.isSymLink())
            QDir(path).removeRecursively();
        else
            QFile::remove(path);
    }
    m_removeWhenDone.clear();
}

void ToolRun::readOutput()
{
    const QByteArray bytes = m_process->readAllStandardOutput();
    if (bytes.isEmpty())
        return;
    keep(m_output.feed(bytes));
    // After the reading: time spent on a large chunk is not the tool's silence.
    m_quiet.restart();
}

void ToolRun::keep(const QStringList &lines)
{
    if (lines.isEmpty())
        return;
    for (const QString &line : lines) {
        if (m_result.lines.size() < m_limits.lines && line.size() <= m_limits.bytes - m_keptBytes) {
            m_result.lines.append(line);
            m_keptBytes += line.size();
        } else {
            ++m_result.linesLeftOut;
        }
    }
    emit linesRead(lines);
}

void ToolRun::readErrors()
{
    // Read as it comes so that a chatty tool cannot fill memory.
    const QByteArray bytes = m_process->readAllStandardError();
    if (bytes.isEmpty())
        return;
    noteComplaints(m_errors.feed(bytes));
    m_quiet.restart();
}

void ToolRun::noteComplaints(const QStringList &lines)
{
    for (const QString &line : lines) {
        // ENOSPC as ffmpeg and yt-dlp word it.
        if (line.contains(QLatin1String("No space left on device")))
            m_result.diskFull = true;
        const QString words = line.trimmed();
        if (!words.isEmpty())
            m_result.complaint = words.left(maxComplaint);
        if (const QString error = ToolErrors::lastErrorLine({words}); !error.isEmpty())
            m_result.errorLine = error;
        if (!words.isEmpty())
            m_result.lastWords.append(words.left(maxComplaint));
        if (m_result.lastWords.size() > keptWords)
            m_result.lastWords.removeFirst();
    }
}

void ToolRun::complete(int exitCode, QProcess::ExitStatus status)
{
    if (m_finished)
        return;
    readOutput();
    readErrors();
    keep(m_output.finish());
    noteComplaints(m_errors.finish());
    m_finished = true;
    m_watchdog.stop();
    removeFiles();
    m_result.started = true;
    m_result.exitCode = exitCode;
    // ffmpeg exits with 0 when only the closing write found the disk full.
    m_result.ok = status == QProcess::NormalExit && exitCode == 0 && !m_result.diskFull;
    m_result.linesLeftOut += int(m_output.dropped());
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
    m_watchdog.stop();
    removeFiles();
    m_result.complaint = m_process->errorString();
    // Queued: a request call never answers from inside.
    QMetaObject::invokeMethod(this, [this] { emit finished(m_result); }, Qt::QueuedConnection);
}

bool ToolRun::interrupt()
{
    if (!isRunning() || m_pid <= 0)
        return false;
    ProcessGroup::signal(m_pid, SIGINT);
    return true;
}

void ToolRun::checkSilence()
{
    if (!m_watched.isEmpty()) {
        const qint64 size = watchedSize();
        if (size != m_watchedSize) {
            m_watchedSize = size;
            m_quiet.restart();
        }
    }
    if (!isRunning() || m_quiet.elapsed() < silenceMs)
        return;
    m_finished = true;
    m_watchdog.stop();
    removeFiles();
    m_result.started = true;
    m_result.stalled = true;
    // The answer comes once the group is gone, so that the owner may
    // remove the files it left at once.
    auto whenGone = std::make_shared<std::function<void()>>();
    m_whenGone = whenGone;
    QProcess *process = m_process;
    m_process = nullptr;
    ProcessReaper::reap(process, m_pid, [self = QPointer<ToolRun>(this), whenGone] {
        if (self)
            emit self->finished(self->m_result);
        if (*whenGone)
            (*whenGone)();
    });
}

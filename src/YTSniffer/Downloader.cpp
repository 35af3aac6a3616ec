#include "Downloader.h"

#include "LogLine.h"
#include "Platform.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/types.h>
#include <unistd.h>
#endif

namespace {

// Bytes of the tool's error stream kept for the log when a run fails.
constexpr qsizetype maxComplaint = 512;
const char complaintProperty[] = "vidarroComplaint";

} // namespace

Downloader::Downloader(QObject *parent)
    : QObject(parent)
    , info(new MediaInfo)
{
    toolPath = QDir::toNativeSeparators(Platform::applicationFolder() + QLatin1Char('/')
                                        + Platform::downloaderToolName());
    if (!QFileInfo::exists(toolPath)) {
        LOG_ERROR << "Downloader" << ":" << "tool missing" << ":" << toolPath;
        // Queued: the window connects its slots right after creating us.
        emitLater(ToolMissing);
        return;
    }
    scriptSuffix = Platform::updateScriptSuffix();
}

Downloader::~Downloader()
{
    for (QPointer<QProcess> *member :
         {&updateProcess, &titleProcess, &formatProcess, &fileProcess, &extractProcess}) {
        if (QProcess *process = member->data()) {
            retire(*member);
            delete process;
        }
    }
    delete info;
}

bool Downloader::checkURL(const QUrl &url)
{
    if (!url.isValid())
        return false;
    pageUrl = url.toString();
    LOG_DEBUG << "checkURL" << ":" << "URL" << ":" << pageUrl;
    return true;
}

void Downloader::requestTitleAndFormats()
{
    requestTitle();
    requestFormats();
}

void Downloader::stop()
{
    LOG_DEBUG << "stop" << ":" << "Ok";
    if (activeJob == AudioStep) {
        retire(extractProcess);
        const QString source = extractArgs.value(extractArgs.size() - 2);
        const QString target = extractArgs.value(extractArgs.size() - 1);
        QFile::remove(source);
        if (target != source)
            QFile::remove(target);
    } else if (activeJob == FileStep) {
        retire(fileProcess);
        removeDownloadLeftovers();
    }
    // The job is gone; a second stop() must find nothing to act on.
    activeJob = 0;
}

QProcess *Downloader::newProcess(QPointer<QProcess> &member, ReadSlot onRead, EndSlot onEnd,
                                 errors startError)
{
    retire(member);
    auto *process = new QProcess;
    member = process;
#ifdef Q_OS_UNIX
    // Own process group, so that ending a run also ends whatever it started.
    process->setChildProcessModifier([] { ::setpgid(0, 0); });
#endif
    connect(process, &QProcess::readyReadStandardOutput, this, onRead);
    connect(process, &QProcess::finished, this, onEnd);
    connect(process, &QProcess::errorOccurred, this, [this, process, startError](QProcess::ProcessError error) {
        // Any other error is followed by finished(); this one never is.
        if (error != QProcess::FailedToStart)
            return;
        LOG_ERROR << "startProcess" << ":" << "cannot start" << ":" << process->program() << ":"
                  << process->errorString();
        process->disconnect(this);
        process->deleteLater();
        startFailed(startError);
    });
    // Only standard output is read; the error stream is drained so that a
    // chatty tool cannot fill memory, keeping its last words for the log.
    connect(process, &QProcess::readyReadStandardError, this, [process] {
        QByteArray text = process->readAllStandardError().trimmed();
        if (text.isEmpty())
            return;
        text = text.mid(text.lastIndexOf('\n') + 1).right(maxComplaint);
        process->setProperty(complaintProperty, text);
    });
    return process;
}

void Downloader::startProcess(QProcess *process, const QString &program, const QStringList &arguments)
{
    process->start(program, arguments, QIODevice::ReadWrite);
    // Nothing is ever written: a tool that asks a question sees end of input.
    process->closeWriteChannel();
}

void Downloader::retire(QPointer<QProcess> &member)
{
    QProcess *process = member.data();
    member.clear();
    if (!process)
        return;
    process->disconnect();
    if (process->state() != QProcess::NotRunning) {
#ifdef Q_OS_UNIX
        const qint64 pid = process->processId();
        if (pid > 0)
            ::kill(-pid_t(pid), SIGKILL);
#endif
        process->kill();
        process->waitForFinished(2000);
    }
    process->deleteLater();
}

void Downloader::startFailed(errors error)
{
    switch (error) {
    case DownloadFailed:
        removeDownloadLeftovers();
        activeJob = 0;
        break;
    case ExtractFailed:
        activeJob = 0;
        break;
    default:
        break;
    }
    // Queued like every other answer: a request call never signals from inside.
    emitLater(error);
}

void Downloader::logToolComplaint(QProcess *process, const char *operation)
{
    const QByteArray complaint = process->property(complaintProperty).toByteArray();
    if (!complaint.isEmpty())
        LOG_ERROR << operation << ":" << "tool said" << ":" << QString::fromUtf8(complaint);
}

void Downloader::emitLater(errors error)
{
    QMetaObject::invokeMethod(this, [this, error] { emit hasError(error); }, Qt::QueuedConnection);
}

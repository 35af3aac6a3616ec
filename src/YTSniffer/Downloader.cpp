#include "Downloader.h"

#include "LogLine.h"
#include "Platform.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

void removeFiles(const QStringList &names)
{
    for (const QString &name : names) {
        if (QFileInfo::exists(name) && !QFile::remove(name))
            LOG_ERROR << "removeFiles" << ":" << "cannot remove" << ":" << name;
    }
}

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
    // The window may close in the middle of a job: nothing it started may
    // stay running, and nothing half-written may stay in the folder.
    stop();
    for (QPointer<ToolRun> *run : {&titleRun, &formatRun, &updateRun, &fileRun, &extractRun})
        endRun(*run);
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

void Downloader::stop()
{
    LOG_DEBUG << "stop" << ":" << "Ok";
    if (activeJob == AudioStep)
        endRun(extractRun, extractionLeftovers(true));
    else if (activeJob == FileStep)
        endRun(fileRun, downloadLeftovers());
    // The job is gone; a second stop() must find nothing to act on.
    activeJob = 0;
}

void Downloader::launch(QPointer<ToolRun> &member, const QString &program, const QStringList &arguments,
                        int maxLines, ReadSlot onRead, EndSlot onEnd)
{
    endRun(member);
    auto *run = new ToolRun(program, arguments, maxLines, this);
    member = run;
    connect(run, &ToolRun::linesRead, this, onRead);
    connect(run, &ToolRun::finished, this, onEnd);
    run->start();
}

void Downloader::endRun(QPointer<ToolRun> &member, std::function<void()> afterwards)
{
    ToolRun *run = member.data();
    member.clear();
    if (!run) {
        if (afterwards)
            afterwards();
        return;
    }
    run->disconnect();
    run->end(std::move(afterwards));
    run->deleteLater();
}

void Downloader::dropRun(QPointer<ToolRun> &member)
{
    if (ToolRun *run = member.data())
        run->deleteLater();
    member.clear();
}

void Downloader::logFailure(const char *operation, const ToolResult &result)
{
    if (!result.started)
        LOG_ERROR << operation << ":" << "cannot start" << ":" << result.complaint;
    else
        LOG_ERROR << operation << ":" << "exitCode" << ":" << result.exitCode;
    if (result.started && !result.complaint.isEmpty())
        LOG_ERROR << operation << ":" << "tool said" << ":" << result.complaint;
}

std::function<void()> Downloader::downloadLeftovers()
{
    if (fileTarget.isEmpty())
        return {};
    const QString target = fileTarget;
    const QStringList names{partFile, target + QStringLiteral(".ytdl"), target};
    fileTarget.clear();
    return [self = QPointer<Downloader>(this), target, names] {
        // A newer download of the same name owns these files now.
        if (self && self->fileRun && self->fileTarget == target)
            return;
        removeFiles(names);
    };
}

std::function<void()> Downloader::extractionLeftovers(bool withSource)
{
    const QString target = extractArgs.value(extractArgs.size() - 1);
    QStringList names{target};
    if (withSource)
        names.prepend(extractArgs.value(extractArgs.size() - 2));
    return [self = QPointer<Downloader>(this), target, names] {
        if (self && self->extractRun && self->extractArgs.value(self->extractArgs.size() - 1) == target)
            return;
        removeFiles(names);
    };
}

void Downloader::emitLater(errors error)
{
    QMetaObject::invokeMethod(this, [this, error] { emit hasError(error); }, Qt::QueuedConnection);
}

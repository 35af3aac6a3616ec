#include "Downloader.h"

#include "LogLine.h"
#include "NetworkRoute.h"
#include "Platform.h"
#include "SafeText.h"
#include "ToolOptions.h"

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
    userName = url.userName(QUrl::FullyDecoded);
    password = url.password(QUrl::FullyDecoded);
    pageUrl = url.adjusted(QUrl::RemoveUserInfo).toString();
    LOG_DEBUG << "checkURL" << ":" << "URL" << ":" << SafeText::address(url);
    return true;
}

void Downloader::stop()
{
    stop({});
}

void Downloader::stop(std::function<void()> afterwards)
{
    LOG_DEBUG << "stop" << ":" << "Ok";
    QPointer<ToolRun> *run = activeJob == AudioStep ? &extractRun : activeJob == FileStep ? &fileRun : nullptr;
    const std::function<void()> leftovers = activeJob == AudioStep ? extractionLeftovers(true)
                                            : activeJob == FileStep ? downloadLeftovers()
                                                                    : std::function<void()>();
    // The job is gone; a second stop() must find nothing to act on.
    activeJob = 0;
    const auto then = [leftovers, afterwards] {
        if (leftovers)
            leftovers();
        if (afterwards)
            afterwards();
    };
    if (run)
        endRun(*run, then);
    else
        then();
}

ToolRun *Downloader::launch(QPointer<ToolRun> &member, const QString &program, const QStringList &arguments,
                            ToolRun::Limits limits, ReadSlot onRead, EndSlot onEnd)
{
    endRun(member);
    auto *run = new ToolRun(program, arguments, limits, this);
    member = run;
    connect(run, &ToolRun::linesRead, this, onRead);
    connect(run, &ToolRun::finished, this, onEnd);
    return run;
}

ToolRun *Downloader::launchTool(QPointer<ToolRun> &member, const QStringList &arguments, ToolRun::Limits limits,
                                ReadSlot onRead, EndSlot onEnd)
{
    const ToolOptions::AddressRun options = ToolOptions::addressOptions(userName, password, cookieSource);
    QStringList full = options.arguments + arguments;
    if (item > 0)
        full = QStringList{QStringLiteral("--item"), QString::number(item)} + full;
    ToolRun *run = launch(member, toolPath, full, limits, onRead, onEnd);
    if (!options.folder.isEmpty())
        run->removeWhenDone(options.folder);
    return run;
}

QStringList Downloader::forLog(const QStringList &arguments) const
{
    QStringList shown = arguments;
    for (QString &argument : shown) {
        if (argument == pageUrl)
            argument = SafeText::address(QUrl(pageUrl));
    }
    return shown;
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
    else if (result.stalled)
        LOG_ERROR << operation << ":" << "no sign of life for ms" << ":" << ToolRun::silenceLimit();
    else
        LOG_ERROR << operation << ":" << "exitCode" << ":" << result.exitCode;
    if (result.started && !result.complaint.isEmpty())
        LOG_ERROR << operation << ":" << "tool said" << ":" << SafeText::line(result.complaint);
}

Downloader::errors Downloader::jobError(const ToolResult &result, errors otherwise)
{
    // An older tool ends some failures with a traceback and no "ERROR:" line.
    const QString said = result.errorLine.isEmpty() ? result.complaint : result.errorLine;
    lastToolLine = SafeText::line(said).left(ToolErrors::maxDetail);
    lastFromAddress = otherwise == TitleFailed || otherwise == FormatsFailed;
    if (result.stalled)
        return ToolStalled;
    if (result.diskFull)
        return DiskFull;
    return errorFor(ToolErrors::classify(said), otherwise);
}

Downloader::errors Downloader::errorFor(ToolFailure cause, errors otherwise)
{
    switch (cause) {
    case ToolFailure::Unknown: break;
    case ToolFailure::Forbidden: return Forbidden;
    case ToolFailure::NotFound: return NotFound;
    case ToolFailure::TooManyRequests: return TooManyRequests;
    case ToolFailure::Unsupported: return Unsupported;
    case ToolFailure::Unavailable: return Unavailable;
    case ToolFailure::SignIn: return SignIn;
    case ToolFailure::FormatMissing: return FormatMissing;
    case ToolFailure::NoJsRuntime: return NoJsRuntime;
    case ToolFailure::ToolTooOld: return ToolTooOld;
    // Through a proxy, the proxy is the first suspect.
    case ToolFailure::Network: return NetworkRoute::current().throughProxy() ? ProxyFailed : NetworkDown;
    case ToolFailure::DiskFull: return DiskFull;
    case ToolFailure::FfmpegMissing: return FfmpegMissing;
    case ToolFailure::NoCookies: return NoCookies;
    }
    return otherwise;
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
        // The container the tool chose, and the tracks of a merge, give
        // names of their own beside the target.
        const QFileInfo file(target);
        const QString stem = file.completeBaseName() + QLatin1Char('.');
        QStringList more;
        for (const QFileInfo &entry : file.dir().entryInfoList(QDir::Files | QDir::Hidden | QDir::System)) {
            if (entry.fileName().startsWith(stem) && !entry.isSymLink())
                more << entry.filePath();
        }
        removeFiles(more);
    };
}

std::function<void()> Downloader::extractionLeftovers(bool withSource)
{
    const QString target = extractArgs.value(extractArgs.size() - 1);
    QStringList names{target + QStringLiteral(".part")};
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
    lastToolLine.clear();
    lastFromAddress = false;
    QMetaObject::invokeMethod(this, [this, error] { emit hasError(error); }, Qt::QueuedConnection);
}

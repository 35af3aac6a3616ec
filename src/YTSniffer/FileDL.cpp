#include "Downloader.h"

#include "LogLine.h"

#include <QDir>
#include <QFileInfo>

void Downloader::requestFile(const QString &formatCode, const QString &targetFile, bool goOn)
{
    // A newer download replaces an older one, which leaves nothing behind.
    endRun(fileRun, downloadLeftovers());
    info->savedFile.clear();
    // The launcher passes the selector on as it stands: it is decided here.
    const QString selector = ToolOutput::selectorFor(formatCode);
    QStringList arguments = Finish::launcherArguments(finish);
    arguments << pageUrl << QStringLiteral("-o") << targetFile;
    if (!selector.isEmpty())
        arguments << QStringLiteral("--format") << selector;
    if (goOn)
        arguments << QStringLiteral("--continue");
    LOG_DEBUG << "requestFile" << ":" << "Download file" << ":" << forLog(arguments);
    // Never overwrite what is there: the window asks the user and removes
    // the old file first when the user agrees.
    if (QFileInfo::exists(targetFile)) {
        LOG_ERROR << "requestFile" << ":" << "target exists" << ":" << targetFile;
        activeJob = 0;
        emitLater(DownloadFailed);
        return;
    }
    // A code from a page or a command line: never an option of the tool,
    // never a name outside the folder.
    for (const QString &code : std::as_const(finish.subtitles)) {
        if (!Finish::isSafeLanguage(code)) {
            LOG_ERROR << "requestFile" << ":" << "not a language" << ":" << code.left(ToolOutput::maxCodeLength);
            activeJob = 0;
            emitLater(BadLanguage);
            return;
        }
    }
    if (!selector.isEmpty() && !ToolOutput::isSafeSelector(selector)) {
        LOG_ERROR << "requestFile" << ":" << "not a selector" << ":" << selector.left(ToolOutput::maxCodeLength);
        activeJob = 0;
        emitLater(DownloadFailed);
        return;
    }
    fileTarget = targetFile;
    reportedFile.clear();
    partFile = targetFile + QStringLiteral(".part");
    activeJob = FileStep;
    // A merge's tool fetches the video, then the audio.
    fileProgress = PartsProgress(selector.contains(QLatin1Char('+')) ? 2 : 1);
    ToolRun *run = launchTool(fileRun, arguments, {}, &Downloader::readFile, &Downloader::gotFile);
    // A tool quiet on its console may still be writing: a track, or the
    // merge of the tracks.
    run->watchFiles(QFileInfo(targetFile).dir().filePath(QFileInfo(targetFile).completeBaseName() + QLatin1Char('.')));
    run->start();
}

void Downloader::readFile(const QStringList &lines)
{
    // Lines without a figure ("Destination: ...") leave the bar where it is.
    if (const std::optional<ToolProgress> progress = ToolOutput::lastProgress(lines)) {
        emit percent(fileProgress.overall(*progress).percent);
        emit speed(progress->speed, progress->eta);
    }
    if (const QString saved = ToolOutput::savedFile(lines); !saved.isEmpty())
        reportedFile = saved;
}

QString Downloader::fileWritten() const
{
    // Only a file beside the target, named after it, counts: the line
    // comes from a foreign program.
    const QFileInfo target(fileTarget);
    const QFileInfo reported(reportedFile);
    if (!reportedFile.isEmpty() && reported.isFile() && !reported.isSymLink()
        && reported.absolutePath() == target.absolutePath()
        && reported.fileName().startsWith(target.completeBaseName() + QLatin1Char('.')))
        return reported.absoluteFilePath();
    return target.isFile() ? target.absoluteFilePath() : QString();
}

void Downloader::gotFile(const ToolResult &result)
{
    dropRun(fileRun);
    activeJob = 0;
    const QString written = fileWritten();
    if (!result.ok || written.isEmpty()) {
        if (result.ok)
            LOG_ERROR << "gotFile" << ":" << "no file" << ":" << fileTarget;
        else
            logFailure("gotFile", result);
        // Not resumable on purpose: a half file under any of these names
        // would pass for a finished download.
        if (const std::function<void()> remove = downloadLeftovers())
            remove();
        emit hasError(jobError(result, DownloadFailed));
        return;
    }
    info->savedFile = QDir::toNativeSeparators(written);
    fileTarget.clear();
    info->done.append(FileStep);
    emit haveFile();
    LOG_DEBUG << "gotFile" << ":" << "OK";
}

void Downloader::suspend()
{
    if (activeJob != FileStep)
        return;
    endRun(fileRun);
    fileTarget.clear();
    activeJob = 0;
}

#include "Downloader.h"

#include "LogLine.h"

#include <QFileInfo>

void Downloader::requestFile(int formatCode, const QString &targetFile)
{
    // A newer download replaces an older one, which leaves nothing behind.
    endRun(fileRun, downloadLeftovers());
    QStringList arguments{pageUrl, QStringLiteral("-o"), targetFile};
    if (formatCode > 0)
        arguments << QStringLiteral("--format") << QString::number(formatCode);
    LOG_DEBUG << "requestFile" << ":" << "Download file" << ":" << forLog(arguments);
    // Never overwrite what is there: the window asks the user and removes
    // the old file first when the user agrees.
    if (QFileInfo::exists(targetFile)) {
        LOG_ERROR << "requestFile" << ":" << "target exists" << ":" << targetFile;
        activeJob = 0;
        emitLater(DownloadFailed);
        return;
    }
    fileTarget = targetFile;
    partFile = targetFile + QStringLiteral(".part");
    activeJob = FileStep;
    ToolRun *run = launchTool(fileRun, arguments, {}, &Downloader::readFile, &Downloader::gotFile);
    // A tool quiet on its console may still be writing.
    run->watchFile(partFile);
    run->start();
}

void Downloader::readFile(const QStringList &lines)
{
    // Lines without a figure ("Destination: ...") leave the bar where it is.
    if (const std::optional<float> value = ToolOutput::lastProgress(lines))
        emit percent(*value);
}

void Downloader::gotFile(const ToolResult &result)
{
    dropRun(fileRun);
    activeJob = 0;
    if (!result.ok || !QFileInfo(fileTarget).isFile()) {
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
    fileTarget.clear();
    info->done.append(FileStep);
    emit haveFile();
    LOG_DEBUG << "gotFile" << ":" << "OK";
}

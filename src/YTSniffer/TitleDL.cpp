#include "Downloader.h"

#include "LogLine.h"

namespace {

// Only the first two lines matter; the cap keeps a runaway tool in check.
constexpr int maxTitleLines = 64;

} // namespace

void Downloader::requestTitle()
{
    LOG_DEBUG << "requestTitle" << ":" << "Get default title + duration";
    QProcess *process = newProcess(titleProcess, &Downloader::readTitle, &Downloader::gotTitle, TitleFailed);
    titleOutput.clear();
    const QStringList arguments{QStringLiteral("--get-title"), QStringLiteral("--get-duration"), pageUrl};
    LOG_DEBUG << "requestTitle" << ":" << "Start with arguments" << ":" << arguments;
    startProcess(process, toolPath, arguments);
}

void Downloader::readTitle()
{
    if (!titleProcess)
        return;
    const QByteArray chunk = titleProcess->readAllStandardOutput();
    if (!chunk.isEmpty())
        ToolOutput::appendBounded(titleOutput, ToolOutput::chunkLines(chunk), maxTitleLines);
}

void Downloader::gotTitle(int exitCode, QProcess::ExitStatus status)
{
    QProcess *process = titleProcess.data();
    if (!process)
        return;
    readTitle();
    if (status != QProcess::NormalExit || exitCode != 0) {
        LOG_ERROR << "gotTitle" << ":" << "exitCode" << ":" << exitCode;
        logToolComplaint(process, "gotTitle");
        titleProcess.clear();
        process->deleteLater();
        emit hasError(TitleFailed);
        return;
    }
    info->title = ToolOutput::cleanTitle(titleOutput.isEmpty() ? QStringLiteral("default") : titleOutput.first());
    info->duration = titleOutput.size() > 1 ? titleOutput.at(1) : QStringLiteral("0:00");
    info->done.append(TitleStep);
    titleProcess.clear();
    process->deleteLater();
    LOG_DEBUG << "gotTitle" << ":" << "OK";
    emit haveTitle();
}

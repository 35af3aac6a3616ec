#include "Downloader.h"

#include "LogLine.h"

namespace {

// Far more than any real listing; the cap keeps a runaway tool in check.
constexpr int maxFormatLines = 4096;

} // namespace

void Downloader::requestFormats()
{
    LOG_DEBUG << "requestFormats" << ":" << "Detect available formats";
    QProcess *process = newProcess(formatProcess, &Downloader::readFormats, &Downloader::gotFormats, FormatsFailed);
    formatOutput.clear();
    const QStringList arguments{QStringLiteral("--list-formats"), pageUrl};
    LOG_DEBUG << "requestFormats" << ":" << "Start with arguments" << ":" << arguments;
    startProcess(process, toolPath, arguments);
}

void Downloader::readFormats()
{
    if (!formatProcess)
        return;
    const QByteArray chunk = formatProcess->readAllStandardOutput();
    if (!chunk.isEmpty())
        ToolOutput::appendBounded(formatOutput, ToolOutput::chunkLines(chunk), maxFormatLines);
}

void Downloader::gotFormats(int exitCode, QProcess::ExitStatus status)
{
    QProcess *process = formatProcess.data();
    if (!process)
        return;
    readFormats();
    if (status != QProcess::NormalExit || exitCode != 0) {
        LOG_ERROR << "gotFormats" << ":" << "exitCode" << ":" << exitCode;
        logToolComplaint(process, "gotFormats");
        formatProcess.clear();
        process->deleteLater();
        // Without an answer the window would wait on its busy page for ever.
        emit hasError(FormatsFailed);
        return;
    }
    if (audioQualities.isEmpty())
        audioQualities = ToolOutput::audioQualityTable();
    info->formats.clear();
    for (const QString &line : std::as_const(formatOutput)) {
        const QStringList pieces = ToolOutput::formatLinePieces(line);
        if (pieces.isEmpty())
            continue;
        LOG_DEBUG << "gotFormats" << ":" << pieces;
        const FormatInfo format = ToolOutput::formatFromPieces(pieces, audioQualities);
        info->formats.insert(format.code, format);
    }
    info->done.append(FormatsStep);
    formatProcess.clear();
    process->deleteLater();
    LOG_DEBUG << "gotFormats" << ":" << "OK";
    emit haveFormats();
}

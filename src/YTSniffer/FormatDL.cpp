#include "Downloader.h"

#include "LogLine.h"

namespace {

// Far more than any real listing; the cap keeps a runaway tool in check.
constexpr int maxFormatLines = 4096;

} // namespace

void Downloader::requestFormats()
{
    LOG_DEBUG << "requestFormats" << ":" << "Detect available formats";
    const QStringList arguments{QStringLiteral("--list-formats"), pageUrl};
    LOG_DEBUG << "requestFormats" << ":" << "Start with arguments" << ":" << arguments;
    launch(formatRun, toolPath, arguments, maxFormatLines, &Downloader::readFormats, &Downloader::gotFormats);
}

void Downloader::readFormats(const QStringList &lines)
{
    LOG_DEBUG << "readFormats" << ":" << "lines" << ":" << int(lines.size());
}

void Downloader::gotFormats(const ToolResult &result)
{
    dropRun(formatRun);
    if (!result.ok) {
        logFailure("gotFormats", result);
        // Without an answer the window would wait on its busy page for ever.
        emit hasError(FormatsFailed);
        return;
    }
    if (audioQualities.isEmpty())
        audioQualities = ToolOutput::audioQualityTable();
    info->formats = ToolOutput::parseFormats(result.lines, audioQualities);
    for (const FormatInfo &format : std::as_const(info->formats))
        LOG_DEBUG << "gotFormats" << ":" << format.code << format.extension << format.resolution << format.best;
    info->done.append(FormatsStep);
    LOG_DEBUG << "gotFormats" << ":" << "OK";
    emit haveFormats();
}

#include "Downloader.h"

#include "LogLine.h"

namespace {

// Far more than any real listing; the cap keeps a runaway tool in check.
constexpr ToolRun::Limits listingLimits{4096, 1024 * 1024};

} // namespace

void Downloader::requestFormats()
{
    LOG_DEBUG << "requestFormats" << ":" << "Detect available formats";
    const QStringList arguments{QStringLiteral("--list-formats"), pageUrl};
    LOG_DEBUG << "requestFormats" << ":" << "Start with arguments" << ":" << forLog(arguments);
    launchTool(formatRun, arguments, listingLimits, &Downloader::readFormats, &Downloader::gotFormats)->start();
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
        emit hasError(jobError(result, FormatsFailed));
        return;
    }
    if (audioQualities.isEmpty())
        audioQualities = ToolOutput::audioQualityTable();
    const FormatListing listing = ToolOutput::parseFormats(result.lines, audioQualities);
    info->formats = listing.formats;
    info->subtitles = Finish::parseSubtitles(result.lines);
    if (listing.leftOut > 0 || result.linesLeftOut > 0)
        LOG_WARNING << "gotFormats" << ":" << "formats left out" << ":" << listing.leftOut << ":" << "lines left out"
                    << ":" << result.linesLeftOut;
    for (const FormatInfo &format : std::as_const(info->formats))
        LOG_DEBUG << "gotFormats" << ":" << format.code << format.extension << format.resolution << format.best;
    info->done.append(FormatsStep);
    LOG_DEBUG << "gotFormats" << ":" << "OK";
    emit haveFormats();
}

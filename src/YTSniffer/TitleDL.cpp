#include "Downloader.h"

#include "LogLine.h"

namespace {

// Only the first two lines matter; the cap keeps a runaway tool in check.
constexpr ToolRun::Limits titleLimits{64, 64 * 1024};

} // namespace

void Downloader::requestTitle()
{
    LOG_DEBUG << "requestTitle" << ":" << "Get default title + duration";
    const QStringList arguments{QStringLiteral("--get-title"), QStringLiteral("--get-duration"), pageUrl};
    LOG_DEBUG << "requestTitle" << ":" << "Start with arguments" << ":" << forLog(arguments);
    launchTool(titleRun, arguments, titleLimits, &Downloader::readTitle, &Downloader::gotTitle)->start();
}

void Downloader::readTitle(const QStringList &lines)
{
    LOG_DEBUG << "readTitle" << ":" << "lines" << ":" << int(lines.size());
}

void Downloader::gotTitle(const ToolResult &result)
{
    dropRun(titleRun);
    if (!result.ok) {
        logFailure("gotTitle", result);
        emit hasError(jobError(result, TitleFailed));
        return;
    }
    const TitleInfo answer = ToolOutput::parseTitle(result.lines);
    info->title = answer.title;
    info->duration = answer.duration;
    info->done.append(TitleStep);
    LOG_DEBUG << "gotTitle" << ":" << "OK";
    emit haveTitle();
}

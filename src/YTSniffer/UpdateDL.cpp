#include "Downloader.h"

#include "LogLine.h"
#include "Platform.h"

#include <QDir>
#include <QFileInfo>

namespace {

constexpr int maxUpdateLines = 1000;

} // namespace

void Downloader::checkUpdates()
{
    LOG_DEBUG << "checkUpdates" << ":" << "Check for updates";
    lastUpdate.reset();
    const QString script = QDir::toNativeSeparators(Platform::applicationFolder() + QStringLiteral("/update")
                                                    + scriptSuffix);
    if (!QFileInfo::exists(script)) {
        LOG_ERROR << "checkUpdates" << ":" << "no script" << ":" << script;
        emit hasError(UpdateFailed);
        return;
    }
    LOG_DEBUG << "checkUpdates" << ":" << "Start script" << ":" << script;
    launch(updateRun, script, {}, maxUpdateLines, &Downloader::readUpdate, &Downloader::gotUpdate);
}

void Downloader::readUpdate(const QStringList &lines)
{
    LOG_DEBUG << "readUpdate" << ":" << "lines" << ":" << int(lines.size());
}

void Downloader::gotUpdate(const ToolResult &result)
{
    dropRun(updateRun);
    if (!result.ok) {
        logFailure("gotUpdate", result);
        emit hasError(UpdateFailed);
        return;
    }
    LOG_DEBUG << "gotUpdate" << ":" << result.lines;
    lastUpdate = ToolOutput::parseUpdate(result.lines);
    if (!lastUpdate)
        LOG_ERROR << "gotUpdate" << ":" << "no result line";
    emit snifferUpdated();
}

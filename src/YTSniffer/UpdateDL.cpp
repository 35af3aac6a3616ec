#include "Downloader.h"

#include "LogLine.h"
#include "Platform.h"
#include "SafeText.h"

#include <QDir>
#include <QFileInfo>

namespace {

constexpr ToolRun::Limits updateLimits{1000, 256 * 1024};

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
    ToolRun *run = launch(updateRun, script, {}, updateLimits, &Downloader::readUpdate, &Downloader::gotUpdate);
    if (!releaseUrl.isEmpty())
        run->setVariable(QStringLiteral("VIDARRO_TOOL_RELEASE_URL"), releaseUrl);
    if (!runtimeReleaseUrl.isEmpty())
        run->setVariable(QStringLiteral("VIDARRO_DENO_RELEASE_URL"), runtimeReleaseUrl);
    run->start();
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
        // The script's reason is its last line.
        if (!result.lines.isEmpty())
            LOG_ERROR << "gotUpdate" << ":" << "script said" << ":" << SafeText::line(result.lines.constLast());
        emit hasError(UpdateFailed);
        return;
    }
    QStringList shown;
    for (const QString &line : result.lines)
        shown << SafeText::line(line);
    LOG_DEBUG << "gotUpdate" << ":" << shown;
    lastUpdate = ToolOutput::parseUpdate(result.lines);
    if (!lastUpdate)
        LOG_ERROR << "gotUpdate" << ":" << "no result line";
    emit snifferUpdated();
}

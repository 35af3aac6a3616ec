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
        updateFailed(QStringLiteral("no update script: ") + script);
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
        // The script's reason is its last line; a script that printed none
        // may still have said why on standard error.
        const QString said = result.lines.isEmpty() ? result.complaint : result.lines.constLast();
        if (!result.lines.isEmpty())
            LOG_ERROR << "gotUpdate" << ":" << "script said" << ":" << SafeText::line(said);
        updateFailed(said);
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

void Downloader::updateFailed(const QString &cause)
{
    // The box reads toolLine() when the error arrives: this update's words,
    // never those of an address that failed before.
    lastToolLine = SafeText::line(cause.trimmed()).left(ToolErrors::maxDetail);
    lastFromAddress = false;
    emit hasError(UpdateFailed);
}

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
    const QString script = QDir::toNativeSeparators(Platform::applicationFolder() + QStringLiteral("/update")
                                                    + scriptSuffix);
    if (!QFileInfo::exists(script)) {
        LOG_ERROR << "checkUpdates" << ":" << "no script" << ":" << script;
        emit hasError(UpdateFailed);
        return;
    }
    QProcess *process = newProcess(updateProcess, &Downloader::readUpdate, &Downloader::gotUpdate, UpdateFailed);
    updateOutput.clear();
    LOG_DEBUG << "checkUpdates" << ":" << "Start script" << ":" << script;
    startProcess(process, script, {});
}

void Downloader::readUpdate()
{
    if (!updateProcess)
        return;
    const QByteArray chunk = updateProcess->readAllStandardOutput();
    if (!chunk.isEmpty())
        ToolOutput::appendBounded(updateOutput, ToolOutput::chunkLines(chunk), maxUpdateLines);
}

void Downloader::gotUpdate(int exitCode, QProcess::ExitStatus status)
{
    QProcess *process = updateProcess.data();
    if (!process)
        return;
    readUpdate();
    updateProcess.clear();
    process->deleteLater();
    if (status != QProcess::NormalExit || exitCode != 0) {
        LOG_ERROR << "gotUpdate" << ":" << "exitCode" << ":" << exitCode;
        logToolComplaint(process, "gotUpdate");
        emit hasError(UpdateFailed);
        return;
    }
    LOG_DEBUG << "gotUpdate" << ":" << updateOutput;
    emit snifferUpdated();
}

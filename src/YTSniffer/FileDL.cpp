#include "Downloader.h"

#include "LogLine.h"

#include <QFile>
#include <QFileInfo>

void Downloader::requestFile(int formatCode, const QString &targetFile)
{
    QProcess *process = newProcess(fileProcess, &Downloader::readFile, &Downloader::gotFile, DownloadFailed);
    fileTarget = targetFile;
    partFile = targetFile + QStringLiteral(".part");
    QStringList arguments{pageUrl, QStringLiteral("-o"), targetFile};
    if (formatCode > 0)
        arguments << QStringLiteral("--format") << QString::number(formatCode);
    LOG_DEBUG << "requestFile" << ":" << "Download file" << ":" << arguments;
    activeJob = FileStep;
    // Never overwrite what is there: the window asks the user and removes
    // the old file first when the user agrees.
    if (QFileInfo::exists(targetFile)) {
        LOG_ERROR << "requestFile" << ":" << "target exists" << ":" << targetFile;
        fileProcess.clear();
        process->deleteLater();
        fileTarget.clear();
        activeJob = 0;
        emitLater(DownloadFailed);
        return;
    }
    startProcess(process, toolPath, arguments);
}

void Downloader::readFile()
{
    if (!fileProcess)
        return;
    const QByteArray chunk = fileProcess->readAllStandardOutput();
    if (!chunk.isEmpty())
        emit percent(ToolOutput::progressFromChunk(chunk));
}

void Downloader::gotFile(int exitCode, QProcess::ExitStatus status)
{
    QProcess *process = fileProcess.data();
    if (!process)
        return;
    readFile();
    fileProcess.clear();
    process->deleteLater();
    const bool exitedWell = status == QProcess::NormalExit && exitCode == 0;
    if (!exitedWell || !QFileInfo(fileTarget).isFile()) {
        if (exitedWell)
            LOG_ERROR << "gotFile" << ":" << "no file" << ":" << fileTarget;
        else
            LOG_ERROR << "gotFile" << ":" << "exitCode" << ":" << exitCode;
        logToolComplaint(process, "gotFile");
        removeDownloadLeftovers();
        activeJob = 0;
        emit hasError(DownloadFailed);
        return;
    }
    info->done.append(FileStep);
    activeJob = 0;
    emit haveFile();
    LOG_DEBUG << "gotFile" << ":" << "OK";
}

void Downloader::removeDownloadLeftovers()
{
    // Not resumable on purpose: a half file under any of these names would
    // pass for a finished download. The target itself is never older than
    // this job, since an existing target is refused before the start.
    if (fileTarget.isEmpty())
        return;
    for (const QString &name : {partFile, QString(fileTarget + QStringLiteral(".ytdl")), fileTarget}) {
        if (QFileInfo::exists(name) && !QFile::remove(name))
            LOG_ERROR << "removeDownloadLeftovers" << ":" << "cannot remove" << ":" << name;
    }
    fileTarget.clear();
}

#include "Downloader.h"

#include "LogLine.h"
#include "Platform.h"

#include <QFile>
#include <QFileInfo>

void Downloader::extractAudio(const QString &source, const QString &target)
{
    extractArgs.clear();
    extractArgs << QStringLiteral("-i");
    QProcess *process = newProcess(extractProcess, &Downloader::readAudioExtracting,
                                   &Downloader::doneAudioExtracting, ExtractFailed);
    const QString program = Platform::companionProgram(QStringLiteral("ffmpeg"));
    extractArgs << source << target;
    LOG_DEBUG << "extractAudio" << ":" << "Extracting audio" << ":" << extractArgs;
    activeJob = AudioStep;

    // Already the file asked for (an MP3 download): nothing to convert, and
    // removing the "source" afterwards would remove the result.
    const QFileInfo sourceInfo(source);
    if (sourceInfo.isFile() && sourceInfo.canonicalFilePath() == QFileInfo(target).canonicalFilePath()) {
        LOG_DEBUG << "extractAudio" << ":" << "already audio" << ":" << target;
        extractProcess.clear();
        process->deleteLater();
        activeJob = 0;
        info->done.append(AudioStep);
        QMetaObject::invokeMethod(this, &Downloader::doneExtractAudio, Qt::QueuedConnection);
        return;
    }
    // Never overwrite: the window asks the user and removes the old file first.
    if (QFileInfo::exists(target)) {
        LOG_ERROR << "extractAudio" << ":" << "target exists" << ":" << target;
        extractProcess.clear();
        process->deleteLater();
        activeJob = 0;
        emitLater(ExtractFailed);
        return;
    }
    // No prompt, and no overwrite even if a file appears meanwhile.
    QStringList arguments{QStringLiteral("-nostdin"), QStringLiteral("-n")};
    arguments << extractArgs;
    startProcess(process, program, arguments);
}

void Downloader::readAudioExtracting()
{
    if (!extractProcess)
        return;
    const QString text = ToolOutput::chunkText(extractProcess->readAllStandardOutput());
    if (!text.isEmpty())
        LOG_DEBUG << "readAudioExtracting" << ":" << text.left(ToolOutput::maxLineLength);
}

void Downloader::doneAudioExtracting(int exitCode, QProcess::ExitStatus status)
{
    QProcess *process = extractProcess.data();
    if (!process)
        return;
    readAudioExtracting();
    extractProcess.clear();
    process->deleteLater();
    activeJob = 0;
    const QString source = extractArgs.value(extractArgs.size() - 2);
    const QString target = extractArgs.value(extractArgs.size() - 1);
    if (status != QProcess::NormalExit || exitCode != 0) {
        // A half-written MP3 would pass for a finished one; the target did
        // not exist when the run began, so any file there is this run's.
        QFile::remove(target);
        emit hasError(ExtractFailed);
        LOG_ERROR << "doneAudioExtracting" << ":" << "exitCode" << ":" << exitCode;
        logToolComplaint(process, "doneAudioExtracting");
        return;
    }
    if (!QFileInfo::exists(target)) {
        LOG_ERROR << "doneAudioExtracting" << ":" << "no audio file";
        emit hasError(NoAudioFile);
        return;
    }
    LOG_DEBUG << "doneAudioExtracting" << ":" << "file exists";
    if (!QFile::remove(source)) {
        LOG_ERROR << "doneAudioExtracting" << ":" << "cannot remove";
        LOG_ERROR << "doneAudioExtracting" << ":" << "file" << ":" << source;
        emit hasError(SourceNotRemoved);
        return;
    }
    info->done.append(AudioStep);
    LOG_DEBUG << "doneAudioExtracting" << ":" << "OK";
    emit doneExtractAudio();
}

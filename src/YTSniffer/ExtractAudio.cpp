#include "Downloader.h"

#include "LogLine.h"
#include "Platform.h"

#include <QFile>
#include <QFileInfo>

namespace {

constexpr qsizetype maxLoggedOutput = 512;

} // namespace

void Downloader::extractAudio(const QString &source, const QString &target)
{
    // A newer extraction replaces an older one; its half-written target goes.
    if (extractRun)
        endRun(extractRun, extractionLeftovers(false));
    extractArgs = QStringList{QStringLiteral("-i"), source, target};
    const QString program = Platform::companionProgram(QStringLiteral("ffmpeg"));
    LOG_DEBUG << "extractAudio" << ":" << "Extracting audio" << ":" << extractArgs;

    // Already the file asked for (an MP3 download): nothing to convert, and
    // removing the "source" afterwards would remove the result.
    const QFileInfo sourceInfo(source);
    if (sourceInfo.isFile() && sourceInfo.canonicalFilePath() == QFileInfo(target).canonicalFilePath()) {
        LOG_DEBUG << "extractAudio" << ":" << "already audio" << ":" << target;
        activeJob = 0;
        info->done.append(AudioStep);
        QMetaObject::invokeMethod(this, &Downloader::doneExtractAudio, Qt::QueuedConnection);
        return;
    }
    // Never overwrite: the window asks the user and removes the old file first.
    if (QFileInfo::exists(target)) {
        LOG_ERROR << "extractAudio" << ":" << "target exists" << ":" << target;
        activeJob = 0;
        emitLater(ExtractFailed);
        return;
    }
    activeJob = AudioStep;
    // No prompt, and no overwrite even if a file appears meanwhile.
    const QStringList arguments = QStringList{QStringLiteral("-nostdin"), QStringLiteral("-n")} + extractArgs;
    launch(extractRun, program, arguments, 0, &Downloader::readAudioExtracting, &Downloader::doneAudioExtracting);
}

void Downloader::readAudioExtracting(const QStringList &lines)
{
    const QString text = lines.join(QLatin1Char(' ')).trimmed();
    if (!text.isEmpty())
        LOG_DEBUG << "readAudioExtracting" << ":" << text.left(maxLoggedOutput);
}

void Downloader::doneAudioExtracting(const ToolResult &result)
{
    dropRun(extractRun);
    activeJob = 0;
    const QString source = extractArgs.value(extractArgs.size() - 2);
    const QString target = extractArgs.value(extractArgs.size() - 1);
    if (!result.ok) {
        // A half-written MP3 would pass for a finished one; the target did
        // not exist when the run began, so any file there is this run's.
        QFile::remove(target);
        emit hasError(ExtractFailed);
        logFailure("doneAudioExtracting", result);
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

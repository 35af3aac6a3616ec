#include "Downloader.h"

#include "LogLine.h"
#include "Platform.h"
#include "SafeText.h"

#include <QFile>
#include <QFileInfo>

namespace {

constexpr qsizetype maxLoggedOutput = 512;

QString partOf(const QString &target)
{
    return target + QStringLiteral(".part");
}

} // namespace

void Downloader::extractAudio(const QString &source, const QString &target, const QString &cover)
{
    // A newer extraction replaces an older one; its partial file goes.
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
        if (QFileInfo(cover).isFile())
            QFile::remove(cover);
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
    // The result is written beside the target and renamed on success, so
    // that a file under the final name is always whole. "-f" names the
    // container, since ".part" says nothing of it.
    const QString suffix = QFileInfo(target).suffix().toLower();
    const QString container = ToolOutput::isSafeExtension(suffix) ? suffix : QStringLiteral("mp3");
    QFile::remove(partOf(target));
    // No prompt, and no overwrite even if a file appears meanwhile.
    QStringList arguments{QStringLiteral("-nostdin"), QStringLiteral("-n"), QStringLiteral("-i"), source};
    extractCover = QFileInfo(cover).isFile() && !QFileInfo(cover).isSymLink() ? cover : QString();
    if (!extractCover.isEmpty()) {
        // The sound of the source and the picture as its front cover; the
        // tags of the source come along as they do without one.
        arguments << QStringLiteral("-i") << extractCover << QStringLiteral("-map") << QStringLiteral("0:a:0")
                  << QStringLiteral("-map") << QStringLiteral("1:v:0") << QStringLiteral("-c:v") << QStringLiteral("copy")
                  << QStringLiteral("-disposition:v:0") << QStringLiteral("attached_pic")
                  << QStringLiteral("-metadata:s:v:0") << QStringLiteral("comment=Cover (front)")
                  << QStringLiteral("-id3v2_version") << QStringLiteral("3");
    }
    arguments << QStringLiteral("-f") << container << partOf(target);
    ToolRun *run = launch(extractRun, program, arguments, {}, &Downloader::readAudioExtracting,
                          &Downloader::doneAudioExtracting);
    run->watchFiles(partOf(target));
    run->start();
}

void Downloader::readAudioExtracting(const QStringList &lines)
{
    const QString text = lines.join(QLatin1Char(' ')).trimmed();
    if (!text.isEmpty())
        LOG_DEBUG << "readAudioExtracting" << ":" << SafeText::line(text.left(maxLoggedOutput));
}

void Downloader::doneAudioExtracting(const ToolResult &result)
{
    dropRun(extractRun);
    activeJob = 0;
    const QString source = extractArgs.value(extractArgs.size() - 2);
    const QString target = extractArgs.value(extractArgs.size() - 1);
    if (!result.ok) {
        QFile::remove(partOf(target));
        emit hasError(jobError(result, ExtractFailed));
        logFailure("doneAudioExtracting", result);
        return;
    }
    if (QFileInfo(partOf(target)).size() <= 0) {
        QFile::remove(partOf(target));
        LOG_ERROR << "doneAudioExtracting" << ":" << "no audio file";
        lastToolLine.clear();
        lastFromAddress = false;
        emit hasError(NoAudioFile);
        return;
    }
    // QFile::rename never replaces a file that appeared meanwhile.
    if (!QFile::rename(partOf(target), target)) {
        LOG_ERROR << "doneAudioExtracting" << ":" << "cannot rename" << ":" << target;
        QFile::remove(partOf(target));
        lastToolLine.clear();
        lastFromAddress = false;
        emit hasError(ExtractFailed);
        return;
    }
    LOG_DEBUG << "doneAudioExtracting" << ":" << "file exists";
    if (!QFile::remove(source)) {
        LOG_ERROR << "doneAudioExtracting" << ":" << "cannot remove";
        LOG_ERROR << "doneAudioExtracting" << ":" << "file" << ":" << source;
        lastToolLine.clear();
        lastFromAddress = false;
        emit hasError(SourceNotRemoved);
        return;
    }
    if (!extractCover.isEmpty() && !QFile::remove(extractCover))
        LOG_ERROR << "doneAudioExtracting" << ":" << "cannot remove the cover" << ":" << extractCover;
    info->done.append(AudioStep);
    LOG_DEBUG << "doneAudioExtracting" << ":" << "OK";
    emit doneExtractAudio();
}

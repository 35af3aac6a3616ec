#include "Downloader.h"

#include "LogLine.h"
#include "Platform.h"
#include "SafeText.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

constexpr qsizetype maxLoggedOutput = 512;

QString partOf(const QString &target)
{
    return target + QStringLiteral(".part");
}

// The bit rates an MP3 may have, in kbit/s.
constexpr int mp3Rates[] = {32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};

} // namespace

AudioProbe AudioProbe::read(const ToolResult &result)
{
    AudioProbe probe;
    // Read, and found to be no media at all: a text, a page.
    if (!result.ok && result.started && result.complaint.contains(QLatin1String("Invalid data found when processing input"))) {
        probe.readable = true;
        return probe;
    }
    if (!result.ok)
        return probe;
    const QJsonObject answer = QJsonDocument::fromJson(result.lines.join(QLatin1Char('\n')).toUtf8()).object();
    if (!answer.contains(QLatin1String("format")))
        return probe;
    probe.readable = true;
    const QJsonArray streams = answer.value(QLatin1String("streams")).toArray();
    const QJsonObject format = answer.value(QLatin1String("format")).toObject();
    for (const QJsonValue &stream : streams) {
        if (stream[QLatin1String("codec_type")].toString() != QLatin1String("audio") || probe.hasAudio)
            continue;
        probe.hasAudio = true;
        probe.mp3 = stream[QLatin1String("codec_name")].toString() == QLatin1String("mp3")
                    && format.value(QLatin1String("format_name")).toString() == QLatin1String("mp3");
        // A file of one stream says its rate in the format when the stream does not.
        QString rate = stream[QLatin1String("bit_rate")].toString();
        if (rate.isEmpty() && streams.size() == 1)
            rate = format.value(QLatin1String("bit_rate")).toString();
        probe.kbps = int((rate.toLongLong() + 999) / 1000);
    }
    return probe;
}

QStringList AudioProbe::qualityArguments() const
{
    // Never below the source: the next MP3 rate up from its own, 128 at least;
    // the encoder's best variable rate when the source does not say.
    if (kbps <= 0)
        return {QStringLiteral("-q:a"), QStringLiteral("0")};
    int chosen = 320;
    for (const int rate : mp3Rates) {
        if (rate >= qMax(kbps, 128)) {
            chosen = rate;
            break;
        }
    }
    return {QStringLiteral("-b:a"), QString::number(chosen) + QLatin1Char('k')};
}

void Downloader::extractAudio(const QString &source, const QString &target, const QString &cover)
{
    // A newer extraction replaces an older one; its partial file goes.
    if (extractRun)
        endRun(extractRun, extractionLeftovers(false));
    extractArgs = QStringList{QStringLiteral("-i"), source, target};
    LOG_DEBUG << "extractAudio" << ":" << "Extracting audio" << ":" << extractArgs;

    // The picture for the MP3's cover, when the job has one; it goes when the step ends.
    extractCover = QFileInfo(cover).isFile() && !QFileInfo(cover).isSymLink() ? cover : QString();
    // Never overwrite: the window asks the user and removes the old file first.
    // The source itself may be the target: an MP3 download, or a sniffed save.
    const QFileInfo sourceInfo(source);
    const bool sameFile = sourceInfo.isFile() && sourceInfo.canonicalFilePath() == QFileInfo(target).canonicalFilePath();
    if (QFileInfo::exists(target) && !sameFile) {
        LOG_ERROR << "extractAudio" << ":" << "target exists" << ":" << target;
        activeJob = 0;
        emitLater(ExtractFailed);
        return;
    }
    activeJob = AudioStep;
    // What the source holds decides: MP3 is kept as it came, other sound
    // converted, no sound at all is a failure of its own.
    const QStringList arguments{QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-show_entries"),
                                QStringLiteral("format=format_name,bit_rate:stream=codec_type,codec_name,bit_rate"),
                                QStringLiteral("-of"), QStringLiteral("json"), source};
    launch(extractRun, Platform::companionProgram(QStringLiteral("ffprobe")), arguments, {400, 64 * 1024},
           &Downloader::readAudioExtracting, &Downloader::probedAudio)->start();
}

void Downloader::probedAudio(const ToolResult &result)
{
    dropRun(extractRun);
    const QString source = extractArgs.value(1);
    const QString target = extractArgs.value(2);
    const QFileInfo sourceInfo(source);
    const bool sameFile = sourceInfo.isFile() && sourceInfo.canonicalFilePath() == QFileInfo(target).canonicalFilePath();
    const AudioProbe probe = AudioProbe::read(result);
    LOG_DEBUG << "probedAudio" << ":" << "readable" << probe.readable << "audio" << probe.hasAudio << "mp3" << probe.mp3
              << "kbit/s" << probe.kbps;
    if (probe.readable && !probe.hasAudio) {
        // Nothing of it is what was asked for.
        activeJob = 0;
        LOG_ERROR << "probedAudio" << ":" << "no sound in" << ":" << source;
        if (!sameFile && !QFile::remove(source))
            LOG_ERROR << "probedAudio" << ":" << "cannot remove" << ":" << source;
        emitLater(NotAudio);
        return;
    }
    // Already MP3, or a file that cannot be read as anything else: kept as it came.
    if (probe.mp3 || (sameFile && !probe.readable)) {
        activeJob = 0;
        // QFile::rename never replaces a file that appeared meanwhile.
        if (!sameFile && !QFile::rename(source, target)) {
            LOG_ERROR << "probedAudio" << ":" << "cannot rename" << ":" << target;
            emitLater(ExtractFailed);
            return;
        }
        LOG_DEBUG << "probedAudio" << ":" << "already MP3" << ":" << target;
        if (!extractCover.isEmpty())
            QFile::remove(extractCover);
        info->done.append(AudioStep);
        emit doneExtractAudio();
        return;
    }
    convertAudio(probe);
}

void Downloader::convertAudio(const AudioProbe &probe)
{
    const QString source = extractArgs.value(1);
    const QString target = extractArgs.value(2);
    // The result is written beside the target and renamed on success, so
    // that a file under the final name is always whole. "-f" names the
    // container, since ".part" says nothing of it.
    const QString suffix = QFileInfo(target).suffix().toLower();
    const QString container = ToolOutput::isSafeExtension(suffix) ? suffix : QStringLiteral("mp3");
    QFile::remove(partOf(target));
    // No prompt, and no overwrite even if a file appears meanwhile.
    QStringList arguments{QStringLiteral("-nostdin"), QStringLiteral("-n"), QStringLiteral("-i"), source};
    if (!extractCover.isEmpty()) {
        // The sound of the source and the picture as its front cover; the
        // tags of the source come along as they do without one.
        arguments << QStringLiteral("-i") << extractCover << QStringLiteral("-map") << QStringLiteral("0:a:0")
                  << QStringLiteral("-map") << QStringLiteral("1:v:0") << QStringLiteral("-c:v") << QStringLiteral("copy")
                  << QStringLiteral("-disposition:v:0") << QStringLiteral("attached_pic")
                  << QStringLiteral("-metadata:s:v:0") << QStringLiteral("comment=Cover (front)")
                  << QStringLiteral("-id3v2_version") << QStringLiteral("3");
    } else {
        // The sound alone: a picture track of the source is no cover.
        arguments << QStringLiteral("-vn");
    }
    arguments << probe.qualityArguments() << QStringLiteral("-f") << container << partOf(target);
    ToolRun *run = launch(extractRun, Platform::companionProgram(QStringLiteral("ffmpeg")), arguments, {},
                          &Downloader::readAudioExtracting, &Downloader::doneAudioExtracting);
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
    // A source under the target's own name makes way for its MP3.
    const bool sameFile = QFileInfo(source).canonicalFilePath() == QFileInfo(target).canonicalFilePath();
    if (sameFile)
        QFile::remove(source);
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
    if (!sameFile && !QFile::remove(source)) {
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

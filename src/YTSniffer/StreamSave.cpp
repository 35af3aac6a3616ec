#include "StreamSave.h"

#include "LogLine.h"
#include "SafeText.h"
#include "RequestHeaders.h"
#include "ToolOutput.h"
#include "ToolRun.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>
#include <QTimer>

#include <optional>


namespace {

// Read the way a POSIX shell reads words: single quotes, each quote as '"'"'.
QByteArray quotedWord(const QByteArray &value)
{
    return '\'' + QByteArray(value).replace('\'', "'\"'\"'") + '\'';
}

QString partPath(const QString &target)
{
    return target + QStringLiteral(".part");
}

// The recording remuxed, before it takes the final name.
QString finishedPath(const QString &target)
{
    return partPath(target) + QStringLiteral(".final");
}

// What the tool recorded: "TARGET.part" for one stream, "TARGET.part.mp4"
// when its ffmpeg merged a video and an audio playlist; the largest if both.
QFileInfo recording(const QString &target)
{
    const QFileInfo file(target);
    QFileInfo largest;
    for (const QFileInfo &part :
         QDir(file.absolutePath()).entryInfoList({file.fileName() + QStringLiteral(".part*")}, QDir::Files)) {
        if (part.absoluteFilePath() != QFileInfo(finishedPath(target)).absoluteFilePath()
            && (!largest.isFile() || part.size() > largest.size()))
            largest = part;
    }
    return largest;
}

StreamSave::Result failed(const QString &error)
{
    StreamSave::Result result;
    result.error = error;
    return result;
}

StreamSave::Result canceled()
{
    StreamSave::Result result;
    result.canceled = true;
    return result;
}

StreamSave::Result kept(const QString &cutShort = {})
{
    StreamSave::Result result;
    result.ok = true;
    result.cutShort = cutShort;
    return result;
}

// A finished file put in place under the target's name: as for any row, a
// file of that name is replaced, and only by a complete one. The reason when
// it could not be.
std::optional<QString> putInPlace(const QString &file, const QString &target)
{
    if (QFileInfo::exists(target) && !QFile::remove(target))
        return QStringLiteral("cannot replace %1").arg(target);
    if (!QFile::rename(file, target))
        return QStringLiteral("cannot rename %1").arg(file);
    return std::nullopt;
}

} // namespace

StreamSave::StreamSave(QObject *parent) : QObject(parent) {}

StreamSave::~StreamSave()
{
    if (isRunning()) {
        m_done = true;
        m_run->end([target = m_request.target] { removeLeftovers(target); });
    }
}

QByteArray StreamSave::headerOptions(const QByteArray &requestHeader)
{
    QByteArray text = "# coding: utf-8\n";
    for (const RequestHeaders::Field &field : RequestHeaders::parse(requestHeader).fields)
        text += "--add-header " + quotedWord(field.name + ':' + field.value) + '\n';
    return text;
}

QStringList StreamSave::arguments(const Request &request, bool live)
{
    // A live stream goes through ffmpeg, the tool's only recorder, as
    // MPEG-TS whatever the stream (the last "-f" wins): a file that reads
    // back however the recording ends, even when ffmpeg dies on the way out.
    const QStringList recorder{QStringLiteral("--downloader"), QStringLiteral("ffmpeg"),
                               QStringLiteral("--hls-use-mpegts"), QStringLiteral("--downloader-args"),
                               QStringLiteral("ffmpeg_o:-f mpegts")};
    // The tool's own merge of video and audio; its parts beside the target,
    // named after "TARGET.part" so that a cancel finds them all.
    const QStringList common{QStringLiteral("--ignore-config"), QStringLiteral("--no-cache-dir"), QStringLiteral("--no-playlist"),
                             QStringLiteral("--newline"), QStringLiteral("--quiet"), QStringLiteral("--progress"),
                             QStringLiteral("--no-continue"), QStringLiteral("--no-part"), QStringLiteral("--socket-timeout"),
                             QStringLiteral("30"), QStringLiteral("--progress-template"), ToolOutput::amountsTemplate(),
                             QStringLiteral("--merge-output-format"), QStringLiteral("mp4"), QStringLiteral("--print"),
                             QStringLiteral("after_move:[saved] %(filepath)s"), QStringLiteral("--format"),
                             request.selector, QStringLiteral("-o"),
                             partPath(request.target).replace(QLatin1Char('%'), QStringLiteral("%%")), QStringLiteral("--"), request.address.toString(QUrl::FullyEncoded)};
    return live ? recorder + common : common;
}

void StreamSave::start(const Request &request)
{
    m_live = false;
    launch(request);
}

void StreamSave::record(const Request &request, const QString &remuxer)
{
    m_live = true;
    m_remuxer = remuxer;
    launch(request);
}

void StreamSave::launch(const Request &request)
{
    m_request = request;
    m_saved.clear();
    m_progress = PartsProgress(request.selector.contains(QLatin1Char('+')) ? 2 : 1);
    m_canceled = false;
    m_stopping = false;
    m_done = false;
    m_cutShort.clear();
    m_recordingSince.invalidate();
    QTemporaryFile config(QDir::tempPath() + QStringLiteral("/vidarro-XXXXXX.conf"));
    config.setAutoRemove(false);
    if (!config.open() || !config.setPermissions(QFile::ReadOwner | QFile::WriteOwner)
        || config.write(headerOptions(request.requestHeader)) < 0 || !config.flush()) {
        config.remove();
        QTimer::singleShot(0, this, [this] { finish(failed(QStringLiteral("cannot write the tool's options"))); });
        return;
    }
    config.close();
    const QStringList args = arguments(request, m_live);
    LOG_DEBUG << "StreamSave" << ":" << SafeText::address(request.address) << ":" << request.selector
              << ":" << request.target;
    m_run = new ToolRun(request.tool, QStringList{QStringLiteral("--config-locations"), config.fileName()} + args,
                        {200, 64 * 1024}, this);
    m_run->removeWhenDone(config.fileName());
    m_run->watchFiles(partPath(request.target));
    connect(m_run, &ToolRun::linesRead, this, &StreamSave::readLines);
    connect(m_run, &ToolRun::finished, this, &StreamSave::ended);
    m_run->start();
    if (m_live) {
        if (!m_meter) {
            m_meter = new QTimer(this);
            connect(m_meter, &QTimer::timeout, this, &StreamSave::measureRecording);
        }
        m_meter->start(250);
    }
}

bool StreamSave::isRunning() const
{
    return m_run && m_run->isRunning();
}

void StreamSave::cancel()
{
    if (m_done)
        return;
    m_canceled = true;
    if (!m_run) {
        finish(canceled());
        return;
    }
    // The answer waits for the group to be gone; this object may not.
    m_run->end([self = QPointer<StreamSave>(this), target = m_request.target] {
        if (self)
            self->finish(canceled());
        else
            removeLeftovers(target);
    });
}

void StreamSave::stop()
{
    if (!m_live) {
        cancel();
        return;
    }
    if (m_done || m_stopping)
        return;
    m_stopping = true;
    // As at a terminal's Ctrl+C: the tool has its ffmpeg close the file.
    if (!m_run || !m_run->interrupt())
        return;
    QTimer::singleShot(stopGraceMs, m_run, [this] {
        if (isRunning())
            m_run->end([self = QPointer<StreamSave>(this), target = m_request.target] {
                if (self)
                    self->keepRecording(false, QStringLiteral("the tool did not stop in time"));
                else
                    removeLeftovers(target);
            });
    });
}

void StreamSave::measureRecording()
{
    const QFileInfo part = recording(m_request.target);
    if (!part.exists() || !isRunning())
        return;
    if (!m_recordingSince.isValid())
        m_recordingSince.start();
    emit recorded(m_recordingSince.elapsed() / 1000, (unsigned long long)part.size());
}

void StreamSave::readLines(const QStringList &lines)
{
    for (const QString &text : lines) {
        if (text.startsWith(QLatin1String("[saved] "))) {
            m_saved = text.mid(8);
            continue;
        }
        const std::optional<ToolProgress> line = ToolOutput::progressWithAmounts(text);
        if (!line)
            continue;
        // The video, then the audio: one bar, amounts added up.
        const ToolProgress step = m_progress.overall(*line);
        const bool sizeKnown = step.total && *step.total > 0;
        emit progress(step.done.value_or(0), sizeKnown, step.total.value_or(0), int(step.percent));
    }
}

void StreamSave::ended(const ToolResult &result)
{
    if (m_canceled)
        return;
    if (m_live) {
        keepRecording(result.ok, result.errorLine.isEmpty() ? result.complaint : result.errorLine);
        return;
    }
    // The tool names the merged file itself ("TARGET.part.mp4"); only a
    // file of ours beside the target is taken.
    const QString part = m_saved;
    const QFileInfo saved(part);
    const QFileInfo target(m_request.target);
    const bool ours = saved.isFile() && saved.absolutePath() == target.absolutePath()
                      && saved.fileName().startsWith(target.fileName() + QStringLiteral(".part"));
    if (!result.ok || !ours) {
        finish(failed(result.ok ? QStringLiteral("the tool wrote no file")
                                : QStringLiteral("the tool ended with code %1: %2").arg(result.exitCode).arg(result.complaint)));
        return;
    }
    if (const std::optional<QString> why = putInPlace(part, m_request.target)) {
        finish(failed(*why));
        return;
    }
    finish(kept());
}

void StreamSave::keepRecording(bool toolOk, const QString &why)
{
    if (m_done || m_canceled)
        return;
    if (m_meter)
        m_meter->stop();
    const QFileInfo part = recording(m_request.target);
    if (!part.isFile() || part.size() == 0) {
        // Stopped before anything came: as a cancel.
        if (m_stopping)
            finish(canceled());
        else
            finish(failed(QStringLiteral("the recording wrote nothing: %1").arg(why)));
        return;
    }
    if (!toolOk && !m_stopping)
        m_cutShort = why.isEmpty() ? QStringLiteral("the tool ended with an error") : why;
    // From here on a stop has nothing more to end.
    m_stopping = true;
    if (m_run)
        m_run->deleteLater();
    // The stream copied as it is into a container every player reads.
    m_run = new ToolRun(m_remuxer,
                        {QStringLiteral("-nostdin"), QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-y"),
                         QStringLiteral("-i"), QStringLiteral("file:") + part.absoluteFilePath(), QStringLiteral("-map"),
                         QStringLiteral("0:v?"), QStringLiteral("-map"), QStringLiteral("0:a?"), QStringLiteral("-c"),
                         QStringLiteral("copy"), QStringLiteral("-f"), QStringLiteral("mp4"),
                         QStringLiteral("file:") + finishedPath(m_request.target)},
                        {20, 4096}, this);
    m_run->watchFiles(finishedPath(m_request.target));
    connect(m_run, &ToolRun::finished, this, &StreamSave::remuxed);
    m_run->start();
}

void StreamSave::remuxed(const ToolResult &result)
{
    if (m_canceled)
        return;
    const QString finished = finishedPath(m_request.target);
    if (!result.ok || QFileInfo(finished).size() <= 0) {
        finish(failed(QStringLiteral("the recording could not be finished: %1").arg(result.complaint)));
        return;
    }
    if (const std::optional<QString> why = putInPlace(finished, m_request.target)) {
        finish(failed(*why));
        return;
    }
    removeLeftovers(m_request.target);
    finish(kept(m_cutShort));
}

void StreamSave::finish(Result result)
{
    if (m_done)
        return;
    m_done = true;
    if (m_meter)
        m_meter->stop();
    if (!result.ok)
        removeLeftovers(m_request.target);
    if (result.ok)
        LOG_DEBUG << "StreamSave" << ":" << "OK" << ":" << m_request.target << ":" << result.cutShort;
    else if (!result.canceled)
        LOG_ERROR << "StreamSave" << ":" << result.error;
    emit finished(result);
}

void StreamSave::removeLeftovers(const QString &targetPath)
{
    const QFileInfo target(targetPath);
    // The part file and the tool's own pieces ("TARGET.part.f1.mp4", "….ytdl", fragments).
    for (const QFileInfo &file :
         QDir(target.absolutePath()).entryInfoList({target.fileName() + QStringLiteral(".part*")}, QDir::Files)) {
        if (!QFile::remove(file.absoluteFilePath()))
            LOG_ERROR << "StreamSave" << ":" << "cannot remove" << ":" << file.absoluteFilePath();
    }
}

#include "StreamSave.h"

#include "LogLine.h"
#include "NetworkRoute.h"
#include "SafeText.h"
#include "ToolHeaders.h"
#include "ToolOptions.h"
#include "ToolOutput.h"
#include "ToolRun.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include <optional>


namespace {

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

std::optional<QString> StreamSave::writeOptions(const Request &request, const QString &folder)
{
    const ToolHeaders headers = ToolHeaders::from(request.requestHeader, request.address, request.oneOrigin);
    for (const QByteArray &name : headers.dropped)
        LOG_WARNING << "StreamSave" << ":" << "header left out" << ":" << name.left(100);
    m_heldBack = headers.heldBack;
    m_scopedCookies.clear();
    QByteArray options = "# coding: utf-8\n" + headers.options + ToolOptions::routeLines(NetworkRoute::current());
    const QString cookies = folder + QStringLiteral("/cookies.txt");
    if (!headers.cookieFile.isEmpty()) {
        if (!ToolOptions::writePrivateFile(cookies, headers.cookieFile))
            return cookies;
        // Sent to every host the tool asks when the manifest names no other;
        // else only a tool that keeps each cookie to its host may have them.
        if (request.oneOrigin)
            options += "--cookies " + ToolOptions::quotedWord(QFile::encodeName(cookies)) + '\n';
        else
            m_scopedCookies = cookies;
    }
    // The address may carry a password or a token: in a file, as the tool's only address.
    const QString address = folder + QStringLiteral("/address.txt");
    if (!ToolOptions::writePrivateFile(address, QByteArray(request.address.toString(QUrl::FullyEncoded).toUtf8() + '\n')))
        return address;
    options += "--batch-file " + ToolOptions::quotedWord(QFile::encodeName(address)) + '\n';
    const QString file = folder + QStringLiteral("/options.conf");
    if (!ToolOptions::writePrivateFile(file, options))
        return file;
    return std::nullopt;
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
                             partPath(request.target).replace(QLatin1Char('%'), QStringLiteral("%%"))};
    // A segment that does not come fails the save: a file with a hole is not a saved stream.
    return live ? recorder + common : QStringList{QStringLiteral("--abort-on-unavailable-fragments")} + common;
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
    const QString folder = ToolOptions::makePrivateFolder();
    const std::optional<QString> unwritten = folder.isEmpty() ? std::optional<QString>(QDir::tempPath())
                                                              : writeOptions(request, folder);
    if (unwritten) {
        if (!folder.isEmpty())
            QDir(folder).removeRecursively();
        QTimer::singleShot(0, this, [this, unwritten] {
            finish(failed(QStringLiteral("cannot write the tool's options in %1").arg(*unwritten)));
        });
        return;
    }
    const QStringList args = arguments(request, m_live);
    LOG_DEBUG << "StreamSave" << ":" << SafeText::address(request.address) << ":" << request.selector
              << ":" << request.target;
    QStringList launcher{QStringLiteral("--config-locations"), folder + QStringLiteral("/options.conf")};
    if (!m_scopedCookies.isEmpty())
        launcher << QStringLiteral("--scoped-cookies") << m_scopedCookies;
    m_run = new ToolRun(request.tool, launcher + args,
                        {200, 64 * 1024}, this);
    m_run->removeWhenDone(folder);
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
        if (text == QLatin1String("[cookies] left out")) {
            m_heldBack.append("Cookie");
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
        finish(failed(result.ok ? QStringLiteral("the tool wrote no file") : toolFailure(result)));
        return;
    }
    if (const std::optional<QString> why = putInPlace(part, m_request.target)) {
        finish(failed(*why));
        return;
    }
    finish(kept());
}

QString StreamSave::toolFailure(const ToolResult &result) const
{
    QString text = QStringLiteral("the tool ended with code %1: %2").arg(result.exitCode).arg(result.complaint);
    // Refused for want of a sign-in the browser had: say which header stayed behind, and why.
    const QString said = result.lastWords.join(QLatin1Char('\n'));
    if (m_heldBack.isEmpty() || !(said.contains(QLatin1String("HTTP Error 401")) || said.contains(QLatin1String("HTTP Error 403"))))
        return text;
    text += QStringLiteral("\nThe stream asked for a sign-in. The browser's %1 header is kept to the site it was sent to: "
                           "this stream also names other sites, and the downloader tool would have sent it to them too.")
                .arg(QString::fromLatin1(m_heldBack.join(", ")));
    if (m_heldBack.contains("Cookie"))
        text += QStringLiteral(" Update the downloader tool (Ctrl+U): a current one keeps cookies to their own site.");
    return text;
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

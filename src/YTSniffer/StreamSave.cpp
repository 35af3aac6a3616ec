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

} // namespace

StreamSave::StreamSave(QObject *parent) : QObject(parent) {}

StreamSave::~StreamSave()
{
    if (isRunning()) {
        m_done = true;
        const QString target = m_request.target;
        m_run->end([target] {
            for (const QFileInfo &file : QDir(QFileInfo(target).absolutePath())
                                             .entryInfoList({QFileInfo(target).fileName() + QStringLiteral(".part*")},
                                                            QDir::Files))
                QFile::remove(file.absoluteFilePath());
        });
    }
}

QByteArray StreamSave::headerOptions(const QByteArray &requestHeader)
{
    QByteArray text = "# coding: utf-8\n";
    for (const RequestHeaders::Field &field : RequestHeaders::parse(requestHeader).fields)
        text += "--add-header " + quotedWord(field.name + ':' + field.value) + '\n';
    return text;
}

QStringList StreamSave::arguments(const Request &request)
{
    // The tool's own merge of video and audio; its parts beside the target,
    // named after "TARGET.part" so that a cancel finds them all.
    return {QStringLiteral("--ignore-config"), QStringLiteral("--no-cache-dir"), QStringLiteral("--no-playlist"),
            QStringLiteral("--newline"), QStringLiteral("--quiet"), QStringLiteral("--progress"),
            QStringLiteral("--no-continue"), QStringLiteral("--no-part"), QStringLiteral("--socket-timeout"),
            QStringLiteral("30"), QStringLiteral("--progress-template"), ToolOutput::amountsTemplate(),
            QStringLiteral("--merge-output-format"), QStringLiteral("mp4"), QStringLiteral("--print"),
            QStringLiteral("after_move:[saved] %(filepath)s"), QStringLiteral("--format"),
            request.selector, QStringLiteral("-o"), partPath(request.target).replace(QLatin1Char('%'), QStringLiteral("%%")),
            QStringLiteral("--"), request.address.toString(QUrl::FullyEncoded)};
}

void StreamSave::start(const Request &request)
{
    m_request = request;
    m_saved.clear();
    m_canceled = false;
    m_done = false;
    QTemporaryFile config(QDir::tempPath() + QStringLiteral("/vidarro-XXXXXX.conf"));
    config.setAutoRemove(false);
    if (!config.open() || !config.setPermissions(QFile::ReadOwner | QFile::WriteOwner)
        || config.write(headerOptions(request.requestHeader)) < 0 || !config.flush()) {
        config.remove();
        QTimer::singleShot(0, this, [this] { finish({false, false, QStringLiteral("cannot write the tool's options")}); });
        return;
    }
    config.close();
    const QStringList args = arguments(request);
    LOG_DEBUG << "StreamSave" << ":" << SafeText::address(request.address) << ":" << request.selector
              << ":" << request.target;
    m_run = new ToolRun(request.tool, QStringList{QStringLiteral("--config-locations"), config.fileName()} + args,
                        {200, 64 * 1024}, this);
    m_run->removeWhenDone(config.fileName());
    m_run->watchFiles(partPath(request.target));
    connect(m_run, &ToolRun::linesRead, this, &StreamSave::readLines);
    connect(m_run, &ToolRun::finished, this, &StreamSave::ended);
    m_run->start();
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
        finish({false, true, {}});
        return;
    }
    m_run->end([this] { finish({false, true, {}}); });
}

void StreamSave::readLines(const QStringList &lines)
{
    for (const QString &line : lines) {
        if (line.startsWith(QLatin1String("[saved] "))) {
            m_saved = line.mid(8);
            continue;
        }
        const std::optional<ToolProgress> step = ToolOutput::progressWithAmounts(line);
        if (!step)
            continue;
        const bool sizeKnown = step->total && *step->total > 0;
        emit progress(step->done.value_or(0), sizeKnown, step->total.value_or(0), int(step->percent));
    }
}

void StreamSave::ended(const ToolResult &result)
{
    if (m_canceled)
        return;
    // The tool names the merged file itself ("TARGET.part.mp4"); only a
    // file of ours beside the target is taken.
    const QString part = m_saved;
    const QFileInfo saved(part);
    const QFileInfo target(m_request.target);
    const bool ours = saved.isFile() && saved.absolutePath() == target.absolutePath()
                      && saved.fileName().startsWith(target.fileName() + QStringLiteral(".part"));
    if (!result.ok || !ours) {
        finish({false, false,
                result.ok ? QStringLiteral("the tool wrote no file")
                          : QStringLiteral("the tool ended with code %1: %2").arg(result.exitCode).arg(result.complaint)});
        return;
    }
    // As for any row, a file of that name is replaced, and only by a complete one.
    if (QFileInfo::exists(m_request.target) && !QFile::remove(m_request.target)) {
        finish({false, false, QStringLiteral("cannot replace %1").arg(m_request.target)});
        return;
    }
    if (!QFile::rename(part, m_request.target)) {
        finish({false, false, QStringLiteral("cannot rename %1").arg(part)});
        return;
    }
    finish({true, false, {}});
}

void StreamSave::finish(Result result)
{
    if (m_done)
        return;
    m_done = true;
    if (!result.ok)
        removeLeftovers();
    if (result.ok)
        LOG_DEBUG << "StreamSave" << ":" << "OK" << ":" << m_request.target;
    else if (!result.canceled)
        LOG_ERROR << "StreamSave" << ":" << result.error;
    emit finished(result);
}

void StreamSave::removeLeftovers() const
{
    const QFileInfo target(m_request.target);
    // The part file and the tool's own pieces ("TARGET.part.f1.mp4", "….ytdl", fragments).
    for (const QFileInfo &file :
         QDir(target.absolutePath()).entryInfoList({target.fileName() + QStringLiteral(".part*")}, QDir::Files)) {
        if (!QFile::remove(file.absoluteFilePath()))
            LOG_ERROR << "StreamSave" << ":" << "cannot remove" << ":" << file.absoluteFilePath();
    }
}

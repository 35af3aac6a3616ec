#include "ToolHealthCheck.h"

#include <QDir>
#include <QFile>

namespace {

constexpr ToolRun::Limits infoLimits{8, 16 * 1024};

} // namespace

ToolHealthCheck::ToolHealthCheck(const QString &launcher, const QString &ffmpeg, const QString &toolsFolder,
                                 QObject *parent)
    : QObject(parent)
    , m_launcher(launcher)
    , m_ffmpeg(ffmpeg)
    , m_toolsFolder(toolsFolder)
{
}

void ToolHealthCheck::start()
{
    QFile last(QDir(m_toolsFolder).filePath(QStringLiteral("last-update")));
    if (last.open(QIODevice::ReadOnly))
        m_health.readLastUpdate(last.read(2048));
    m_waiting = 2;
    m_toolRun = new ToolRun(m_launcher, {QStringLiteral("--tool-info")}, infoLimits, this);
    connect(m_toolRun, &ToolRun::finished, this, &ToolHealthCheck::gotToolInfo);
    m_ffmpegRun = new ToolRun(m_ffmpeg, {QStringLiteral("-hide_banner"), QStringLiteral("-version")}, infoLimits, this);
    connect(m_ffmpegRun, &ToolRun::finished, this, &ToolHealthCheck::gotFfmpeg);
    m_toolRun->start();
    m_ffmpegRun->start();
}

void ToolHealthCheck::gotToolInfo(const ToolResult &result)
{
    if (result.ok)
        m_health.readToolInfo(result.lines, m_toolsFolder);
    m_toolRun->deleteLater();
    finishIfDone();
}

void ToolHealthCheck::gotFfmpeg(const ToolResult &result)
{
    if (result.ok)
        m_health.readFfmpeg(result.lines);
    m_ffmpegRun->deleteLater();
    finishIfDone();
}

void ToolHealthCheck::finishIfDone()
{
    if (--m_waiting == 0)
        emit ready(m_health);
}

#pragma once

#include "ToolHealth.h"
#include "ToolRun.h"

#include <QObject>
#include <QPointer>
#include <QString>

// Fills a ToolHealth without stalling anyone: the launcher and ffmpeg run
// as child processes, their ends arrive as signals, ready() comes once.
class ToolHealthCheck : public QObject
{
    Q_OBJECT

public:
    // launcher: "run" beside the application; ffmpeg: the one it uses;
    // toolsFolder: "tools" of the per-user folder.
    ToolHealthCheck(const QString &launcher, const QString &ffmpeg, const QString &toolsFolder, QObject *parent);
    void start();

signals:
    void ready(const ToolHealth &health);

private:
    void gotToolInfo(const ToolResult &result);
    void gotFfmpeg(const ToolResult &result);
    void finishIfDone();

    QString m_launcher;
    QString m_ffmpeg;
    QString m_toolsFolder;
    ToolHealth m_health;
    QPointer<ToolRun> m_toolRun;
    QPointer<ToolRun> m_ffmpegRun;
    int m_waiting = 0;
};

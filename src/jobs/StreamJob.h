#pragma once

#include "Job.h"

#include <QPointer>

class StreamSave;

// A streaming manifest (HLS or DASH) saved whole by the downloader tool, or
// a live one recorded until stop(). A suspended save starts again: the
// tool's fragments of a merge are not kept apart from each other.
class StreamJob : public Job
{
    Q_OBJECT

public:
    // tool: the launcher; remuxer: ffmpeg, which finishes a recording.
    StreamJob(const QString &tool, const QString &remuxer, const JobRequest &request, QObject *parent = nullptr);

    void stop() override;
    bool canGoOn() const override { return false; }

protected:
    void doStart(bool goOn) override;
    void doSuspend() override;
    void doKill() override;

private:
    QString m_tool;
    QString m_remuxer;
    QPointer<StreamSave> m_save;
    bool m_suspending = false;
};

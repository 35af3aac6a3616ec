#pragma once

#include "Job.h"

#include <QPointer>

class Downloader;

// A page address saved by the downloader tool, as video or as MP3 (the
// tool's file converted by ffmpeg, a step of the same job); without a
// target, named after the title the tool reads first. A suspended
// download goes on from the tool's parts; a conversion starts again.
class AddressJob : public Job
{
    Q_OBJECT

public:
    AddressJob(const JobRequest &request, const JobResume &resume, QObject *parent = nullptr);

protected:
    void doStart(bool goOn) override;
    void doSuspend() override;
    void doKill() override;

private:
    void named();
    void download(bool goOn);
    void downloaded();
    void converted();
    void failed(int code);
    void removeParts();

    QPointer<Downloader> m_driver;
    QString m_saved;
};

#pragma once

#include "Job.h"

#include <QElapsedTimer>

#include <memory>

class CYouTubeDownloader;

// A sniffed stream fetched again over HTTP with the browser's request
// headers; saved as audio, the file is then converted to MP3 (a step of the
// same job) and the fetched file goes.
class TransferJob : public Job
{
    Q_OBJECT

public:
    TransferJob(const JobRequest &request, const JobResume &resume, QObject *parent = nullptr);
    ~TransferJob() override;

protected:
    void doStart(bool goOn) override;
    void doSuspend() override;
    void doKill() override;

private:
    void transferEnded();
    void measure(unsigned long long done, bool sizeKnown, unsigned long long total);

    std::unique_ptr<CYouTubeDownloader> m_transfer;
    QElapsedTimer m_clock;
    qint64 m_startBytes = 0;
};

#include "TransferJob.h"

#include "CYouTubeDownloader.h"

#include <QFileInfo>
#include <QNetworkAccessManager>

TransferJob::TransferJob(const JobRequest &request, const JobResume &resume, QObject *parent)
    : Job(request, resume, parent)
    , m_network(new QNetworkAccessManager(this))
{
}

TransferJob::~TransferJob() = default;

void TransferJob::doStart(bool)
{
    m_suspending = false;
    m_transfer = std::make_unique<CYouTubeDownloader>();
    m_transfer->networkManager = m_network;
    m_transfer->url = request().address.toString();
    m_transfer->requestHeader = request().requestHeader;
    m_transfer->filePath = request().target;
    connect(m_transfer.get(), &CYouTubeDownloader::OnProgress, this, &TransferJob::measure);
    connect(m_transfer.get(), &CYouTubeDownloader::finished, this, &TransferJob::transferEnded, Qt::QueuedConnection);
    m_resume.partFile = m_transfer->partPath();
    m_clock.start();
    m_startBytes = 0;
    m_transfer->startTransfer();
}

void TransferJob::measure(unsigned long long done, bool sizeKnown, unsigned long long total)
{
    JobProgress now = progress();
    now.done = qint64(done);
    now.total = sizeKnown ? qint64(total) : -1;
    now.percent = sizeKnown && total > 0 ? int(qMin<unsigned long long>(100, done * 100 / total)) : -1;
    const qint64 elapsed = m_clock.elapsed();
    if (elapsed > 500) {
        now.rate = double(qint64(done) - m_startBytes) * 1000.0 / double(elapsed);
        now.secondsLeft = sizeKnown && now.rate > 0 ? int(double(qint64(total) - qint64(done)) / now.rate) : -1;
    }
    report(now);
}

void TransferJob::transferEnded()
{
    if (!m_transfer)
        return;
    const bool suspending = m_suspending;
    std::unique_ptr<CYouTubeDownloader> transfer = std::move(m_transfer);
    if (suspending) {
        stopped();
        return;
    }
    if (transfer->wasCanceled()) {
        m_resume = {};
        ended(JobResult::canceled());
        return;
    }
    if (!transfer->succeeded()) {
        m_resume = {};
        JobResult result;
        result.state = JobState::Failed;
        result.errorText = transfer->errorString();
        ended(result);
        return;
    }
    m_resume = {};
    if (request().kind == JobKind::Audio) {
        convertToMp3(request().target);
        return;
    }
    JobResult result;
    result.file = request().target;
    result.size = QFileInfo(result.file).size();
    ended(result);
}

void TransferJob::doSuspend()
{
    if (m_transfer) {
        m_suspending = true;
        m_transfer->requestAbort();
        return;
    }
    // A conversion starts again.
    endConversion();
    stopped();
}

void TransferJob::doKill()
{
    if (m_transfer) {
        m_transfer->requestAbort();
        return;
    }
    endConversion();
    m_resume = {};
    ended(JobResult::canceled());
}

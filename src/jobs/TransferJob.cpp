#include "TransferJob.h"

#include "CYouTubeDownloader.h"

#include <QFileInfo>
#include <QFile>

TransferJob::TransferJob(const JobRequest &request, const JobResume &resume, QObject *parent)
    : Job(request, resume, parent)
{
}

TransferJob::~TransferJob() = default;

void TransferJob::doStart(bool goOn)
{
    m_transfer = std::make_unique<CYouTubeDownloader>();
    m_transfer->url = request().address.toString();
    m_transfer->requestHeader = request().requestHeader;
    m_transfer->filePath = request().target;
    // From the part file, when the first answer gave a validator; else from zero.
    m_transfer->resumePartial = goOn && !m_resume.validator.isEmpty();
    m_transfer->resumeValidator = m_resume.validator;
    m_transfer->resumeTotal = m_resume.total;
    connect(m_transfer.get(), &CYouTubeDownloader::OnProgress, this, &TransferJob::measure);
    connect(m_transfer.get(), &CYouTubeDownloader::finished, this, &TransferJob::transferEnded, Qt::QueuedConnection);
    m_resume.partFile = m_transfer->partPath();
    m_clock.invalidate();
    m_transfer->startTransfer();
}

void TransferJob::measure(unsigned long long done, bool sizeKnown, unsigned long long total)
{
    // Known from the first answer on: what a start after a crash needs to go on.
    if (m_transfer && m_resume.validator.isEmpty()) {
        m_resume.validator = m_transfer->validator();
        m_resume.total = m_transfer->totalSize();
    }
    JobProgress now = progress();
    now.done = qint64(done);
    now.total = sizeKnown ? qint64(total) : -1;
    now.percent = sizeKnown && total > 0 ? int(qMin<unsigned long long>(100, done * 100 / total)) : -1;
    // The rate of this run: a resumed transfer starts counting at its part's size.
    if (!m_clock.isValid()) {
        m_clock.start();
        m_startBytes = qint64(done);
    }
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
    std::unique_ptr<CYouTubeDownloader> transfer = std::move(m_transfer);
    if (transfer->outcome() == CYouTubeDownloader::Outcome::Suspended) {
        // What a later start needs to ask for the rest of the same file.
        m_resume.partFile = transfer->partPath();
        m_resume.validator = transfer->validator();
        m_resume.total = transfer->totalSize();
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
        m_transfer->suspend();
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
    // A suspended transfer has ended: its part goes here.
    if (!m_resume.partFile.isEmpty())
        QFile::remove(m_resume.partFile);
    endConversion();
    m_resume = {};
    ended(JobResult::canceled());
}

#include "Job.h"

#include "Downloader.h"
#include "TargetPath.h"

#include <QDir>
#include <QFileInfo>
#include <QTimer>

Job::Job(const JobRequest &request, const JobResume &resume, QObject *parent)
    : QObject(parent)
    , m_resume(resume)
    , m_request(request)
{
}

void Job::start()
{
    if (m_running)
        return;
    m_running = true;
    m_stopping = false;
    // Deferred: callers connect and record the state first.
    const bool goOn = m_started || !m_resume.partFile.isEmpty();
    m_started = true;
    QTimer::singleShot(0, this, [this, goOn] {
        if (m_running && !m_stopping)
            doStart(goOn);
    });
}

void Job::suspend()
{
    if (!m_running || m_stopping)
        return;
    m_stopping = true;
    doSuspend();
}

void Job::kill()
{
    if (m_killing)
        return;
    m_killing = true;
    m_stopping = true;
    doKill();
}

void Job::settleRequest(const JobRequest &request)
{
    m_request = request;
    emit requestSettled(request);
}

void Job::report(const JobProgress &progress)
{
    m_progress = progress;
    emit progressed(progress);
}

void Job::ended(JobResult result)
{
    m_killing = false;
    m_running = false;
    m_stopping = false;
    emit finished(result);
}

void Job::stopped()
{
    m_running = false;
    m_stopping = false;
    emit suspended();
}

void Job::convertToMp3(const QString &file)
{
    // A file named .mp3 (the save dialog's choice) is its own target; one
    // named after its stream's type (".MP3") takes the usual name.
    const QFileInfo saved(file);
    const QString mp3 = saved.suffix() == QLatin1String("mp3")
                            ? file
                            : TargetPath::freePath(saved.absolutePath() + QLatin1Char('/') + saved.completeBaseName(),
                                                   QStringLiteral("mp3"));
    JobProgress now = m_progress;
    now.part = now.parts;
    now.parts += 1;
    now.rateText = tr("converting to MP3");
    now.leftText.clear();
    now.rate = -1;
    now.secondsLeft = -1;
    report(now);
    m_converter = new Downloader(this);
    connect(m_converter, &Downloader::doneExtractAudio, this, [this, mp3] {
        m_converter->deleteLater();
        JobResult result;
        result.file = mp3;
        result.size = QFileInfo(mp3).size();
        ended(result);
    });
    connect(m_converter, &Downloader::hasError, this, [this](Downloader::errors error) {
        JobResult result;
        result.state = JobState::Failed;
        result.errorCode = int(error);
        result.toolLine = m_converter->toolLine();
        m_converter->deleteLater();
        ended(result);
    });
    m_converter->extractAudio(QDir::toNativeSeparators(file), QDir::toNativeSeparators(mp3));
}

bool Job::endConversion()
{
    if (!m_converter)
        return false;
    m_converter->stop();
    m_converter->deleteLater();
    return true;
}

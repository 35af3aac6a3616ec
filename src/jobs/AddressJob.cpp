#include "AddressJob.h"

#include "Downloader.h"
#include "LogLine.h"
#include "TargetPath.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

AddressJob::AddressJob(const JobRequest &request, const JobResume &resume, QObject *parent)
    : Job(request, resume, parent)
{
}

void AddressJob::doStart(bool goOn)
{
    delete m_driver;
    m_driver = new Downloader(this);
    connect(m_driver, &Downloader::percent, this, [this](float percent) {
        JobProgress now = progress();
        now.percent = qBound(0, int(percent), 100);
        report(now);
    });
    connect(m_driver, &Downloader::speed, this, [this](const QString &speed, const QString &timeLeft) {
        JobProgress now = progress();
        now.rateText = speed;
        now.leftText = timeLeft;
        report(now);
    });
    connect(m_driver, &Downloader::haveFile, this, &AddressJob::downloaded);
    connect(m_driver, &Downloader::doneExtractAudio, this, &AddressJob::converted);
    connect(m_driver, &Downloader::hasError, this, [this](Downloader::errors error) { failed(int(error)); });
    // A video of a page is fetched through its page, which names its subtitles and picture.
    m_driver->checkURL(request().item > 0 ? request().page : request().address);
    m_driver->setItem(request().item);
    m_driver->setCookieSource(request().cookieSource);
    FinishChoices finish = request().finish;
    if (request().kind == JobKind::Audio) {
        // The MP3 is made here: it takes the picture from a file, and no subtitles.
        finish.coverBeside = finish.cover;
        finish.cover = false;
        finish.subtitles.clear();
    }
    m_driver->setFinish(finish);
    if (request().target.isEmpty()) {
        // Named after its title, in its folder: the title first.
        connect(m_driver, &Downloader::haveTitle, this, &AddressJob::named);
        m_driver->requestTitle();
        return;
    }
    download(goOn);
}

void AddressJob::named()
{
    JobRequest settled = request();
    QString name = TargetPath::cleanName(m_driver->info->title);
    if (name.isEmpty())
        name = QStringLiteral("default");
    if (!TargetPath::ensureWritableFolder(settled.folder)) {
        JobResult result;
        result.state = JobState::Failed;
        result.errorText = tr("The folder %1 cannot be written to.").arg(settled.folder);
        m_driver->deleteLater();
        ended(result);
        return;
    }
    // Only a part: refused before anything is saved when it does not fit.
    const FinishChoices &finish = settled.finish;
    const QString problem = finish.from < 0 && finish.to < 0
        ? QString()
        : Finish::sectionProblem(finish.from, finish.to, Finish::parseClock(m_driver->info->duration).value_or(-1));
    if (!problem.isEmpty()) {
        JobResult result;
        result.state = JobState::Failed;
        result.errorText = problem;
        m_driver->deleteLater();
        ended(result);
        return;
    }
    settled.name = name;
    // The container decides the extension; this one is a proposal.
    settled.target = TargetPath::freeStem(settled.folder, name) + QStringLiteral(".mp4");
    settleRequest(settled);
    download(false);
}

void AddressJob::download(bool goOn)
{
    // The parts of the tool's earlier run are where the target says.
    m_resume.partFile = request().target;
    m_driver->requestFile(request().selector, QDir::toNativeSeparators(request().target), goOn);
}

void AddressJob::downloaded()
{
    m_saved = QDir::fromNativeSeparators(m_driver->info->savedFile);
    if (request().kind != JobKind::Audio) {
        converted();
        return;
    }
    // The MP3 beside the tool's file; one already there is not overwritten.
    // A file the tool named .mp3 is its own target: kept as it came if it is MP3.
    const QFileInfo saved(m_saved);
    const QString mp3 = saved.suffix().compare(QLatin1String("mp3"), Qt::CaseInsensitive) == 0
                            ? m_saved
                            : TargetPath::freePath(saved.absolutePath() + QLatin1Char('/') + saved.completeBaseName(),
                                                   QStringLiteral("mp3"));
    JobProgress now = progress();
    now.percent = 100;
    now.part = 1;
    now.parts = 2;
    now.rateText.clear();
    now.leftText.clear();
    report(now);
    // The picture the tool wrote beside its file, when asked for.
    const QString cover = request().finish.cover
        ? saved.absolutePath() + QLatin1Char('/') + saved.completeBaseName() + QStringLiteral(".jpg")
        : QString();
    m_driver->extractAudio(QDir::toNativeSeparators(m_saved), QDir::toNativeSeparators(mp3),
                           QDir::toNativeSeparators(cover));
    m_saved = mp3;
}

void AddressJob::converted()
{
    JobResult result;
    result.file = m_saved;
    result.size = QFileInfo(m_saved).size();
    m_driver->deleteLater();
    m_resume = {};
    ended(result);
}

void AddressJob::failed(int code)
{
    JobResult result;
    result.state = JobState::Failed;
    result.errorCode = code;
    result.toolLine = m_driver->toolLine();
    m_driver->deleteLater();
    m_resume = {};
    ended(result);
}

void AddressJob::doSuspend()
{
    // The tool goes on from its parts; a conversion starts again.
    if (m_driver && m_driver->job() == FileStep) {
        m_driver->suspend();
    } else if (m_driver) {
        m_driver->stop();
        m_resume = {};
    }
    if (m_driver)
        m_driver->deleteLater();
    stopped();
}

void AddressJob::doKill()
{
    if (m_driver) {
        m_resume = {};
        // Canceled once the run is gone and what it wrote with it.
        m_driver->stop([self = QPointer<AddressJob>(this)] {
            if (self)
                self->ended(JobResult::canceled());
        });
        m_driver->deleteLater();
        return;
    }
    removeParts();
    m_resume = {};
    ended(JobResult::canceled());
}

void AddressJob::removeParts()
{
    // What a suspended download left: every file beside the target named
    // after its stem and a "." (the window chose a stem no other file has).
    if (m_resume.partFile.isEmpty())
        return;
    const QFileInfo target(m_resume.partFile);
    const QString stem = target.completeBaseName() + QLatin1Char('.');
    for (const QFileInfo &entry : target.dir().entryInfoList(QDir::Files | QDir::Hidden)) {
        if (entry.fileName().startsWith(stem) && !entry.isSymLink()) {
            if (!QFile::remove(entry.filePath()))
                LOG_ERROR << "AddressJob" << ":" << "cannot remove" << ":" << entry.filePath();
        }
    }
}

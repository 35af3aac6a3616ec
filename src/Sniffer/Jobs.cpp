#include "Sniffer.h"

#include "BusyText.h"
#include "CYouTubeDownloadDlg.h"
#include "DesktopNotice.h"
#include "DownloadsWindow.h"
#include "JobFactory.h"
#include "JobKeeper.h"
#include "JobListModel.h"
#include "JobQueue.h"
#include "LogLine.h"
#include "Platform.h"
#include "SafeText.h"
#include "UserDialogs.h"
#include "ui_Navigation.h"
#include "ui_Settings.h"

#include <QEventLoop>
#include <QFileInfo>
#include <QProgressBar>
#include <QTimer>
#include <QUrl>

// The window's side of the jobs: it builds their requests, follows the
// address download on the busy page and a sniffed save in its dialog, and
// shows how each ended. The work is the queue's.

void Sniffer::initJobs()
{
    TRACE("initJobs");
    jobs = new JobQueue(&makeJob, this);
    const int atOnce = settingsFile.value(QStringLiteral("downloads_at_once")).toInt();
    settingsUi->spinDownloadsAtOnce->setValue(atOnce > 0 ? atOnce : JobQueue::defaultLimit);
    settingsUi->checkResumeAtStart->setChecked(settingsFile.value(QStringLiteral("resume_at_start")) != QLatin1String("0"));
    jobs->setLimit(settingsUi->spinDownloadsAtOnce->value());
    connect(jobs, &JobQueue::rowChanged, this, &Sniffer::showFollowedJob);
    connect(jobs, &JobQueue::rowChanged, this, &Sniffer::showJobCount);
    connect(jobs, &JobQueue::rowsAdded, this, &Sniffer::showJobCount);
    connect(jobs, &JobQueue::rowRemoved, this, &Sniffer::showJobCount);
    connect(jobs, &JobQueue::jobEnded, this, &Sniffer::onJobEnded);
    // Unfinished jobs of the last session come back, running again unless the user said otherwise.
    keeper = new JobKeeper(jobs, Platform::perUserFolder(), this);
    connect(keeper, &JobKeeper::failed, this, [this](const QString &message) {
        UserDialogs::showMessage(this, QMessageBox::Warning, QStringLiteral("Vidarro"), message);
    });
    const QString said = keeper->open(settingsUi->checkResumeAtStart->isChecked());
    showJobCount();
    if (!said.isEmpty())
        QTimer::singleShot(0, this, [this, said] {
            UserDialogs::showMessage(this, QMessageBox::Warning, QStringLiteral("Vidarro"), said);
        });
}

void Sniffer::storeJobSettings()
{
    settingsFile.store(QStringLiteral("downloads_at_once"), QString::number(settingsUi->spinDownloadsAtOnce->value()));
    settingsFile.store(QStringLiteral("resume_at_start"), settingsUi->checkResumeAtStart->isChecked() ? QStringLiteral("1")
                                                                                                    : QStringLiteral("0"));
    jobs->setLimit(settingsUi->spinDownloadsAtOnce->value());
}

void Sniffer::showJobCount()
{
    int running = 0;
    int waiting = 0;
    for (int row = 0; row < jobs->count(); ++row) {
        running += jobs->shownState(row) == JobState::Running;
        waiting += jobs->shownState(row) == JobState::Waiting;
    }
    QStringList parts;
    if (running)
        parts << tr("%1 running").arg(running);
    if (waiting)
        parts << tr("%1 waiting").arg(waiting);
    navigation->btnDownloads->setText(parts.isEmpty() ? tr("Downloads") : tr("Downloads: %1").arg(parts.join(QStringLiteral(", "))));
}

void Sniffer::showDownloads()
{
    TRACE("showDownloads");
    if (!downloadsWindow)
        downloadsWindow = new DownloadsWindow(jobs, this);
    downloadsWindow->show();
    downloadsWindow->raise();
    downloadsWindow->activateWindow();
}

void Sniffer::showPercents(float percent)
{
    progressBar->setValue(qBound(0, int(percent), 100));
}

void Sniffer::showSpeed(const QString &speed, const QString &timeLeft)
{
    progressBar->setFormat(BusyText::progressFormat(speed, timeLeft));
}

void Sniffer::showFollowedJob(int row)
{
    const JobRecord &record = jobs->at(row);
    if (followed != 0 && record.id == followed && m_currentPage == PageLayout::BusyPage) {
        if (record.progress.percent >= 0)
            showPercents(float(record.progress.percent));
        showSpeed(JobListModel::rateText(record.progress), JobListModel::timeLeftText(record.progress));
    }
    if (sniffedJobs.contains(record.id))
        followSniffedJob(record.id);
}

void Sniffer::onJobEnded(qint64 id, const JobResult &result)
{
    noteJobEnd(id, result);
    if (sniffedJobs.contains(id)) {
        endSniffedJob(id, result);
        return;
    }
    if (id != followed)
        return;
    followed = 0;
    // The busy page was left: the list and the desktop tell how it ended.
    if (m_currentPage != PageLayout::BusyPage || closing)
        return;
    if (result.state == JobState::Canceled) {
        showPage(PageLayout::MainPage);
        return;
    }
    if (!result.ok()) {
        showPage(PageLayout::AddressPage);
        reportError(ERROR_PLACE("onJobEnded"), result.errorCode, MessageKind::DownloaderError, result.toolLine);
        return;
    }
    progressBar->setValue(progressBar->maximum());
    if (UserDialogs::ask(this, QMessageBox::Information, tr("File downloading"), BusyText::completion(result.file),
                         tr("Open folder")))
        UserDialogs::open(QUrl::fromLocalFile(QFileInfo(result.file).absolutePath()));
    showPage(PageLayout::AddressPage);
}

void Sniffer::noteJobEnd(qint64 id, const JobResult &result)
{
    const int row = jobs->rowOf(id);
    if (row < 0 || result.state == JobState::Canceled || closing)
        return;
    const QString name = jobs->at(row).request.name;
    if (result.ok())
        DesktopNotice::show(tr("Download complete"), name);
    else
        DesktopNotice::show(tr("Download failed"),
                            name + QLatin1Char('\n')
                                + (result.errorText.isEmpty()
                                       ? settingsList("error_messages_dl").value(result.errorCode).section(QLatin1Char('~'), 1)
                                       : result.errorText));
}

void Sniffer::startSniffedJob(int index, const JobRequest &request)
{
    const SniffedItem item = sniffedItems.at(index);
    const qint64 id = jobs->add(request);
    auto *dialog = new CYouTubeDownloadDlg(this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    sniffedJobs.insert(id, {item.number, dialog});
    setItemState(index, SniffedItem::Downloading);
    if (request.kind == JobKind::Recording) {
        const SettingsList words = settingsList("warning_messages");
        const auto word = [&words](int code) { return words.value(code).section(QLatin1Char('~'), 1); };
        dialog->startRecording(request.address,
                               {word(RecordingTitle), word(RecordingAmounts), word(RecordingStop), word(RecordingStopping)},
                               [this, id] { jobs->stop(id); });
    } else {
        dialog->startExternal(request.address, [this, id] { jobs->cancel(id); });
    }
    // A view of the job: closing it leaves the job running in the list.
    dialog->open();
}

void Sniffer::followSniffedJob(qint64 id)
{
    const SniffedJob job = sniffedJobs.value(id);
    const int row = jobs->rowOf(id);
    if (row < 0)
        return;
    // Paused (from the list, or by the window's end): the row may be saved again, the dialog goes.
    const JobState state = jobs->shownState(row);
    setItemState(sniffedItems.indexOfNumber(job.itemNumber),
                 state == JobState::Paused ? SniffedItem::NotDownloaded : SniffedItem::Downloading);
    CYouTubeDownloadDlg *dialog = job.dialog;
    if (dialog && state == JobState::Paused)
        dialog->endExternal(false, true, {});
    if (!dialog || state != JobState::Running)
        return;
    const JobProgress &now = jobs->at(row).progress;
    if (now.recordedSeconds >= 0)
        dialog->showRecorded(now.recordedSeconds, (unsigned long long)qMax<qint64>(0, now.done));
    else if (now.total > 0)
        dialog->OnProgress((unsigned long long)now.done, true, (unsigned long long)now.total);
    else if (now.percent >= 0)
        dialog->showPercent(now.percent);
}

void Sniffer::endSniffedJob(qint64 id, const JobResult &result)
{
    const SniffedJob job = sniffedJobs.take(id);
    setItemState(sniffedItems.indexOfNumber(job.itemNumber),
                 result.ok() ? SniffedItem::Downloaded : SniffedItem::NotDownloaded);
    if (closing)
        return;
    if (result.ok() && !job.dialog)
        emit downloadFinished(result.file);
    // Only a save whose dialog is still open ends with a box.
    if (!job.dialog) {
        LOG_DEBUG << "endSniffedJob" << ":" << id << ":" << JobText::state(result.state);
        return;
    }
    const QString error = result.errorText.isEmpty()
                              ? settingsList("error_messages_dl").value(result.errorCode).section(QLatin1Char('~'), 1)
                              : result.errorText;
    job.dialog->endExternal(result.ok(), result.state == JobState::Canceled,
                            result.toolLine.isEmpty() ? error : error + QLatin1Char('\n') + result.toolLine);
    if (result.ok()) {
        emit downloadFinished(result.file);
        // Saved, but not to the end the user chose: say so.
        if (!result.note.isEmpty())
            showWarning(RecordingCutShort);
        return;
    }
    if (const auto failure = job.dialog->failure()) {
        UserDialogs::showMessage(this, QMessageBox::Critical, failure->title,
                                 failure->detail.isEmpty() ? failure->text : failure->text + QStringLiteral("\n\n") + failure->detail);
    } else {
        UserDialogs::showMessage(this, QMessageBox::Information, QStringLiteral("Vidarro"), tr("Download canceled."));
    }
}

void Sniffer::pauseJobs()
{
    if (!jobs || !jobs->busy())
        return;
    // Each engine stops and lets go of its processes; the parts stay for the next start.
    QEventLoop wait;
    connect(jobs, &JobQueue::allPaused, &wait, &QEventLoop::quit);
    QTimer::singleShot(15000, &wait, &QEventLoop::quit);
    jobs->pauseAll();
    if (jobs->busy())
        wait.exec();
}

void Sniffer::closeJobs()
{
    pauseJobs();
    if (keeper)
        keeper->close();
}

DownloadsWindow *Sniffer::downloadsView() const
{
    return downloadsWindow;
}

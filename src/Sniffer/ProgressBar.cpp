#include "Sniffer.h"

#include "JobQueue.h"
#include "LogLine.h"
#include "PlaylistListing.h"
#include "Version.h"
#include "ui_DialogAbout.h"

#include <QProgressBar>
#include <QRandomGenerator>
#include <QTimer>

#include <utility>

void Sniffer::progressBarStart()
{
    TRACE("progressBarStart");
    progressBar->setValue(progressBar->minimum());
    progressBar->setFormat(QStringLiteral("%p%"));
    showPage(PageLayout::BusyPage);
}

void Sniffer::progressBarStart(int interval)
{
    progressBarStart();
    busyTimer->start(interval);
}

// Climbs one step per tick and, before it would reach the end, jumps back
// to a random place from 20 up: motion that never completes.
void Sniffer::progressBarIteration()
{
    int next = progressBar->value() + 1;
    if (next >= progressBar->maximum() - 1) {
        const int span = qMax(1, progressBar->maximum() - progressBar->minimum() - 20);
        next = progressBar->minimum() + 20 + int(QRandomGenerator::global()->bounded(span));
    }
    progressBar->setValue(next);
}

void Sniffer::stopLastProcess()
{
    TRACE("stopLastProcess");
    if (busyTimer->isActive())
        busyTimer->stop();
    progressBar->setValue(progressBar->maximum());
    // Late answers of a cancelled address must not pull the window onward.
    workflow.cancel();
    downloader->stop();
    listing->stop();
    // The busy page's Cancel ends the download it follows.
    if (followed != 0)
        jobs->cancel(std::exchange(followed, 0));
    showPage(PageLayout::MainPage);
}

void Sniffer::showAboutDialog()
{
    TRACE("showAboutDialog");
    // One About box: asking again brings the open one forward.
    if (aboutBox) {
        aboutBox->show();
        aboutBox->raise();
        aboutBox->activateWindow();
        return;
    }
    aboutBox = new QDialog(nullptr);
    aboutBox->setWindowFlags(aboutBox->windowFlags() | Qt::WindowStaysOnTopHint);
    aboutForm = new Ui::DialogAbout;
    aboutForm->setupUi(aboutBox);
    aboutForm->lblTitle->setText(QStringLiteral("Vidarro") + QStringLiteral(" Version ")
                                 + QStringLiteral(VIDARRO_VERSION));
    connect(aboutForm->btnClose, &QPushButton::clicked, this, &Sniffer::closeAboutDialog);
    aboutBox->show();
}

void Sniffer::closeAboutDialog()
{
    if (!aboutBox)
        return;
    aboutBox->close();
    aboutBox->deleteLater();
    aboutBox = nullptr;
    delete aboutForm;
    aboutForm = nullptr;
}

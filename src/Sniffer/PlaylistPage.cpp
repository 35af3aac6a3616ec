#include "Sniffer.h"

#include "JobKeeper.h"
#include "JobQueue.h"
#include "LogLine.h"
#include "PlaylistJobs.h"
#include "PlaylistListing.h"
#include "PlaylistModel.h"
#include "PlaylistPanel.h"
#include "TargetPath.h"
#include "ui_Options.h"

#include <QProgressBar>
#include <QRegularExpression>
#include <QVBoxLayout>

// The download page of a playlist, a channel or a feed: the listing runs
// beside the title and format runs, and when it finds a playlist its
// entries, not the first item, make the page.

void Sniffer::initPlaylist()
{
    listing = new PlaylistListing(this);
    playlistPanel = new PlaylistPanel(panel(PageLayout::Options));
    playlistPanel->hide();
    // Under the title, where the format list stands for one item.
    auto *column = qobject_cast<QVBoxLayout *>(panel(PageLayout::Options)->layout());
    column->insertWidget(column->indexOf(options->listFormats) + 1, playlistPanel, 1);
    connect(listing, &PlaylistListing::playlistFound, this, [this](const QString &, int) {
        workflow.playlistFound();
        progressBar->setFormat(tr("%1 entries so far").arg(0));
    });
    connect(listing, &PlaylistListing::entriesArrived, this, [this](const QList<PlaylistEntry> &entries) {
        playlistPanel->model()->append(entries);
        progressBar->setFormat(tr("%1 entries so far").arg(playlistPanel->model()->rowCount()));
    });
    connect(listing, &PlaylistListing::singleFound, this, [this] {
        listing->stop();
        listingDone();
    });
    connect(listing, &PlaylistListing::finished, this, &Sniffer::listingDone);
    connect(keeper, &JobKeeper::savedFound, this, [this](const QStringList &addresses) {
        if (workflow.isPlaylist())
            playlistPanel->model()->markSaved(addresses);
    });
    connect(playlistPanel, &PlaylistPanel::downloadRequested, this, &Sniffer::downloadPlaylist);
}

void Sniffer::startListing()
{
    heldError.reset();
    playlistPanel->model()->clear();
    playlistPanel->setNote({});
    listing->start(enteredAddress, downloader->cookies());
}

void Sniffer::listingDone()
{
    if (workflow.isPlaylist()) {
        PlaylistModel *model = playlistPanel->model();
        playlistPanel->setNote(listing->note());
        QList<QUrl> addresses;
        addresses.reserve(model->rowCount());
        for (int row = 0; row < model->rowCount(); ++row)
            addresses.append(model->entry(row).address);
        keeper->findSaved(addresses);
        options->lblTitle->setText(listing->title().isEmpty() ? tr("Playlist") : listing->title());
        options->lblDLLength->setText(tr("%n entries", nullptr, model->rowCount()));
        options->lblDLLength->show();
    }
    const bool pageDue = workflow.answer(AddressWorkflow::Answer::Listing);
    // An error of the title or format run waited for this: one item after all.
    if (heldError && !workflow.isPlaylist()) {
        const HeldError held = *std::exchange(heldError, std::nullopt);
        if (workflow.reportError(true)) {
            showPage(PageLayout::AddressPage);
            // Where it was raised, as if it had been shown at once.
            reportError(ERROR_PLACE("onDownloaderError"), held.code, MessageKind::DownloaderError, held.toolLine);
        }
        return;
    }
    if (pageDue)
        showPage(PageLayout::DownloadPage);
}

QList<int> Sniffer::offeredHeights() const
{
    static const QRegularExpression size(QStringLiteral("^(?:\\d+x)?(\\d{2,5})p?$"));
    QList<int> heights;
    for (const FormatInfo &format : downloader->info->formats) {
        const int height = size.match(format.resolution).captured(1).toInt();
        if (height > 0 && !heights.contains(height))
            heights.append(height);
    }
    std::sort(heights.begin(), heights.end(), std::greater<int>());
    return heights;
}

void Sniffer::showPlaylistMode(bool on)
{
    // Its own flag: the panel's parent is still hidden while the page is made.
    if (on == !playlistPanel->isHidden())
        return;
    if (on) {
        playlistPanel->setHeights(offeredHeights());
        // Only what showed for one item is shown again afterwards.
        hiddenForPlaylist.clear();
        for (QWidget *widget : {static_cast<QWidget *>(options->listFormats), static_cast<QWidget *>(options->label_2),
                                static_cast<QWidget *>(options->inputTitle), static_cast<QWidget *>(options->btnDownloadVideo),
                                static_cast<QWidget *>(options->btnDownloadAudio)}) {
            if (!widget->isHidden()) {
                widget->hide();
                hiddenForPlaylist.append(widget);
            }
        }
    } else {
        for (QWidget *widget : std::as_const(hiddenForPlaylist))
            widget->show();
        hiddenForPlaylist.clear();
    }
    playlistPanel->setVisible(on);
}

void Sniffer::downloadPlaylist()
{
    TRACE("downloadPlaylist");
    const QList<PlaylistEntry> entries = playlistPanel->model()->checkedEntries();
    if (entries.isEmpty())
        return;
    const QString base = options->selectPath->currentText();
    if (!TargetPath::ensureWritableFolder(base)) {
        reportError(ERROR_PLACE("downloadPlaylist"), WindowError::FolderNotWritable, MessageKind::Error, base);
        return;
    }
    // Named after the playlist, cleaned as titles are: never outside the chosen folder.
    const QString folder = PlaylistJobs::folder(base, listing->title());
    if (folder.isEmpty()) {
        reportError(ERROR_PLACE("downloadPlaylist"), WindowError::OutsideFolder, MessageKind::Error, listing->title());
        return;
    }
    if (!TargetPath::ensureWritableFolder(folder)) {
        reportError(ERROR_PLACE("downloadPlaylist"), WindowError::FolderNotWritable, MessageKind::Error, folder);
        return;
    }
    const PlaylistPanel::Quality quality = playlistPanel->quality();
    JobRequest pattern;
    pattern.kind = quality.kind;
    pattern.selector = quality.selector;
    pattern.cookieSource = downloader->cookies();
    const QList<JobRequest> requests = PlaylistJobs::requests(entries, pattern, folder, listing->address());
    LOG_DEBUG << "downloadPlaylist" << ":" << "jobs" << ":" << int(requests.size()) << ":" << folder;
    for (const JobRequest &request : requests)
        jobs->add(request);
    showDownloads();
    showPage(PageLayout::AddressPage);
}

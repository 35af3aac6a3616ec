#include "Sniffer.h"

#include "JobQueue.h"
#include "LogLine.h"
#include "TargetPath.h"
#include "BusyText.h"
#include "ToolOutput.h"
#include "PlaylistPanel.h"
#include "ui_Options.h"

#include <QDir>
#include <QProgressBar>
#include <QShortcut>

void Sniffer::initDownloader()
{
    LOG_DEBUG << "initDownloader" << ":" << "OK";
    // Owned by the window: its runs end when the window goes.
    downloader = new Downloader(this);
    connect(downloader, &Downloader::hasError, this, &Sniffer::onDownloaderError);
    connect(downloader, &Downloader::haveTitle, this, &Sniffer::postTitleRequest);
    connect(downloader, &Downloader::haveFormats, this, &Sniffer::postFormatsRequest);
    connect(downloader, &Downloader::snifferUpdated, this, &Sniffer::postUpdateSniffer);

    auto *update = new QShortcut(QKeySequence(QStringLiteral("Ctrl+U")), this);
    update->setContext(Qt::WindowShortcut);
    connect(update, &QShortcut::activated, this, &Sniffer::updateSniffer);

    connect(options->btnSelectPath, &QPushButton::clicked, this, &Sniffer::selectSavePath);
    initToolSettings();
    initFinishSettings();
}

void Sniffer::postTitleRequest()
{
    // A playlist's page shows the playlist, not its first item.
    if (workflow.isPlaylist()) {
        workflow.answer(AddressWorkflow::Answer::Title);
        return;
    }
    MediaInfo *info = downloader->info;
    if (info->title.isEmpty())
        info->title = QStringLiteral("default");
    if (info->duration == QLatin1String("0:00"))
        options->lblDLLength->hide();
    else if (options->lblDLLength->isHidden())
        options->lblDLLength->show();
    LOG_DEBUG << "postTitleRequest" << ":" << "Title" << ":" << info->title;
    LOG_DEBUG << "postTitleRequest" << ":" << "Length" << ":" << info->duration;
    options->lblTitle->setText(info->title);
    options->inputTitle->setText(info->title);
    options->lblDLLength->setText(info->duration);
    if (workflow.answer(AddressWorkflow::Answer::Title))
        showPage(PageLayout::DownloadPage);
}

void Sniffer::postFormatsRequest()
{
    LOG_DEBUG << "postFormatsRequest" << ":" << "OK";
    if (workflow.isPlaylist()) {
        workflow.answer(AddressWorkflow::Answer::Formats);
        // The batch's heights are those of its first entry.
        playlistPanel->setHeights(offeredHeights());
        return;
    }
    QListWidget *list = options->listFormats;
    list->clear();
    const bool pageDue = workflow.answer(AddressWorkflow::Answer::Formats);
    showSubtitleChoice();
    const QList<FormatInfo> &formats = downloader->info->formats;

    // Each address sets both buttons: sound alone offers "Download audio"
    // alone, anything else both, whatever the address before offered.
    const bool soundOnly = formats.size() == 1
                           && (formats.first().extension == QLatin1String("mp3")
                               || formats.first().resolution == QLatin1String("audio-only"));
    options->btnDownloadVideo->setHidden(soundOnly);
    options->btnDownloadAudio->show();
    if (formats.size() <= 1) {
        // Nothing to choose from.
        list->hide();
        if (pageDue)
            showPage(PageLayout::DownloadPage);
        return;
    }

    static const QMap<QString, QString> icons{{QStringLiteral("mp4"), QStringLiteral(":/signMP4")},
                                              {QStringLiteral("3gp"), QStringLiteral(":/sign3GP")},
                                              {QStringLiteral("flv"), QStringLiteral(":/signFLV")},
                                              {QStringLiteral("webm"), QStringLiteral(":/signWebM")}};
    int selected = 0;
    int rows = 0;
    for (const FormatInfo &format : formats) {
        QString text = format.resolution + QLatin1Char('\t') + format.description;
        if (format.best) {
            text += QStringLiteral(" (best)");
            selected = rows;
        }
        auto *row = new QListWidgetItem(QIcon(icons.value(format.extension, QStringLiteral(":/signNONE"))),
                                        text, list);
        row->setSizeHint(QSize(120, 26));
        row->setData(Qt::UserRole, format.code);
        ++rows;
    }
    list->setIconSize(QSize(87, 23));
    list->setCurrentRow(selected);
    // However long the listing, the list scrolls inside a bounded height.
    list->setMinimumHeight(formatRowSpacing * qMin(rows, maxShownFormats));
    if (list->isHidden())
        list->show();
    if (pageDue)
        showPage(PageLayout::DownloadPage);
}

void Sniffer::runDownloader()
{
    LOG_DEBUG << "runDownloader" << ":" << "OK";
    QString name = TargetPath::cleanName(options->inputTitle->text());
    if (name.isEmpty())
        name = QStringLiteral("default");

    const QString folder = options->selectPath->currentText();
    if (!TargetPath::ensureWritableFolder(folder)) {
        reportError(ERROR_PLACE("runDownloader"), WindowError::FolderNotWritable, MessageKind::Error, folder);
        return;
    }

    // The row carries its own code, passed as it stands: texts alone can
    // repeat across addresses, and "0" is a code like any other.
    const QList<FormatInfo> &formats = downloader->info->formats;
    FormatInfo chosen;
    const QListWidgetItem *row = options->listFormats->currentItem();
    if (row && !options->listFormats->isHidden()) {
        const QString code = row->data(Qt::UserRole).toString();
        for (const FormatInfo &format : formats) {
            if (format.code == code)
                chosen = format;
        }
    } else if (formats.size() == 1) {
        chosen = formats.first();
    }
    // Sound alone where the page has it apart, else the best single file.
    const QString code = workflow.downloadKind() == AddressWorkflow::Kind::Audio ? QStringLiteral("ba/b") : chosen.code;
    // A proposal only: the tool names the file after the container it
    // writes, and the download reports which that was.
    const QString extension = TargetPath::safeExtension(chosen.extension, QStringLiteral("mp4"));

    const QString base = TargetPath::freeStem(folder, name);
    const bool audio = workflow.downloadKind() == AddressWorkflow::Kind::Audio;
    const QString target = base + QLatin1Char('.') + extension;
    LOG_DEBUG << "runDownloader" << ":" << "format" << ":" << code;
    LOG_DEBUG << "runDownloader" << ":" << "target" << ":" << target;
    if (!TargetPath::insideFolder(folder, target) || !TargetPath::insideFolder(folder, base + QStringLiteral(".mp3"))) {
        reportError(ERROR_PLACE("runDownloader"), WindowError::OutsideFolder, MessageKind::Error, target);
        return;
    }
    const std::optional<FinishChoices> finish = finishChoices();
    if (!finish)
        return;
    JobRequest request;
    request.source = JobSource::Address;
    request.finish = *finish;
    request.kind = audio ? JobKind::Audio : JobKind::Video;
    request.name = name;
    request.address = enteredAddress;
    request.selector = code;
    request.target = target;
    request.cookieSource = downloader->cookies();
    // The busy page follows the job; Back leaves it running in the list.
    progressBarStart();
    followed = jobs->add(request);
}

void Sniffer::onDownloaderError(Downloader::errors error)
{
    // The update reports on its own; any other error says which run it ended.
    const bool addressRun = error != Downloader::UpdateFailed && downloader->addressRunFailed();
    // The listing decides first whether the first item's runs matter.
    if (addressRun && workflow.holdsAddressErrors()) {
        if (!heldError)
            heldError = HeldError{int(error), downloader->toolLine()};
        LOG_ERROR << "onDownloaderError" << ":" << int(error) << ":" << "held for the listing";
        return;
    }
    if (!workflow.reportError(addressRun)) {
        LOG_ERROR << "onDownloaderError" << ":" << int(error) << ":" << "already reported";
        return;
    }
    showPage(PageLayout::AddressPage);
    // The tool's own words as the detail: the catalogue says what they mean.
    reportError(ERROR_PLACE("onDownloaderError"), int(error), MessageKind::DownloaderError, downloader->toolLine());
}

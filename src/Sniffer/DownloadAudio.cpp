#include "Sniffer.h"

#include "LogLine.h"
#include "TargetPath.h"
#include "ui_Options.h"
#include "ui_Settings.h"

#include <QDir>
#include <QFileInfo>

void Sniffer::downloadAudio()
{
    TRACE("downloadAudio");
    workflow.startDownload(AddressWorkflow::Kind::Audio);
    if (options->selectPath->currentText() == settingsUi->pathVideo->text()) {
        options->selectPath->insertItem(0, settingsUi->pathAudio->text());
        options->selectPath->setCurrentIndex(0);
    }
    runDownloader();
}

void Sniffer::extractAudio()
{
    TRACE("extractAudio");
    progressBarStart(busyStepExtracting);
    downloader->extractAudio(QDir::toNativeSeparators(mediaFilePath), QDir::toNativeSeparators(audioFilePath));
}

void Sniffer::onOldSnifferDownloadFinished(const QString &file)
{
    if (workflow.sniffedKind() != AddressWorkflow::Kind::Audio)
        return;
    mediaFilePath = file;
    const QFileInfo saved(file);
    const QString base = QDir::fromNativeSeparators(saved.absolutePath() + QDir::separator()
                                                    + saved.completeBaseName());
    // An MP3 already there (the stream itself may be one) is not overwritten.
    audioFilePath = TargetPath::freePath(base, QStringLiteral("mp3"));
    if (!TargetPath::insideFolder(saved.absolutePath(), audioFilePath)) {
        reportError(ERROR_PLACE("onOldSnifferDownloadFinished"), WindowError::OutsideFolder, MessageKind::Error,
                    audioFilePath);
        return;
    }
    extractAudio();
}

#include "Sniffer.h"

#include "LogLine.h"
#include "UserDialogs.h"

#include <QProgressBar>

void Sniffer::downloadVideo()
{
    TRACE("downloadVideo");
    downloadKind = FileStep;
    runDownloader();
}

void Sniffer::postDownload()
{
    TRACE("postDownload");
    progressBar->setValue(progressBar->maximum());
    UserDialogs::showMessage(this, QMessageBox::Information, tr("File downloading"), tr("Download complete"));
    if (sniffedDownloadKind == AudioStep) {
        sniffedDownloadKind = FileStep;
        showPage(PageLayout::SniffedPage);
    } else {
        showPage(PageLayout::AddressPage);
    }
}

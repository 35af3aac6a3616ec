#include "Sniffer.h"

#include "LogLine.h"
#include "UserDialogs.h"

#include <QProgressBar>

void Sniffer::downloadVideo()
{
    TRACE("downloadVideo");
    workflow.startDownload(AddressWorkflow::Kind::Video);
    runDownloader();
}

void Sniffer::postDownload()
{
    TRACE("postDownload");
    progressBar->setValue(progressBar->maximum());
    UserDialogs::showMessage(this, QMessageBox::Information, tr("File downloading"), tr("Download complete"));
    showPage(workflow.finishDownload() ? PageLayout::SniffedPage : PageLayout::AddressPage);
}

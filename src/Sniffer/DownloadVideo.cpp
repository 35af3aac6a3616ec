#include "Sniffer.h"

#include "BusyText.h"
#include "LogLine.h"
#include "UserDialogs.h"

#include <QFileInfo>
#include <QProgressBar>
#include <QUrl>

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
    const bool sniffed = workflow.sniffedKind() == AddressWorkflow::Kind::Audio;
    const QString file = sniffed || workflow.downloadKind() == AddressWorkflow::Kind::Audio ? audioFilePath
                                                                                          : mediaFilePath;
    if (UserDialogs::ask(this, QMessageBox::Information, tr("File downloading"), BusyText::completion(file),
                         tr("Open folder")))
        UserDialogs::open(QUrl::fromLocalFile(QFileInfo(file).absolutePath()));
    showPage(workflow.finishDownload() ? PageLayout::SniffedPage : PageLayout::AddressPage);
}

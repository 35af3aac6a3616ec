#include "Sniffer.h"

#include "LogLine.h"
#include "ui_Options.h"
#include "ui_Settings.h"

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

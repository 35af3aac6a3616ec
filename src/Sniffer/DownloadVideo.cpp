#include "Sniffer.h"

#include "LogLine.h"

void Sniffer::downloadVideo()
{
    TRACE("downloadVideo");
    workflow.startDownload(AddressWorkflow::Kind::Video);
    runDownloader();
}

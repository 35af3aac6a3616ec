#include "Sniffer.h"

#include "LogLine.h"
#include "SafeText.h"
#include "UrlCheck.h"
#include "ui_InsertURL.h"
#include "ui_Navigation.h"

void Sniffer::showURLField()
{
    TRACE("showURLField");
    workflow.openAddressPage(sender() == navigation->btnDownloaderYT ? AddressWorkflow::Sites::VideoSites
                                                                     : AddressWorkflow::Sites::OtherSites);
    insertURL->inputURL->setText(QString());
    insertURL->inputURL->setStyleSheet(styleSheetOf(insertURL->inputURL));
    urlHintArmed = true;
    showPage(PageLayout::AddressPage);
}

void Sniffer::focusOnInputURL()
{
    if (!urlHintArmed)
        return;
    insertURL->inputURL->setStyleSheet(styleSheetOf(insertURL->inputURL, 1));
}

void Sniffer::processURL()
{
    TRACE("processURL");
    // A copy often brings a line end or blanks along.
    const QString typed = insertURL->inputURL->text().trimmed();
    const QUrl url(typed, QUrl::TolerantMode);
    const QString address = SafeText::address(typed);
    if (!downloader->checkURL(url)) {
        reportError(ERROR_PLACE("processURL"), WindowError::BadAddress, MessageKind::Error, address);
        return;
    }
    if (!UrlCheck::hostAccepted(UrlCheck::encodedHost(url), settingsFile.list(workflow.hostList()))) {
        reportError(ERROR_PLACE("processURL"), workflow.hostError(), MessageKind::Error, address);
        return;
    }
    enteredAddress = url;
    workflow.addressAccepted();
    progressBarStart(busyStepAsking);
    downloader->requestTitle();
    downloader->requestFormats();
    startListing();
}

void Sniffer::quorlSetDefaultURL()
{
    ++testUrlIndex;
    insertURL->inputURL->setFocus(Qt::OtherFocusReason);
    focusOnInputURL();
    insertURL->inputURL->setText(settingsList("quorl_test_urls").value(testUrlIndex));
    if (testUrlIndex == 3)
        testUrlIndex = 0;
}

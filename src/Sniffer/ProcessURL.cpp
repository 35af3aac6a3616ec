#include "Sniffer.h"

#include "LogLine.h"
#include "UrlCheck.h"
#include "ui_InsertURL.h"
#include "ui_Navigation.h"

void Sniffer::showURLField()
{
    TRACE("showURLField");
    if (sender() == navigation->btnDownloaderYT) {
        activeUrlList = QStringLiteral("yt_urls");
        activeUrlError = 2;
    } else {
        activeUrlList = QStringLiteral("os_urls");
        activeUrlError = 1;
    }
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
    const QUrl url(insertURL->inputURL->text(), QUrl::TolerantMode);
    if (!downloader->checkURL(url)) {
        LOG_ERROR << "processURL" << ":" << 1;
        fillErrorContext(__FILE__, __LINE__, "processURL");
        showError(1);
        return;
    }
    if (!UrlCheck::hostAccepted(UrlCheck::encodedHost(url), settingsFile.list(activeUrlList))) {
        LOG_ERROR << "processURL" << ":" << activeUrlError;
        fillErrorContext(__FILE__, __LINE__, "processURL");
        showError(activeUrlError);
        return;
    }
    titleArrived = false;
    formatsArrived = false;
    addressRequested = true;
    progressBarStart(100);
    downloader->requestTitle();
    downloader->requestFormats();
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

#include "Sniffer.h"

#include "CaptureSession.h"
#include "LogLine.h"
#include "SelfTest.h"
#include "ui_OldSniffer.h"

#include <QDesktopServices>
#include <QUrl>

void Sniffer::testSniffer()
{
    TRACE("testSniffer");
    const QString address = settingsList("test_sniffer").value(0);
    if (address.isEmpty()) {
        reportError(ERROR_PLACE("testSniffer"), WindowError::NoTestAddress);
        return;
    }
    if (oldSniffer->stackedWidget->currentIndex() == 0) {
        panelHeights[PageLayout::OldSniffer] = PageLayout::selfTestPanelHeight;
        oldSniffer->stackedWidget->setCurrentIndex(1);
    }
    showOldSniffer();
    const QUrl url(address);
    if (!SelfTest::isLocal(url)) {
        QDesktopServices::openUrl(url);
        return;
    }
    // Served and fetched by the program itself through the loopback
    // interface: a row proves capture without the internet.
    if (!capture->startSelfTest(url))
        LOG_WARNING << "testSniffer" << ":" << "the local test server cannot start";
    showCaptureState();
}

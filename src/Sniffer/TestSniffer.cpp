#include "Sniffer.h"

#include "LogLine.h"
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
    QDesktopServices::openUrl(QUrl(address));
}

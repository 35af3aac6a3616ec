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
        LOG_ERROR << "testSniffer" << ":" << 8;
        fillErrorContext(__FILE__, __LINE__, "testSniffer");
        showError(8);
        return;
    }
    if (oldSniffer->stackedWidget->currentIndex() == 0) {
        panelHeights[PageLayout::OldSniffer] = 320;
        oldSniffer->stackedWidget->setCurrentIndex(1);
    }
    showOldSniffer();
    QDesktopServices::openUrl(QUrl(address));
}

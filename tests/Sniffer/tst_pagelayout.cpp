#include "PageLayout.h"

#include <QtTest>

using namespace PageLayout;

class tst_PageLayout : public QObject
{
    Q_OBJECT

private slots:
    void everyPageHasItsHeight_data()
    {
        QTest::addColumn<int>("page");
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("navigation");
        QTest::newRow("main") << 0 << 60 << 0;
        QTest::newRow("busy") << 1 << 120 << 1;
        QTest::newRow("address") << 2 << 176 << 1;
        QTest::newRow("download, list hidden") << 3 << 255 << 1;
        QTest::newRow("settings") << 4 << 190 << 1;
        QTest::newRow("sniffed media") << 5 << 230 << 1;
        QTest::newRow("update") << 6 << 60 << 1;
        QTest::newRow("no such page") << 9 << 0 << 1;
    }

    void everyPageHasItsHeight()
    {
        QFETCH(int, page);
        QFETCH(int, height);
        QFETCH(int, navigation);
        const PanelFlags panels = pageTable().value(page);
        QCOMPARE(pageHeight(panels, defaultPanelHeights(), true, 84), height);
        QCOMPARE(navigationIndex(page), navigation);
        if (page <= 6)
            QCOMPARE(panels.size(), panelCount);
    }

    void theFormatListAddsItsHeight()
    {
        const PanelFlags download = pageTable().value(DownloadPage);
        QCOMPARE(pageHeight(download, defaultPanelHeights(), false, 84), 255 + 84);
        QMap<Panel, int> heights = defaultPanelHeights();
        heights[OldSniffer] = 320;
        QCOMPARE(pageHeight(pageTable().value(SniffedPage), heights, true, 0), 380);
    }

    void backFollowsTheLastRequestedPage()
    {
        PageHistory history;
        QCOMPARE(history.takeBackTarget(), int(MainPage));
        for (int page : {0, 2, 1, 3}) history.append(page);
        QCOMPARE(history.takeBackTarget(), int(AddressPage));
        QCOMPARE(history.size(), 0);
        for (int page : {0, 2, 3, 4}) history.append(page);
        QCOMPARE(history.takeBackTarget(), int(MainPage));
        for (int page : {5}) history.append(page);
        QCOMPARE(history.takeBackTarget(), int(MainPage));
    }
};

QTEST_GUILESS_MAIN(tst_PageLayout)
#include "tst_pagelayout.moc"

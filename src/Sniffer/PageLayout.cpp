#include "PageLayout.h"

namespace PageLayout {

QMap<int, PanelFlags> pageTable()
{
    auto page = [](bool nav, bool url, bool options, bool progress, bool settings, bool sniffer) {
        return PanelFlags{{Navigation, nav}, {InsertURL, url}, {Options, options},
                          {Progress, progress}, {Settings, settings}, {OldSniffer, sniffer}};
    };
    return {
        {MainPage, page(true, false, false, false, false, false)},
        {BusyPage, page(false, false, false, true, false, false)},
        {AddressPage, page(true, true, false, false, false, false)},
        {DownloadPage, page(true, false, true, false, false, false)},
        {SettingsPage, page(true, false, false, false, true, false)},
        {SniffedPage, page(true, false, false, false, false, true)},
        {UpdatePage, page(true, false, false, false, false, false)},
    };
}

QMap<Panel, int> defaultPanelHeights()
{
    return {{Navigation, 60}, {OldSniffer, sniffedPanelHeight}, {InsertURL, 116},
            {Options, 300},   {Progress, 120},   {Settings, 449}};
}

int pageHeight(const PanelFlags &panels, const QMap<Panel, int> &heights,
               bool formatListHidden, int formatListHeight)
{
    int height = 0;
    for (auto it = panels.cbegin(); it != panels.cend(); ++it) {
        if (!it.value())
            continue;
        height += heights.value(it.key(), 0);
        if (it.key() == Options) {
            height -= 75;
            if (!formatListHidden)
                height += formatListHeight;
        }
    }
    return height;
}

} // namespace PageLayout

int PageHistory::takeBackTarget()
{
    const int lastPage = last();
    m_pages.clear();
    return lastPage == PageLayout::DownloadPage ? PageLayout::AddressPage : PageLayout::MainPage;
}

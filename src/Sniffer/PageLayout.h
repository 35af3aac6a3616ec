#pragma once

#include <QList>
#include <QMap>

// The window's pages as choices of visible panels, and the window height
// each page needs. Plain data so the rules can be checked without a screen.
namespace PageLayout {

enum Panel { Navigation, InsertURL, Options, Progress, Settings, OldSniffer };
inline constexpr int panelCount = 6;

enum Page {
    MainPage = 0, BusyPage = 1, AddressPage = 2, DownloadPage = 3,
    SettingsPage = 4, SniffedPage = 5, UpdatePage = 6
};

using PanelFlags = QMap<Panel, bool>;

// Height of the sniffed-media panel with its buttons, and with the sniffer
// test's instructions in their place.
inline constexpr int sniffedPanelHeight = 230;
inline constexpr int selfTestPanelHeight = 320;
// The download page's subtitle row, shown when the page offers subtitles.
inline constexpr int subtitleRowHeight = 58;

// Every page lists all six panels with their visibility.
QMap<int, PanelFlags> pageTable();
QMap<Panel, int> defaultPanelHeights();

// Sum of the shown panels' heights; the download options panel gives back
// 75 px and takes the format list's height when the list is shown.
int pageHeight(const PanelFlags &panels, const QMap<Panel, int> &heights,
               bool formatListHidden, int formatListHeight);

// Index of the navigation bar's inner stack: main buttons or the back bar.
inline int navigationIndex(int page) { return page == MainPage ? 0 : 1; }

} // namespace PageLayout

// Every page requested, oldest first; Back reads only the last one.
class PageHistory
{
public:
    void append(int page) { m_pages.append(page); }
    // Where Back leads: the address page from the download page, else the
    // main page. Clears the history.
    int takeBackTarget();
    int last() const { return m_pages.isEmpty() ? -1 : m_pages.last(); }
    qsizetype size() const { return m_pages.size(); }

private:
    QList<int> m_pages;
};

#pragma once

#include "AddressWorkflow.h"
#include "AppUpdateCheck.h"
#include "BrowserStream.h"
#include "Downloader.h"
#include "JobTypes.h"
#include "MediaReport.h"
#include "MessageCatalogue.h"
#include "PageLayout.h"
#include "SettingsFile.h"
#include "SniffedItems.h"
#include "ToolHealthCheck.h"

#include <QDate>
#include <QDialog>
#include <QHash>
#include <QMap>
#include <QPointer>
#include <QStringList>

#include <optional>

class BrowserCapture;
class PlaylistListing;
class PlaylistPanel;
class DownloadsWindow;
class JobKeeper;
class JobQueue;
class CaptureSession;
class StreamReader;
class QComboBox;
namespace streams { struct StreamInfo; }
class CYouTubeDownloadDlg;
class QAction;
class QFileDialog;
class QListWidgetItem;
class QProgressBar;
class QPushButton;
class QTimer;

namespace Ui {
class Sniffer;
class Navigation;
class InsertURL;
class Options;
class Progress;
class Settings;
class OldSniffer;
class DialogAbout;
}

// The one main window: a column of six panels, of which each page shows a
// choice. The window wires the forms to the downloader driver, the capture
// engines and the transfer dialog; the decisions live in plain classes.
class Sniffer : public QDialog
{
    Q_OBJECT

public:
    // Busy bar steps: asking for an address's title and formats, extracting audio.
    static constexpr int busyStepAsking = 100;
    static constexpr int busyStepExtracting = 800;
    // How long a sniffed-media button shows its pressed picture.
    static constexpr int pressedLookMs = 300;
    // Rows of the format list shown at once, and the height each takes.
    static constexpr int maxShownFormats = 8;
    static constexpr int formatRowSpacing = 28;

    explicit Sniffer(QWidget *parent = nullptr);
    ~Sniffer() override;

    void initWidgets();
    void initDownloader();
    void initClickHelp();
    void initClickDownloadOS();
    // False when the application must end (an update is being installed).
    bool launchUpdater();
    void showMainDialog();
    bool checkLastUpdateDate();

    void showPage(int page);
    int currentPage() const { return m_currentPage; }
    void showErrorMessage(int code, MessageKind kind);
    void showWarning(int code);
    void showError(int code);
    void showDownloaderError(int code);

    // Read by tests and by the start-up code.
    const SettingsFile &settingsStore() const { return settingsFile; }
    QWidget *panel(PageLayout::Panel which) const;
    Ui::Navigation *navigationForm() const { return navigation; }
    Ui::InsertURL *insertUrlForm() const { return insertURL; }
    Ui::Options *optionsForm() const { return options; }
    Ui::Progress *progressForm() const { return progress; }
    Ui::Settings *settingsForm() const { return settingsUi; }
    Ui::OldSniffer *oldSnifferForm() const { return oldSniffer; }
    QTimer *busyIndicatorTimer() const { return busyTimer; }
    QDialog *aboutDialog() const { return aboutBox; }
    const SniffedItems &sniffedList() const { return sniffedItems; }
    QComboBox *qualityChoice() const { return qualityBox; }
    // The download page's entries when the address is a playlist.
    PlaylistPanel *playlistView() const { return playlistPanel; }
    // The link to the capture engines; reports queued here reach the list.
    CaptureSession *captureSession() const { return capture; }
    // The link to the browsers' native hosts; started with the page.
    BrowserCapture *browserCapture() const { return browser; }
    const AddressWorkflow &addressWorkflow() const { return workflow; }
    // Every save as a job, and the list that shows them.
    JobQueue *jobQueue() const { return jobs; }
    DownloadsWindow *downloadsView() const;
    // The address download the busy page follows, 0 when none.
    qint64 followedJob() const { return followed; }
    // Names of the slots a help command may call.
    static const QStringList &helpCommands();
    // The calendar day the window goes by; tests move it.
    void setToday(const QDate &day) { m_today = day; }
    QDate today() const { return m_today.isValid() ? m_today : QDate::currentDate(); }
    // initWidgets, the menus and the driver, in start-up order.
    void initialise();
    // Whether the application update check may run; tests decide it.
    void setUpdateCheckAllowed(bool allowed) { m_updateCheckOverride = allowed ? 1 : 0; }
    void setUpdateLimits(const AppUpdateCheck::Limits &limits) { updateLimits = limits; }

signals:
    void downloadFinished(const QString &file);

public slots:
    // User commands, reachable from the help menu.
    void showAboutDialog();
    void quorlSetDefaultURL();
    void updateSniffer();
    void testSniffer();
    void showOldSniffer();
    void runOldSniffer();
    void showOptions();
    void showDownloads();

    // Escape goes back a page; it never ends the application.
    void reject() override;

    // Addresses handed over by a later start of the program: queued at the
    // default quality, or opened on the download page one after another,
    // each once the window is done with the one before (Handover.cpp).
    void takeHandover(const QList<QUrl> &addresses, bool queue);
    // Streams the browser's host handed over to save as they are: a job each,
    // no question asked (Handover.cpp).
    void saveBrowserStreams(const QList<BrowserStream> &streams);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

public slots:
    void focusChanged(QWidget *old, QWidget *now);

private slots:
    // Pages and busy indicator.
    void showPreviousPage();
    void progressBarIteration();
    void stopLastProcess();
    void closeAboutDialog();

    // Address download.
    void showURLField();
    void processURL();
    void postTitleRequest();
    void postFormatsRequest();
    void runDownloader();
    void showPercents(float percent);
    void showSpeed(const QString &speed, const QString &timeLeft);
    void onDownloaderError(Downloader::errors error);
    void downloadVideo();
    void downloadAudio();
    void setSaveFilePath();
    void selectSavePath();
    void selectDefaultFilePath();
    void saveDefaultFilePath();
    void postUpdateSniffer();
    // Jobs.
    void showFollowedJob(int row);
    void onJobEnded(qint64 id, const JobResult &result);

    // Sniffed-media page.
    void addSniffedReport(const MediaReport &report);
    void addBrowserReport(const MediaReport &report, bool anySize, const QString &title, const QDateTime &seen);
    // The page's word on whether a browser is connected.
    void showBrowserState();
    void onClickOldSnifferPreview();
    void onClickOldSnifferRemove();
    void onClickOldSnifferDownloadVideo();
    void onClickOldSnifferDownloadAudio();
    void onClickOldSnifferDownload();
    void onClickOldSnifferListItem();
    void onClickOldSnifferListItem(QListWidgetItem *item);
    void onSaveFilterSelected(const QString &filter);
    void changeButtonIcon();
    void onStreamRead(int number, const streams::StreamInfo &info);

    // Menus.
    void onClickHelp();
    void onClickHelpItem();
    void onRightClickDownloadOS(const QPoint &pos);
    void onClickDownloadOSItem();

private:
    friend class ScreenshotTour;

    // Codes of the "warning_messages" list: a stream that needs a licence, a
    // recording's words in the transfer dialog and boxes.
    enum StreamWarning : int {
        ProtectedStreamWarning = 7,
        RecordingTitle = 8,
        RecordingAmounts = 9,
        RecordingStop = 10,
        RecordingStopping = 11,
        RecordingCutShort = 12,
        LiveDashWarning = 13,
    };

    void progressBarStart();
    void progressBarStart(int interval);
    void focusOnInputURL();
    // Logs the error at its place, fills errorContext from the same place
    // and shows the catalogue's message.
    void reportError(const ErrorPlace &place, int code, MessageKind kind = MessageKind::Error,
                     const QString &comment = QString());
    // Ends a running address download, extraction or sniffed save, so that
    // nothing is left running or half-written when the window goes.
    void endRunningWork();
    QString styleSheetOf(QWidget *widget, int dropLast = 0) const;

    bool updateCheckAllowed() const;
    void refreshSniffedList();
    // The catalogue's words on the page when capture is not running.
    void showCaptureState();
    void setItemState(int index, int state);
    void pressButtonFeedback(QPushButton *button, const QString &iconName);
    void downloadSniffedItem(int index);
    // A streaming manifest's row: saved whole by the downloader tool.
    void downloadSniffedStream(int index);
    // The job of a sniffed row, with its dialog as a view of it: closing the
    // dialog leaves the job running.
    void startSniffedJob(int index, const JobRequest &request);
    void followSniffedJob(qint64 id);
    void endSniffedJob(qint64 id, const JobResult &result);
    void initJobs();
    // A desktop notification of a job's end.
    void noteJobEnd(qint64 id, const JobResult &result);
    // "Downloads at once" and "Resume unfinished downloads at start".
    void storeJobSettings();
    // The main page's word on the jobs: "Downloads: 2 running, 1 waiting".
    void showJobCount();
    // The queue's jobs are paused (a recording ends) and their engines gone.
    void pauseJobs();
    // The same, and the history written and let go.
    void closeJobs();
    // The quality choice beside the buttons, for a stream's row.
    void showQualityChoice(int index);
    // name: the stream's name, proposed as the file's.
    QString showSaveDialog(const QString &itemType, const QString &name);
    int selectedItemIndex() const;
    // The downloader's settings: release address, cookies, health line.
    void initToolSettings();
    void storeToolSettings();
    void applyToolSettings();
    // The network group: rate limit and proxy (NetworkSettings.cpp).
    void initNetworkSettings();
    void storeNetworkSettings();
    void applyNetworkSettings();
    void refreshToolHealth();
    void showToolHealth(const ToolHealth &health);
    // The finished file: settings, the download page's subtitles and part
    // (FinishPage.cpp). No value when the part is refused, with a box.
    void initFinishSettings();
    void storeFinishSettings();
    void showSubtitleChoice();
    std::optional<FinishChoices> finishChoices();

    // Shell.
    Ui::Sniffer *ui;
    SettingsFile settingsFile;
    SettingsList settingsList(const char *name) const { return settingsFile.list(QString::fromLatin1(name)); }

    // Pages.
    Ui::Navigation *navigation = nullptr;
    Ui::OldSniffer *oldSniffer = nullptr;
    Ui::InsertURL *insertURL = nullptr;
    Ui::Options *options = nullptr;
    Ui::Progress *progress = nullptr;
    Ui::Settings *settingsUi = nullptr;
    QPointer<ToolHealthCheck> healthCheck;
    QProgressBar *progressBar = nullptr;
    QTimer *busyTimer = nullptr;
    PageHistory pageHistory;
    QMap<int, PageLayout::PanelFlags> pageWidgets;
    QMap<PageLayout::Panel, int> panelHeights;
    QMap<QWidget *, QStringList> styleSheets;
    int m_currentPage = -1;
    QDate m_today;
    int m_updateCheckOverride = -1;
    AppUpdateCheck::Limits updateLimits;

    // Messages.
    QStringList errorContext;

    // Busy indicator and About box.
    QPointer<QDialog> aboutBox;
    Ui::DialogAbout *aboutForm = nullptr;
    Downloader *downloader = nullptr;

    // Address page and download flow.
    AddressWorkflow workflow;
    bool urlHintArmed = false;
    int testUrlIndex = 0;
    QUrl enteredAddress;    // as typed, credentials and all: the job's address
    bool closing = false;

    // Jobs.
    JobQueue *jobs = nullptr;
    JobKeeper *keeper = nullptr;
    QPointer<DownloadsWindow> downloadsWindow;
    qint64 followed = 0;
    struct SniffedJob
    {
        int itemNumber = 0;
        QPointer<CYouTubeDownloadDlg> dialog;
    };
    QHash<qint64, SniffedJob> sniffedJobs;

    // Sniffed-media page.
    bool oldSnifferInitialised = false;
    SniffedItems sniffedItems;
    CaptureSession *capture = nullptr;
    BrowserCapture *browser = nullptr;
    bool browserRowsPending = false;
    StreamReader *streamReader = nullptr;
    QComboBox *qualityBox = nullptr;
    QPushButton *pressedButton = nullptr;
    QString pressedIconName;
    bool iconPressedShown = false;

    // Addresses handed over, opened in turn.
    void openNextHanded();
    QList<QUrl> handedAddresses;
    QUrl handedOpen;             // the one on the pages now
    bool handedShown = false;    // it reached the download page
    QTimer *handoverTimer = nullptr;
    QStringList browserSaveTargets;   // files of the browser's saves, never given twice

    // Playlists (PlaylistPage.cpp).
    void initPlaylist();
    void startListing();
    // The listing's verdict: one item, or a playlist listed to its end.
    void listingDone();
    // The heights the first entry offers, highest first.
    QList<int> offeredHeights() const;
    void showPlaylistMode(bool on);
    void downloadPlaylist();
    PlaylistListing *listing = nullptr;
    PlaylistPanel *playlistPanel = nullptr;
    QList<QWidget *> hiddenForPlaylist;
    struct HeldError
    {
        int code = 0;
        QString toolLine;
    };
    std::optional<HeldError> heldError;

    // Menus.
    struct HelpItem { QAction *action; QString command; QString text; };
    struct SiteItem { QAction *action; QString site; };
    QList<HelpItem> helpItems;
    QList<SiteItem> siteItems;
};

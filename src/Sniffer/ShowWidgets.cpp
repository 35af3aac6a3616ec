#include "Sniffer.h"

#include "LogLine.h"
#include "PlaylistPanel.h"
#include "Version.h"
#include "ui_DialogAbout.h"
#include "ui_InsertURL.h"
#include "ui_Navigation.h"
#include "ui_OldSniffer.h"
#include "ui_Options.h"
#include "ui_Progress.h"
#include "ui_Settings.h"
#include "ui_Sniffer.h"

#include <QSettings>
#include <QTimer>

using namespace PageLayout;

void Sniffer::showPage(int page)
{
    pageHistory.append(page);
    if (page == DownloadPage) {
        // Both answers for the current address, not for an earlier one.
        if (!workflow.answersIn())
            return;
        setSaveFilePath();
        showPlaylistMode(workflow.isPlaylist());
    }

    QStackedWidget *stack = navigation->stackedWidget;
    const int index = navigationIndex(page);
    if (index == 0 || stack->currentIndex() != index)
        stack->setCurrentIndex(index);

    const PanelFlags panels = pageWidgets.value(page);
    for (auto it = panels.cbegin(); it != panels.cend(); ++it)
        panel(it.key())->setVisible(it.value());
    // A playlist's entries take the room of the format list and the name field.
    const bool entries = page == DownloadPage && workflow.isPlaylist();
    setFixedHeight(pageHeight(panels, panelHeights, options->listFormats->isHidden(), options->listFormats->height())
                   + (entries ? PlaylistPanel::panelHeight - 70 : 0));
    m_currentPage = page;

    if (ui->widgetProgress->isHidden() && busyTimer->isActive())
        busyTimer->stop();
}

void Sniffer::showPreviousPage()
{
    TRACE("showPreviousPage");
    showPage(pageHistory.takeBackTarget());
}

void Sniffer::showOptions()
{
    TRACE("showOptions");
    showPage(SettingsPage);
    refreshToolHealth();
}

void Sniffer::showMainDialog()
{
    TRACE("showMainDialog");
    showPage(MainPage);
    show();
    if (checkLastUpdateDate())
        updateSniffer();
}

void Sniffer::initWidgets()
{
    TRACE("initWidgets");
    navigation = new Ui::Navigation;
    navigation->setupUi(ui->widgetNavigation);
    connect(navigation->btnDownloaderYT, &QPushButton::clicked, this, &Sniffer::showURLField);
    connect(navigation->btnDownloaderOS, &QPushButton::clicked, this, &Sniffer::showURLField);
    connect(navigation->btnSniffer, &QPushButton::clicked, this, &Sniffer::runOldSniffer);
    connect(navigation->btnBack, &QPushButton::clicked, this, &Sniffer::showPreviousPage);
    connect(navigation->btnOptions, &QPushButton::clicked, this, &Sniffer::showOptions);
    connect(navigation->btnOptions_2, &QPushButton::clicked, this, &Sniffer::showOptions);
    connect(navigation->btnHelp, &QPushButton::clicked, this, &Sniffer::onClickHelp);
    connect(navigation->btnHelp_2, &QPushButton::clicked, this, &Sniffer::onClickHelp);
    connect(navigation->btnDownloads, &QPushButton::clicked, this, &Sniffer::showDownloads);

    oldSniffer = new Ui::OldSniffer;
    oldSniffer->setupUi(ui->widgetOldSniffer);

    insertURL = new Ui::InsertURL;
    insertURL->setupUi(ui->widgetInsertURL);
    connect(insertURL->btnProcessURL, &QPushButton::clicked, this, &Sniffer::processURL);
    connect(insertURL->inputURL, &QLineEdit::returnPressed, this, &Sniffer::processURL);

    options = new Ui::Options;
    options->setupUi(ui->widgetOptions);
    connect(options->btnDownloadVideo, &QPushButton::clicked, this, &Sniffer::downloadVideo);
    connect(options->btnDownloadAudio, &QPushButton::clicked, this, &Sniffer::downloadAudio);

    progress = new Ui::Progress;
    progress->setupUi(ui->widgetProgress);
    progressBar = progress->progressBar;
    busyTimer = new QTimer(this);
    connect(busyTimer, &QTimer::timeout, this, &Sniffer::progressBarIteration);
    connect(progress->btnCloseProgress, &QPushButton::clicked, this, &Sniffer::stopLastProcess);

    settingsUi = new Ui::Settings;
    settingsUi->setupUi(ui->widgetSettings);
    connect(settingsUi->btnSave, &QPushButton::clicked, this, &Sniffer::saveDefaultFilePath);
    connect(settingsUi->btnSelectAudioPath, &QToolButton::clicked, this, &Sniffer::selectDefaultFilePath);
    connect(settingsUi->btnSelectVideoPath, &QToolButton::clicked, this, &Sniffer::selectDefaultFilePath);

    panelHeights = defaultPanelHeights();
    pageWidgets = pageTable();

    styleSheets[insertURL->inputURL] = {
        QStringLiteral("background-color: white"), QStringLiteral("background-position: center"),
        QStringLiteral("background-repeat: no-repeat"), QStringLiteral("border: 2px solid gray"),
        QStringLiteral("background-image: url(:/bgURL)")};
    styleSheets[ui->widgetNavigation] = {QStringLiteral("background-color:#1d1d1e")};
    const QString panelStyle = styleSheetOf(ui->widgetNavigation);
    for (int p = 0; p < panelCount; ++p)
        panel(Panel(p))->setStyleSheet(panelStyle);

    setWindowFlags((windowFlags() & ~Qt::WindowContextHelpButtonHint) | Qt::WindowStaysOnTopHint
                   | Qt::WindowMinimizeButtonHint);
    setWindowTitle(QStringLiteral("Vidarro") + QStringLiteral(" v.") + QStringLiteral(VIDARRO_VERSION));
    setFixedWidth(400);

    settingsUi->pathVideo->setText(settingsFile.value(QStringLiteral("savepath_video")));
    settingsUi->pathAudio->setText(settingsFile.value(QStringLiteral("savepath_audio")));

    // Fixed pitch, so the list's columns line up under the header.
    QFont listFont(QStringLiteral("Courier New"), 9);
    listFont.setStyleHint(QFont::Monospace);
    listFont.setFixedPitch(true);
    listFont.setWeight(QFont::Thin); // weight 7 of the old 0-99 scale
    listFont.setItalic(false);
    oldSniffer->mediaList->setFont(listFont);
    oldSniffer->label->setFont(listFont);
    options->listFormats->setFont(listFont);
}

QString Sniffer::styleSheetOf(QWidget *widget, int dropLast) const
{
    const QStringList declarations = styleSheets.value(widget);
    return declarations.mid(0, qMax<qsizetype>(0, declarations.size() - dropLast)).join(QLatin1Char(';'));
}

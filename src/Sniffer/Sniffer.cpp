#include "Sniffer.h"

#include "DownloadsWindow.h"
#include "JobKeeper.h"
#include "JobQueue.h"
#include "StreamReader.h"

#include "BrowserCapture.h"
#include "CYouTubeDownloadDlg.h"
#include "CaptureSession.h"
#include "LogLine.h"
#include "ui_DialogAbout.h"
#include "ui_InsertURL.h"
#include "ui_Navigation.h"
#include "ui_OldSniffer.h"
#include "ui_Options.h"
#include "ui_Progress.h"
#include "ui_Settings.h"
#include "ui_Sniffer.h"

#include <QCloseEvent>
#include <QMouseEvent>
#include <QSettings>
#include <QTime>

Sniffer::Sniffer(QWidget *parent)
    : QDialog(parent), ui(new Ui::Sniffer)
{
    ui->setupUi(this);
    qDebug().noquote().nospace() << "----->>>>>  "
                                 << LogLine::quoted(QTime::currentTime().toString(QStringLiteral("HH:mm:ss")))
                                 << "  <<<<<----- ";
    if (settingsFile.setSettingsFile())
        settingsFile.readSettings();
    oldSnifferInitialised = false;
    capture = new CaptureSession(this);
    connect(capture, &CaptureSession::reportArrived, this, &Sniffer::addSniffedReport);
    browser = new BrowserCapture(QString(), this);
    connect(browser, &BrowserCapture::reportArrived, this, &Sniffer::addBrowserReport);
    connect(browser, &BrowserCapture::browserConnectedChanged, this, &Sniffer::showBrowserState);
    streamReader = new StreamReader(&capture->streamSorter(), this);
    browser->setStreamSorter(&capture->streamSorter());
    connect(streamReader, &StreamReader::streamRead, this, &Sniffer::onStreamRead);
}

Sniffer::~Sniffer()
{
    endRunningWork();
    // Before the forms and members they report to go.
    delete downloadsWindow;
    delete keeper;
    delete jobs;
    delete downloader;
    delete streamReader;
    delete browser;
    delete capture;
    delete aboutForm;
    delete navigation;
    delete oldSniffer;
    delete insertURL;
    delete options;
    delete progress;
    delete settingsUi;
    delete ui;
}

void Sniffer::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::RightButton)
        emit customContextMenuRequested(event->position().toPoint());
}

void Sniffer::focusChanged(QWidget *old, QWidget *now)
{
    if (insertURL && now == insertURL->inputURL) {
        focusOnInputURL();
        return;
    }
    if (options && old == options->inputTitle)
        options->lblTitle->setText(options->inputTitle->text());
}

void Sniffer::closeEvent(QCloseEvent *event)
{
    TRACE("closeEvent");
    closing = true;
    endRunningWork();
    event->accept();
}

void Sniffer::endRunningWork()
{
    if (downloader && downloader->job() != 0)
        downloader->stop();
    // Running jobs pause and come back at the next start; nothing of theirs keeps running.
    closeJobs();
}

void Sniffer::reject()
{
    if (m_currentPage != PageLayout::MainPage)
        showPreviousPage();
}

QWidget *Sniffer::panel(PageLayout::Panel which) const
{
    switch (which) {
    case PageLayout::Navigation: return ui->widgetNavigation;
    case PageLayout::InsertURL: return ui->widgetInsertURL;
    case PageLayout::Options: return ui->widgetOptions;
    case PageLayout::Progress: return ui->widgetProgress;
    case PageLayout::Settings: return ui->widgetSettings;
    case PageLayout::OldSniffer: return ui->widgetOldSniffer;
    }
    return nullptr;
}

void Sniffer::initialise()
{
    initWidgets();
    initClickDownloadOS();
    initClickHelp();
    initDownloader();
    initJobs();
    initPlaylist();
}

#include "Sniffer.h"

#include "SniffedRowDelegate.h"

#include "BrowserCapture.h"
#include "CYouTubeDownloadDlg.h"
#include "CYouTubeDownloader.h"
#include "CaptureSession.h"
#include "StreamReader.h"
#include "JobQueue.h"
#include "LogLine.h"
#include "SafeText.h"
#include "SniffedRowDelegate.h"
#include "Platform.h"
#include "UserDialogs.h"
#include "ui_OldSniffer.h"

#include <QComboBox>
#include <QFileInfo>
#include <QProcess>
#include <QStackedWidget>
#include <QTimer>

namespace {

// Codes of the "warning_messages" list shown on the page.
enum CaptureWarning : int { NotPermittedWarning = 1, NoInterfaceWarning = 2, NotCapturingWarning = 3 };
// Codes of the same list for the page's word on browser capture.
enum BrowserWord : int { BrowserConnectedWord = 4, NoBrowserWord = 5, NotListeningWord = 6 };
// What the buttons' panel grows by to hold such a message whole.
constexpr int captureProblemHeight = 60;

// The message takes the list's place when the list is empty, and always
// during the sniffer test, which it explains first.
void showListOrProblem(Ui::OldSniffer *page, int rows)
{
    const bool problem = !page->lblCaptureProblem->text().isEmpty()
                         && (rows == 0 || page->stackedWidget->currentIndex() == 1);
    page->listStack->setCurrentWidget(problem ? static_cast<QWidget *>(page->lblCaptureProblem) : page->mediaList);
}

QIcon stateIcon(int state)
{
    static const QColor colours[] = {Qt::red, Qt::yellow, Qt::green};
    QPixmap square(16, 16);
    square.fill(colours[qBound(0, state, 2)]);
    return QIcon(square);
}

} // namespace

void Sniffer::showOldSniffer()
{
    if (oldSnifferInitialised) {
        refreshSniffedList();
        showCaptureState();
        showBrowserState();
        showPage(PageLayout::SniffedPage);
        return;
    }
    oldSnifferInitialised = true;
    connect(oldSniffer->pbDownloadAudio, &QPushButton::clicked, this, &Sniffer::onClickOldSnifferDownloadAudio);
    connect(oldSniffer->pbDownloadVideo, &QPushButton::clicked, this, &Sniffer::onClickOldSnifferDownloadVideo);
    connect(oldSniffer->pbRemove, &QPushButton::clicked, this, &Sniffer::onClickOldSnifferRemove);
    connect(oldSniffer->pbPreview, &QPushButton::clicked, this, &Sniffer::onClickOldSnifferPreview);
    connect(oldSniffer->mediaList, &QListWidget::itemClicked, this,
            qOverload<QListWidgetItem *>(&Sniffer::onClickOldSnifferListItem));
    oldSniffer->mediaList->setItemDelegate(new SniffedRowDelegate(oldSniffer->mediaList));
    qualityBox = new QComboBox(panel(PageLayout::OldSniffer));
    qualityBox->setObjectName(QStringLiteral("cbQuality"));
    qualityBox->setToolTip(tr("Quality to save"));
    qualityBox->hide();
    // A line of its own above the list: in the header it covered the column
    // names and the browser's word, and the buttons' row is full.
    qualityBox->setFixedHeight(20);
    qualityBox->setMaximumWidth(150);
    oldSniffer->verticalLayout_3->insertWidget(1, qualityBox, 0, Qt::AlignRight);
    // Rows of two lines: what room the page has goes to the list, the
    // buttons keep their own height (the test's instructions take more).
    oldSniffer->verticalLayout_3->setStretchFactor(oldSniffer->listStack, 1);
    QStackedWidget *below = oldSniffer->stackedWidget;
    const auto fitBelow = [below](int page) {
        below->setMaximumHeight(page == 0 ? below->widget(0)->sizeHint().height() : QWIDGETSIZE_MAX);
    };
    connect(below, &QStackedWidget::currentChanged, this, fitBelow);
    fitBelow(below->currentIndex());

    for (const QString &failure : capture->start())
        UserDialogs::showMessage(nullptr, QMessageBox::Critical, failure, failure);
    // Lists what the spool kept while no window listened.
    browser->start();

    refreshSniffedList();
    showCaptureState();
    showBrowserState();
    showPage(PageLayout::SniffedPage);
}

void Sniffer::showCaptureState()
{
    int code = 0;
    switch (capture->status()) {
    case CaptureSession::Status::NotStarted:
    case CaptureSession::Status::Capturing:
        break;
    case CaptureSession::Status::NotPermitted:
        code = NotPermittedWarning;
        break;
    case CaptureSession::Status::NoInterface:
        code = NoInterfaceWarning;
        break;
    case CaptureSession::Status::Failed:
        code = NotCapturingWarning;
        break;
    }
    QString text;
    if (code != 0) {
        const CatalogueMessage message =
            MessageCatalogue::message(settingsFile.settingsLists(), code, MessageKind::Warning, {});
        // The setcap line names this very program.
        text = QString(message.text).replace(QStringLiteral("{program}"), QCoreApplication::applicationFilePath());
        LOG_WARNING << "showCaptureState" << ":" << "not capturing" << ":" << code;
    }
    oldSniffer->lblCaptureProblem->setText(text);
    showListOrProblem(oldSniffer, sniffedItems.count());
    // The test panel has room enough; showPage applies the height.
    if (oldSniffer->stackedWidget->currentIndex() == 0)
        panelHeights[PageLayout::OldSniffer] = PageLayout::sniffedPanelHeight + (text.isEmpty() ? 0 : captureProblemHeight);
}

void Sniffer::showBrowserState()
{
    const int code = !browser->isListening() ? NotListeningWord
                     : browser->isBrowserConnected() ? BrowserConnectedWord : NoBrowserWord;
    const QString word = settingsList("warning_messages").value(code).section(QLatin1Char('~'), 1);
    oldSniffer->lblBrowser->setText(word);
    oldSniffer->lblBrowser->setToolTip(word);
}

void Sniffer::runOldSniffer()
{
    if (oldSniffer->stackedWidget->currentIndex() == 1) {
        panelHeights[PageLayout::OldSniffer] = PageLayout::sniffedPanelHeight;
        oldSniffer->stackedWidget->setCurrentIndex(0);
    }
    showOldSniffer();
}

void Sniffer::addSniffedReport(const MediaReport &report)
{
    const SniffedItems::Outcome outcome =
        sniffedItems.add(QString::fromLatin1(report.url), report.header, QString::fromLatin1(report.contentLength),
                         QString::fromLatin1(report.contentType), QTime::currentTime());
    if (outcome != SniffedItems::Added)
        return;
    const SniffedItem &item = sniffedItems.at(sniffedItems.count() - 1);
    if (item.stream)
        streamReader->read(item.number, QUrl(item.url), item.requestHeader);
    refreshSniffedList();
}

void Sniffer::addBrowserReport(const MediaReport &report, bool anySize, const QString &title, const QDateTime &seen)
{
    // A stream kept for the window while it was closed shows when it was played.
    const QTime played = seen.isValid() ? seen.toLocalTime().time() : QTime::currentTime();
    const SniffedItems::Outcome outcome =
        sniffedItems.add(QString::fromUtf8(report.url), report.header, QString::fromLatin1(report.contentLength),
                         QString::fromLatin1(report.contentType), played, anySize, title);
    if (outcome != SniffedItems::Added)
        return;
    const SniffedItem &item = sniffedItems.at(sniffedItems.count() - 1);
    if (item.stream)
        streamReader->read(item.number, QUrl(item.url), item.requestHeader);
    // Hosts hand over many streams at once: the list is rebuilt once for them all.
    if (browserRowsPending)
        return;
    browserRowsPending = true;
    QTimer::singleShot(0, this, [this] {
        browserRowsPending = false;
        refreshSniffedList();
    });
}

void Sniffer::refreshSniffedList()
{
    QListWidget *list = oldSniffer->mediaList;
    list->clear();
    const int count = sniffedItems.count();
    for (int i = count - 1; i >= 0; --i) {
        list->addItem(SniffedItems::rowText(sniffedItems.at(i)));
        list->item(list->count() - 1)->setToolTip(SniffedItems::toolTip(sniffedItems.at(i)));
        list->item(list->count() - 1)->setData(Qt::UserRole, sniffedItems.at(i).number);
        list->item(list->count() - 1)->setData(SniffedRowDelegate::NameRole, SniffedItems::nameLine(sniffedItems.at(i)));
    }
    for (int i = 0; i < count; ++i)
        setItemState(i, sniffedItems.at(i).state);
    showListOrProblem(oldSniffer, count);
    const bool any = count > 0;
    for (QPushButton *button : {oldSniffer->pbPreview, oldSniffer->pbRemove, oldSniffer->pbDownloadVideo,
                                oldSniffer->pbDownloadAudio})
        button->setEnabled(any);
    if (qualityBox && !any)
        qualityBox->hide();
    if (any) {
        list->setCurrentRow(0);
        onClickOldSnifferListItem();
    }
}

void Sniffer::setItemState(int index, int state)
{
    if (index < 0 || index >= sniffedItems.count())
        return;
    sniffedItems.setState(index, state);
    QListWidget *list = oldSniffer->mediaList;
    for (int row = 0; row < list->count(); ++row) {
        if (list->item(row)->data(Qt::UserRole).toInt() == sniffedItems.at(index).number)
            list->item(row)->setIcon(stateIcon(state));
    }
}

// By the row's number: items may have come or gone since the list was built.
int Sniffer::selectedItemIndex() const
{
    const QListWidgetItem *row = oldSniffer->mediaList->currentItem();
    return row ? sniffedItems.indexOfNumber(row->data(Qt::UserRole).toInt()) : -1;
}

void Sniffer::onClickOldSnifferListItem(QListWidgetItem *)
{
    onClickOldSnifferListItem();
}

void Sniffer::onClickOldSnifferListItem()
{
    const int index = selectedItemIndex();
    if (index < 0)
        return;
    oldSniffer->pbPreview->setEnabled(!sniffedItems.at(index).videoSite);
    showQualityChoice(index);
}

void Sniffer::pressButtonFeedback(QPushButton *button, const QString &iconName)
{
    pressedButton = button;
    pressedIconName = iconName;
    iconPressedShown = false;
    changeButtonIcon();
    QTimer::singleShot(pressedLookMs, this, &Sniffer::changeButtonIcon);
}

void Sniffer::changeButtonIcon()
{
    if (!pressedButton)
        return;
    pressedButton->setIcon(QIcon(iconPressedShown ? pressedIconName : pressedIconName + QStringLiteral("clc")));
    iconPressedShown = true;
}

void Sniffer::onClickOldSnifferPreview()
{
    pressButtonFeedback(oldSniffer->pbPreview, QStringLiteral(":/btnPreviewOSN"));
    const int index = selectedItemIndex();
    if (index < 0)
        return;
    const QString url = sniffedItems.at(index).url;
    LOG_DEBUG << "onClickOldSnifferPreview" << ":" << SafeText::address(url);
    capture->ignoreOnce(url);
    if (!url.isEmpty())
        QProcess::startDetached(Platform::companionProgram(QStringLiteral("ffplay")), {url.trimmed()});
}

void Sniffer::onClickOldSnifferRemove()
{
    pressButtonFeedback(oldSniffer->pbRemove, QStringLiteral(":/btnRemoveOSN"));
    const int index = selectedItemIndex();
    if (index < 0)
        return;
    sniffedItems.removeAt(index);
    refreshSniffedList();
}

void Sniffer::onClickOldSnifferDownloadVideo()
{
    pressButtonFeedback(oldSniffer->pbDownloadVideo, QStringLiteral(":/btnVideoOSN"));
    workflow.startSniffedSave(AddressWorkflow::Kind::Video);
    onClickOldSnifferDownload();
}

void Sniffer::onClickOldSnifferDownloadAudio()
{
    pressButtonFeedback(oldSniffer->pbDownloadAudio, QStringLiteral(":/btnAudioOSN"));
    workflow.startSniffedSave(AddressWorkflow::Kind::Audio);
    onClickOldSnifferDownload();
}

void Sniffer::onClickOldSnifferDownload()
{
    const int index = selectedItemIndex();
    if (index >= 0)
        downloadSniffedItem(index);
}

void Sniffer::downloadSniffedItem(int index)
{
    const SniffedItem item = sniffedItems.at(index);
    if (item.stream) {
        downloadSniffedStream(index);
        return;
    }
    const QString path = showSaveDialog(item.type, item.name);
    if (path.isEmpty())
        return;
    LOG_DEBUG << "downloadSniffedItem" << ":" << SafeText::address(item.url) << ":" << path;
    capture->ignoreOnce(item.url.trimmed());
    JobRequest request;
    request.source = JobSource::Transfer;
    request.kind = workflow.sniffedKind() == AddressWorkflow::Kind::Audio ? JobKind::Audio : JobKind::Video;
    request.name = QFileInfo(path).fileName();
    request.address = QUrl(item.url.trimmed());
    request.requestHeader = item.requestHeader;
    request.target = path;
    startSniffedJob(index, request);
}

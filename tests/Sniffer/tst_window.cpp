#include "WindowHarness.h"

#include "ui_DialogAbout.h"
#include "ui_InsertURL.h"
#include "ui_Navigation.h"
#include "ui_Options.h"
#include "ui_Progress.h"
#include "ui_Settings.h"

#include <QComboBox>

#include <QDesktopServices>
#include <QMenu>
#include <QProgressBar>
#include <QTimer>

using namespace PageLayout;

// Records the addresses the window hands to the desktop instead of a browser.
class UrlCatcher : public QObject
{
    Q_OBJECT
public:
    UrlCatcher()
    {
        QDesktopServices::setUrlHandler("http", this, "open");
        QDesktopServices::setUrlHandler("https", this, "open");
    }
    ~UrlCatcher() override
    {
        QDesktopServices::unsetUrlHandler("http");
        QDesktopServices::unsetUrlHandler("https");
    }
    QList<QUrl> opened;
public slots:
    void open(const QUrl &url) { opened.append(url); }
};

class tst_Window : public QObject
{
    Q_OBJECT

private:
    static QSet<Panel> visiblePanels(Sniffer *w)
    {
        QSet<Panel> shown;
        for (int p = 0; p < panelCount; ++p) {
            if (w->panel(Panel(p))->isVisible())
                shown.insert(Panel(p));
        }
        return shown;
    }

private slots:
    void everyPageShowsItsPanelsAtItsHeight_data()
    {
        QTest::addColumn<int>("page");
        QTest::addColumn<int>("height");
        QTest::addColumn<QList<int>>("panels");
        QTest::newRow("main") << 0 << 60 << QList<int>{Navigation};
        QTest::newRow("busy") << 1 << 120 << QList<int>{Progress};
        QTest::newRow("address") << 2 << 176 << QList<int>{Navigation, InsertURL};
        QTest::newRow("settings") << 4 << 190 << QList<int>{Navigation, Settings};
        QTest::newRow("sniffed media") << 5 << 230 << QList<int>{Navigation, OldSniffer};
        QTest::newRow("update") << 6 << 60 << QList<int>{Navigation};
    }

    void everyPageShowsItsPanelsAtItsHeight()
    {
        QFETCH(int, page);
        QFETCH(int, height);
        QFETCH(QList<int>, panels);
        WindowHarness harness;
        Sniffer *w = harness.start();
        QCOMPARE(w->currentPage(), 0);
        w->showPage(page);
        QCOMPARE(w->height(), height);
        QCOMPARE(w->width(), 400);
        QSet<Panel> expected;
        for (int p : panels)
            expected.insert(Panel(p));
        QCOMPARE(visiblePanels(w), expected);
        QCOMPARE(w->navigationForm()->stackedWidget->currentIndex(), page == 0 ? 0 : 1);
        QCOMPARE(w->windowTitle(), QString("Vidarro v.1.0.0.218"));
    }

    void backFollowsTheHistory()
    {
        WindowHarness harness;
        Sniffer *w = harness.start();
        Ui::Navigation *nav = w->navigationForm();
        for (int page : {2, 4, 5, 6}) {
            w->showPage(page);
            nav->btnBack->click();
            QCOMPARE(w->currentPage(), 0);
        }
        // The download page's Back leads to the address page, once it is shown.
        nav->btnOptions->click();
        QCOMPARE(w->currentPage(), 4);
        QCOMPARE(w->settingsForm()->pathVideo->text(), QString());
        nav->btnBack->click();
        QCOMPARE(w->currentPage(), 0);
    }

    void theDownloadPageWaitsForBothAnswers()
    {
        WindowHarness harness;
        Sniffer *w = harness.start();
        w->showPage(2);
        w->showPage(3);
        QCOMPARE(w->currentPage(), 2);
        QCOMPARE(w->height(), 176);
    }

    void theBusyBarClimbsAndNeverCompletes()
    {
        WindowHarness harness;
        Sniffer *w = harness.start();
        SnifferTestAccess::progressBarStart(w, 100);
        QCOMPARE(w->currentPage(), 1);
        QVERIFY(w->busyIndicatorTimer()->isActive());
        QCOMPARE(w->busyIndicatorTimer()->interval(), 100);
        QProgressBar *bar = w->progressForm()->progressBar;
        QCOMPARE(bar->value(), 0);
        int jumps = 0;
        for (int tick = 0; tick < 2000; ++tick) {
            const int before = bar->value();
            SnifferTestAccess::progressBarIteration(w);
            QVERIFY(bar->value() < 100);
            if (bar->value() != before + 1) {
                ++jumps;
                QVERIFY(before >= 97);
                QVERIFY(bar->value() >= 20 && bar->value() <= 99);
            }
        }
        QVERIFY(jumps > 10);
        // Leaving the busy page stops the timer; showing it does not start it.
        w->showPage(0);
        QVERIFY(!w->busyIndicatorTimer()->isActive());
        w->showPage(1);
        QVERIFY(!w->busyIndicatorTimer()->isActive());
    }

    void cancelStopsTheJobAndReturnsToTheMainPage()
    {
        WindowHarness harness;
        Sniffer *w = harness.start();
        SnifferTestAccess::progressBarStart(w, 800);
        w->progressForm()->btnCloseProgress->click();
        QCOMPARE(w->currentPage(), 0);
        QCOMPARE(w->progressForm()->progressBar->value(), 100);
        QVERIFY(!w->busyIndicatorTimer()->isActive());
    }

    void addressesAreCheckedAgainstTheButtonsList_data()
    {
        QTest::addColumn<bool>("videoSites");
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("error");
        QTest::newRow("empty, video sites") << true << "" << "Not a usable address";
        QTest::newRow("empty, other sites") << false << "" << "Not a usable address";
        QTest::newRow("invalid") << true << "http://exa mple.com:99999/" << "Not a usable address";
        QTest::newRow("no scheme, video sites") << true << "www.youtube.com/watch?v=1" << "Not a video site";
        QTest::newRow("no scheme, other sites") << false << "vimeo.com/1" << "Not a usable address";
        QTest::newRow("other list") << true << "https://vimeo.com/1" << "Not a video site";
        QTest::newRow("capitals are lowered by the parser") << true << "https://WWW.YOUTUBE.COM/x" << "";
        QTest::newRow("fragment in a longer host") << true << "https://m.youtube.com.example/x" << "";
        QTest::newRow("other sites accept theirs") << false << "https://player.vimeo.com/1" << "";
    }

    void addressesAreCheckedAgainstTheButtonsList()
    {
        QFETCH(bool, videoSites);
        QFETCH(QString, address);
        QFETCH(QString, error);
        WindowHarness harness;
        Sniffer *w = harness.start();
        Ui::Navigation *nav = w->navigationForm();
        (videoSites ? nav->btnDownloaderYT : nav->btnDownloaderOS)->click();
        QCOMPARE(w->currentPage(), 2);
        QCOMPARE(w->activeHostList(), QString(videoSites ? "yt_urls" : "os_urls"));
        w->insertUrlForm()->inputURL->setText(address);
        QTest::keyClick(w->insertUrlForm()->inputURL, Qt::Key_Return);
        // Hosts are lower-cased by the URL parser, so capitals still match.
        if (error.isEmpty()) {
            QCOMPARE(w->currentPage(), 1);
            QVERIFY(harness.responder.messages.isEmpty());
            w->progressForm()->btnCloseProgress->click();
            return;
        }
        QCOMPARE(harness.responder.messages.size(), 1);
        const UserDialogs::Message shown = harness.responder.messages.first();
        QCOMPARE(shown.icon, QMessageBox::Critical);
        QCOMPARE(shown.title, QString("Address not accepted"));
        QVERIFY(shown.text.startsWith(error + "<br><br><hr>"));
        QVERIFY(shown.text.contains("in 'processURL' : ProcessURL.cpp"));
        QCOMPARE(SnifferTestAccess::errorContext(w).value(2), QString("processURL"));
        QCOMPARE(w->currentPage(), 2);
        QCOMPARE(w->insertUrlForm()->inputURL->text(), address);
        // Enter again re-checks the unchanged text.
        QTest::keyClick(w->insertUrlForm()->inputURL, Qt::Key_Return);
        QCOMPARE(harness.responder.messages.size(), 2);
    }

    void withNoListBoundEveryAddressIsRefused()
    {
        WindowHarness harness;
        Sniffer *w = harness.start();
        SnifferTestAccess::onDownloaderError(w, Downloader::UpdateFailed);
        QCOMPARE(w->currentPage(), 2);
        QCOMPARE(harness.responder.messages.last().title, QString("Downloader problem"));
        QVERIFY(harness.responder.messages.last().text.contains("[DL] in 'onDownloaderError'"));
        w->insertUrlForm()->inputURL->setText("http://127.0.0.1/x");
        QTest::keyClick(w->insertUrlForm()->inputURL, Qt::Key_Return);
        QCOMPARE(harness.responder.messages.last().title, QString("Error"));
        QVERIFY(harness.responder.messages.last().text.startsWith("Indefinite Error<br>"));
        QVERIFY(harness.responder.messages.last().text.contains("<b>error #0:"));
    }

    void aMissingToolIsReportedOnceTheWindowRuns()
    {
        WindowHarness harness(windowTestSettings(), false);
        Sniffer *w = harness.start();
        QTRY_COMPARE(harness.responder.messages.size(), 1);
        QCOMPARE(harness.responder.messages.first().title, QString("Downloader problem"));
        QVERIFY(harness.responder.messages.first().text.startsWith("Tool missing"));
        QCOMPARE(w->currentPage(), 2);
    }

    void theHintPictureLeavesWithTheFocus()
    {
        WindowHarness harness;
        Sniffer *w = harness.start();
        QLineEdit *field = w->insertUrlForm()->inputURL;
        field->setText("left over");
        w->navigationForm()->btnDownloaderYT->click();
        QCOMPARE(field->text(), QString());
        QVERIFY(field->styleSheet().endsWith("background-image: url(:/bgURL)"));
        w->focusChanged(nullptr, field);
        QVERIFY(!field->styleSheet().contains("bgURL"));
        QVERIFY(field->styleSheet().startsWith("background-color: white;"));
        w->navigationForm()->btnBack->click();
        w->navigationForm()->btnDownloaderOS->click();
        QVERIFY(field->styleSheet().contains("bgURL"));
    }

    void testAddressesCycleThroughKeysOneToThree()
    {
        WindowHarness harness;
        Sniffer *w = harness.start();
        QStringList seen;
        for (int i = 0; i < 5; ++i) {
            w->quorlSetDefaultURL();
            seen << w->insertUrlForm()->inputURL->text();
        }
        QCOMPARE(seen, (QStringList{"http://one.example/", "http://two.example/", "http://three.example/",
                                    "http://one.example/", "http://two.example/"}));
    }

    void aTitleEditReachesTheLabelWhenTheFieldLosesFocus()
    {
        WindowHarness harness;
        Sniffer *w = harness.start();
        w->optionsForm()->lblTitle->setText("title");
        w->optionsForm()->inputTitle->setText("edited");
        QCOMPARE(w->optionsForm()->lblTitle->text(), QString("title"));
        w->focusChanged(w->optionsForm()->inputTitle, w->optionsForm()->listFormats);
        QCOMPARE(w->optionsForm()->lblTitle->text(), QString("edited"));
    }

    void oneAboutBoxStaysOnTop()
    {
        WindowHarness harness;
        Sniffer *w = harness.start();
        w->showAboutDialog();
        QDialog *about = w->aboutDialog();
        QVERIFY(about);
        QVERIFY(!about->parent());
        QVERIFY(about->windowFlags() & Qt::WindowStaysOnTopHint);
        QCOMPARE(about->findChild<QLabel *>("lblTitle")->text(), QString("Vidarro Version 1.0.0.218"));
        QCOMPARE(about->windowTitle(), QString("About Vidarro"));
        w->showAboutDialog();
        QCOMPARE(w->aboutDialog(), about);
        QPointer<QDialog> gone(about);
        about->findChild<QPushButton *>("btnClose")->click();
        QTRY_VERIFY(gone.isNull());
        QVERIFY(!w->aboutDialog());
    }

    void helpCommandsShowOpenOrCallAllowedSlots()
    {
        WindowHarness harness(windowTestSettings(
            "[help]\n1=\"Plain text entry\"\n2=Web\n3=Options\n4=Close\n5=Capitals\n6=Options2\n"
            "[help_actions]\n2=\"https://vidarro.example/help\"\n3=\"showOptions~with a comment\"\n4=close\n"
            "5=\"HTTP://vidarro.example\"\n6=deleteLater\n"));
        UrlCatcher catcher;
        Sniffer *w = harness.start();
        w->navigationForm()->btnHelp->click();
        QMenu *menu = w->findChild<QMenu *>();
        QVERIFY(menu);
        QTRY_VERIFY(menu->isVisible());
        const QList<QAction *> actions = menu->actions();
        QCOMPARE(actions.size(), 6);
        QCOMPARE(actions.first()->text(), QString("Plain text entry"));
        actions[0]->trigger();
        QCOMPARE(harness.responder.messages.last().title, QString("Help"));
        QCOMPARE(harness.responder.messages.last().text, QString("Plain text entry"));
        actions[1]->trigger();
        QCOMPARE(catcher.opened, (QList<QUrl>{QUrl("https://vidarro.example/help")}));
        actions[2]->trigger();
        QCOMPARE(w->currentPage(), 4);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("not a help command : \"close\""));
        actions[3]->trigger();
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("not a help command : \"HTTP://vidarro.example\""));
        actions[4]->trigger();
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("not a help command : \"deleteLater\""));
        actions[5]->trigger();
        QCoreApplication::processEvents();
        QVERIFY(w->isVisible());
        QCOMPARE(catcher.opened.size(), 1);
    }

    void theSiteMenuOpensOnlyOverItsButton()
    {
        WindowHarness harness;
        UrlCatcher catcher;
        Sniffer *w = harness.start();
        QPushButton *button = w->navigationForm()->btnDownloaderOS;
        const QPoint inside = button->mapTo(w, QPoint(5, 5));
        auto press = [&](const QPoint &at, Qt::MouseButton which) {
            QMouseEvent event(QEvent::MouseButtonPress, at, w->mapToGlobal(at), which, which, Qt::NoModifier);
            QCoreApplication::sendEvent(w, &event);
        };
        press(QPoint(2, 58), Qt::RightButton);
        press(inside, Qt::LeftButton);
        QVERIFY(!w->findChild<QMenu *>());
        press(inside, Qt::RightButton);
        QMenu *menu = w->findChild<QMenu *>();
        QVERIFY(menu);
        QCOMPARE(menu->actions().size(), 2);
        QCOMPARE(menu->actions().at(1)->text(), QString("vimeo.com"));
        menu->actions().at(1)->trigger();
        QCOMPARE(catcher.opened, (QList<QUrl>{QUrl("http://vimeo.com")}));
        QCOMPARE(w->currentPage(), 2);
        QCOMPARE(w->activeHostList(), QString("os_urls"));
    }

    void theToolIsUpdatedOnceADayAndOnCtrlU()
    {
        // Last updated on this day of the year, a year ago.
        const QDate today = QDate::currentDate();
        QByteArray settings = windowTestSettings();
        settings.replace(QByteArray("last_update_year=" + QByteArray::number(today.year())),
                         QByteArray("last_update_year=" + QByteArray::number(today.year() - 1)));
        WindowHarness harness(settings);
        Sniffer *w = harness.start();
        QCOMPARE(w->currentPage(), 6);
        QTRY_COMPARE_WITH_TIMEOUT(harness.responder.messages.size(), 1, 30000);
        QCOMPARE(harness.responder.messages.first().title, QString("Vidarro"));
        QCOMPARE(harness.responder.messages.first().text, QString("Vidarro is up-to-date"));
        QCOMPARE(w->currentPage(), 0);
        QCOMPARE(w->settingsStore().value("last_update_year"), QString::number(today.year()));
        QCOMPARE(w->settingsStore().value("last_update"), QString::number(today.dayOfYear()));
        QVERIFY(!w->checkLastUpdateDate());

        // Ctrl+U runs it at any time; a failing script leads to the address page.
        QFile script(harness.appDir.filePath("update.sh"));
        QVERIFY(script.open(QIODevice::WriteOnly | QIODevice::Truncate));
        script.write("#!/bin/sh\necho cannot update >&2\nexit 3\n");
        script.close();
        w->activateWindow();
        QTest::keyClick(w, Qt::Key_U, Qt::ControlModifier);
        QCOMPARE(w->currentPage(), 6);
        QTRY_COMPARE_WITH_TIMEOUT(harness.responder.messages.size(), 2, 30000);
        QVERIFY(harness.responder.messages.last().text.startsWith("Update failed"));
        QCOMPARE(w->currentPage(), 2);
    }

    void saveFoldersFollowTheSettings()
    {
        QTemporaryDir folders;
        const QString video = folders.filePath("v"), audio = folders.filePath("a");
        WindowHarness harness(windowTestSettings());
        Sniffer *w = harness.start();
        Ui::Settings *settings = w->settingsForm();
        // The settings page edits the two default folders; Save stores them.
        harness.responder.nextFolder = video;
        settings->btnSelectVideoPath->click();
        QCOMPARE(harness.responder.folderRequests.last().first, QString("Select default file path for save video"));
        harness.responder.nextFolder.clear();
        settings->pathAudio->setText(audio);
        settings->btnSelectAudioPath->click();
        QCOMPARE(settings->pathAudio->text(), audio);
        QCOMPARE(settings->pathVideo->text(), video);
        w->showOptions();
        settings->btnSave->click();
        QCOMPARE(w->currentPage(), 0);
        QCOMPARE(w->settingsStore().value("savepath_video"), video);
        QCOMPARE(w->settingsStore().value("savepath_audio"), audio);

        // The download page offers the saved folder first, then the standard ones.
        QMetaObject::invokeMethod(w, "setSaveFilePath", Qt::DirectConnection);
        QComboBox *path = w->optionsForm()->selectPath;
        QCOMPARE(path->currentText(), video);
        QCOMPARE(path->count(), 5);
        QCOMPARE(path->itemText(1), Platform::documentsFolder());
        QCOMPARE(path->itemText(4), Platform::desktopFolder());
        // A folder picked twice stands twice at the top.
        harness.responder.nextFolder = folders.path();
        w->optionsForm()->btnSelectPath->click();
        w->optionsForm()->btnSelectPath->click();
        QCOMPARE(path->itemText(0), folders.path());
        QCOMPARE(path->itemText(1), folders.path());
        QCOMPARE(path->count(), 7);
    }

    void theSnifferTestNeedsATestAddress()
    {
        WindowHarness harness(windowTestSettings("[test_sniffer]\n1=\"http://wrong.key/\"\n"));
        UrlCatcher catcher;
        Sniffer *w = harness.start();
        w->testSniffer();
        QCOMPARE(harness.responder.messages.size(), 1);
        QCOMPARE(harness.responder.messages.first().title, QString("Sniffer test"));
        QVERIFY(harness.responder.messages.first().text.contains("in 'testSniffer' : TestSniffer.cpp"));
        QVERIFY(catcher.opened.isEmpty());
        QCOMPARE(w->currentPage(), 0);
    }
};

QTEST_MAIN(tst_Window)
#include "tst_window.moc"

#include "CYouTubeDownloadDlg.h"
#include "CaptureSession.h"
#include "MediaFixture.h"
#include "PlaylistListing.h"
#include "PlaylistModel.h"
#include "PlaylistPanel.h"
#include "WindowHarness.h"

#include "ui_InsertURL.h"
#include "ui_Navigation.h"
#include "ui_OldSniffer.h"
#include "ui_Options.h"
#include "ui_Progress.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QListWidget>
#include <QProgressBar>

// Both ways to a saved file with the real window: a page address (127.0.0.2, an
// other site) through the real tools, a sniffed FLV through the real transfer.
class tst_Downloads : public QObject
{
    Q_OBJECT

private:
    static constexpr int toolWait = 90000;
    MediaFixture m_media{QStringLiteral("127.0.0.2")};

    static void download(Sniffer *w, QPushButton *button, const QString &name, const QString &folder)
    {
        w->optionsForm()->inputTitle->setText(name);
        w->optionsForm()->selectPath->setEditText(folder);
        button->click();
    }

    // Lists a stream of the local server as a capture engine reports it.
    Sniffer *listStream(WindowHarness &harness, const QString &path)
    {
        Sniffer *w = harness.start();
        w->navigationForm()->btnSniffer->click();
        const QByteArray host = m_media.host().toLatin1() + ':' + QByteArray::number(m_media.port());
        const QByteArray header = "GET /" + path.toLatin1() + " HTTP/1.1\r\nHost: " + host
                                  + "\r\nUser-Agent: tester\r\nReferer: http://page.example/a: b\r\n\r\n";
        w->captureSession()->queueReport(host + '/' + path.toLatin1(), header,
                                         QByteArray::number(m_media.bytes("clip.flv").size()), "x-flv");
        [&] { QTRY_VERIFY(rowOf(w, path) >= 0); }();
        return w;
    }

    // Selects the stream's row, as a click on it would.
    static QListWidgetItem *select(Sniffer *w, const QString &path)
    {
        w->oldSnifferForm()->mediaList->setCurrentRow(rowOf(w, path));
        return w->oldSnifferForm()->mediaList->currentItem();
    }

    static QStringList files(const QString &folder) { return QDir(folder).entryList(QDir::Files | QDir::Hidden); }
    static QColor colour(QListWidgetItem *row) { return row->icon().pixmap(16, 16).toImage().pixelColor(8, 8); }

private slots:
    void initTestCase()
    {
        QVERIFY2(m_media.start(), qPrintable(m_media.errorString()));
        QVERIFY2(m_media.makeStreams(3), qPrintable(m_media.errorString()));
        QVERIFY2(m_media.makeFinishing(), qPrintable(m_media.errorString()));
        QVERIFY(m_media.bytes("clip.flv").size() >= 100000);
        QVERIFY(m_media.addFile("notes.txt", "Nothing to hear.\n"));
    }

    // "Download audio" gives sound or fails with its own text, whatever the address before offered.
    void downloadAudioGivesSoundOrItsOwnFailure_data()
    {
        QTest::addColumn<QStringList>("addresses");  // opened in turn; the last one saved as audio
        QTest::addColumn<QString>("expected");       // "=NAME": those bytes; "mp3": its codec; else the message
        QTest::newRow("MP3 kept as it came") << QStringList{"clip.mp3"} << "=clip.mp3";
        QTest::newRow("a video after an MP3") << QStringList{"clip.mp3", "clip.mp4"} << "mp3";
        QTest::newRow("a text file") << QStringList{"notes.txt"} << "gave no sound to save as audio";
    }

    void downloadAudioGivesSoundOrItsOwnFailure()
    {
        QFETCH(QStringList, addresses);
        QFETCH(QString, expected);
        // The catalogue's own words; no tags written, so that a kept MP3 stays byte for byte.
        WindowHarness harness(shippedSettings().replace("embed_tags=true", "embed_tags=false")
                                  .replace("embed_cover=true", "embed_cover=false")
                                  .replace("embed_chapters=true", "embed_chapters=false"));
        QTemporaryDir target;
        Sniffer *w = harness.start();
        Ui::Options *options = w->optionsForm();
        for (const QString &address : addresses) {
            w->navigationForm()->btnBack->click();
            enter(w->navigationForm()->btnDownloaderOS, w, m_media.url(address));
            QTRY_COMPARE_WITH_TIMEOUT(w->currentPage(), 3, toolWait);
            // Sound alone offers "Download audio" alone; anything else both.
            QCOMPARE(options->btnDownloadVideo->isHidden(), address.endsWith(".mp3"));
            QVERIFY(!options->btnDownloadAudio->isHidden());
        }
        download(w, options->btnDownloadAudio, "saved", target.path());
        QVERIFY(harness.settle(toolWait));
        const bool saved = expected.startsWith('=') || expected == "mp3";
        QTRY_VERIFY2(harness.messageSeen(saved ? "Download complete" : expected), qPrintable(harness.responder.messages.value(0).text));
        QCOMPARE(files(target.path()), saved ? QStringList{"saved.mp3"} : QStringList());
        const QString file = target.filePath("saved.mp3");
        QVERIFY(!saved || (expected == "mp3" ? MediaFixture::streamCodecs(file) == QStringList{"mp3"}
                                             : readFile(file) == m_media.bytes(expected.mid(1))));
    }

    void aPageAddressDownloadsItsVideo()
    {
        WindowHarness harness;
        QTemporaryDir target;
        Sniffer *w = harness.start();
        // The page the window is on when each answer arrives: the last opens it.
        QList<int> pages;
        for (auto answer : {&Downloader::haveTitle, &Downloader::haveFormats})
            connect(w->findChild<Downloader *>(), answer, w, [&] { pages << w->currentPage(); });
        connect(w->findChild<PlaylistListing *>(), &PlaylistListing::singleFound, w, [&] { pages << w->currentPage(); });
        enter(w->navigationForm()->btnDownloaderOS, w, m_media.url("page.html"));
        QTRY_COMPARE_WITH_TIMEOUT(w->currentPage(), 3, toolWait);
        QCOMPARE(pages, (QList<int>{1, 1, 3}));
        QVERIFY(w->playlistView()->isHidden());
        Ui::Options *options = w->optionsForm();
        QVERIFY2(options->lblTitle->text().startsWith("Fixture Clip Part 2"), qPrintable(options->lblTitle->text()));
        QCOMPARE(options->inputTitle->text(), options->lblTitle->text());
        QCOMPARE(w->height(), 285);
        w->navigationForm()->btnBack->click();
        QCOMPARE(w->currentPage(), 2);
        QTest::keyClick(w->insertUrlForm()->inputURL, Qt::Key_Return);
        QTRY_COMPARE_WITH_TIMEOUT(w->currentPage(), 3, toolWait);
        download(w, options->btnDownloadVideo, "My: clip/é", target.path());
        QCOMPARE(w->currentPage(), 1);
        QTRY_VERIFY_WITH_TIMEOUT(harness.messageSeen("Download complete"), toolWait);
        QCOMPARE(w->currentPage(), 2);
        QCOMPARE(w->progressForm()->progressBar->value(), 100);
        // Typed, the name keeps its letters; only what no file name may hold goes.
        QCOMPARE(files(target.path()), QStringList{QString::fromUtf8("My  clip é.mp4")});
        // The page's clip with the page's title written into it.
        const MediaFixture::Ran tags = MediaFixture::execute(MediaFixture::program("ffprobe"),
            {"-v", "error", "-show_entries", "stream=codec_name:format_tags=title", "-of", "csv=p=0",
             target.filePath(QString::fromUtf8("My  clip é.mp4"))}, QProcessEnvironment::systemEnvironment(), false);
        QCOMPARE(tags.output.simplified(), "h264 aac " + MediaFixture::pageTitle() + " (1)");
    }

    // The page's subtitles, preselected by the settings' languages, go into
    // the file; a part past the end is refused before anything starts.
    void subtitlesAndAPart()
    {
        WindowHarness harness;
        QTemporaryDir target;
        Sniffer *w = harness.start();
        enter(w->navigationForm()->btnDownloaderOS, w, m_media.url("one.html"));
        QTRY_COMPARE_WITH_TIMEOUT(w->currentPage(), 3, toolWait);
        Ui::Options *options = w->optionsForm();
        QCOMPARE(options->listSubtitles->count(), 1);
        QCOMPARE(options->listSubtitles->item(0)->text(), "English");
        QCOMPARE(options->listSubtitles->item(0)->checkState(), Qt::Checked);
        QCOMPARE(w->height(), 285 + PageLayout::subtitleRowHeight);
        options->inputFrom->setText("0:01");
        options->inputTo->setText("0:09");
        download(w, options->btnDownloadVideo, "part", target.path());
        QVERIFY(harness.messageSeen("The video is 0:06 long: a part up to 0:09 goes past its end."));
        QCOMPARE(w->currentPage(), 3);
        options->inputTo->setText("0:03");
        download(w, options->btnDownloadVideo, "part", target.path());
        QTRY_VERIFY_WITH_TIMEOUT(harness.messageSeen("Download complete"), toolWait);
        QCOMPARE(files(target.path()), QStringList{"part.mp4"});
        QCOMPARE(MediaFixture::streamCodecs(target.filePath("part.mp4")), (QStringList{"h264", "aac", "mov_text", "bin_data", "mjpeg"}));
        const MediaFixture::Ran length = MediaFixture::execute(MediaFixture::program("ffprobe"),
            {"-v", "error", "-select_streams", "v:0", "-show_entries", "stream=duration", "-of", "csv=p=0",
             target.filePath("part.mp4")}, QProcessEnvironment::systemEnvironment(), false);
        QVERIFY2(qAbs(length.output.toDouble() - 2.0) <= 0.2, qPrintable(length.output));
    }

    void aFailedAddressIsReportedOnce()
    {
        WindowHarness harness;
        Sniffer *w = harness.start();
        QSignalSpy failures(w->findChild<Downloader *>(), &Downloader::hasError);
        enter(w->navigationForm()->btnDownloaderOS, w, m_media.url("status/404/clip.mp4"));
        // Both runs fail; the second failure does not pull the window on.
        QTRY_COMPARE_WITH_TIMEOUT(failures.size(), 2, toolWait);
        QTRY_COMPARE_WITH_TIMEOUT(w->currentPage(), 2, toolWait);
        QCOMPARE(harness.responder.messages.size(), 1);
        QVERIFY(harness.messageSeen("[DL] in 'onDownloaderError'"));
        // The catalogue's text for the cause, the tool's own line as the detail.
        QVERIFY(harness.messageSeen("Not found (404)<br>"));
        QVERIFY(harness.messageSeen("comment: ERROR: [generic] "));
        QVERIFY(harness.messageSeen("HTTP Error 404: Not Found (caused by &lt;HTTPError"));
    }

    // A podcast feed: its entries with check boxes as they arrive; entries 1
    // and 3 saved into the feed's folder under their titles; listed again,
    // those saved are marked and left out until ticked again.
    void aFeedSavesTheEntriesChosen()
    {
        QVERIFY(m_media.addFeed("feed.xml", "Local Podcast",
                                {{"First Song", "clip.mp3"}, {"Second Song", "clip.webm"}, {"Third Clip", "clip.mp4"}}));
        WindowHarness harness;
        QTemporaryDir target;
        Sniffer *w = harness.start();
        QStringList said;
        connect(w->findChild<PlaylistListing *>(), &PlaylistListing::entriesArrived, w,
                [&] { said << w->progressForm()->progressBar->format(); });
        enter(w->navigationForm()->btnDownloaderOS, w, m_media.url("feed.xml"));
        QTRY_COMPARE_WITH_TIMEOUT(w->currentPage(), 3, toolWait);
        PlaylistPanel *panel = w->playlistView();
        PlaylistModel *model = panel->model();
        QVERIFY(panel->isVisible() && w->optionsForm()->btnDownloadVideo->isHidden());
        QCOMPARE(w->optionsForm()->lblTitle->text(), "Local Podcast");
        QStringList titles;
        for (int row = 0; row < model->rowCount(); ++row)
            titles << model->index(row, PlaylistModel::Title).data().toString();
        QCOMPARE(titles, (QStringList{"First Song", "Second Song", "Third Clip"}));
        QCOMPARE(said.last(), "3 entries so far");
        QCOMPARE(panel->qualityChoice()->count(), 2);   // Best, Audio (MP3): the first entry has no heights
        panel->rangeField()->setText("1,3");
        QTest::keyClick(panel->rangeField(), Qt::Key_Return);
        QCOMPARE(model->checkedCount(), 2);
        w->optionsForm()->selectPath->setEditText(target.path());
        panel->downloadButton()->click();
        QVERIFY(harness.settle(toolWait));
        const QString folder = target.filePath("Local Podcast");
        QCOMPARE(files(folder), (QStringList{"First Song.mp3", "Third Clip.mp4"}));
        QCOMPARE(readFile(folder + "/First Song.mp3"), m_media.bytes("clip.mp3"));
        QVERIFY(MediaFixture::streamCodecs(folder + "/Third Clip.mp4").contains("h264"));

        QTest::keyClick(w->insertUrlForm()->inputURL, Qt::Key_Return);
        QTRY_COMPARE_WITH_TIMEOUT(w->currentPage(), 3, toolWait);
        QTRY_VERIFY(model->isSaved(0) && !model->isSaved(1) && model->isSaved(2));
        QCOMPARE(model->checkedCount(), 1);
        panel->allButton()->click();
        QCOMPARE(model->checkedCount(), 3);
        panel->noneButton()->click();
        QVERIFY(!panel->downloadButton()->isEnabled());
    }

    // HLS with an audio group: a row per height, the best saved with its sound;
    // the box names the file and opens its folder when asked.
    void aStreamOfSeparateTracksSavesItsBestWithSound()
    {
        WindowHarness harness;
        QTemporaryDir target;
        Sniffer *w = harness.start();
        enter(w->navigationForm()->btnDownloaderOS, w, m_media.url("hls/master.m3u8"));
        QTRY_COMPARE_WITH_TIMEOUT(w->currentPage(), 3, toolWait);
        QListWidget *list = w->optionsForm()->listFormats;
        QStringList rows;
        for (int i = 0; i < list->count(); ++i)
            rows << list->item(i)->data(Qt::UserRole).toString() + ' ' + list->item(i)->text();
        QCOMPARE(rows, (QStringList{"m720 1280x720\tvideo + audio (best)", "m360 640x360\tvideo + audio"}));
        QCOMPARE(list->currentRow(), 0);
        harness.responder.takeAction = true;
        download(w, w->optionsForm()->btnDownloadVideo, "", target.path());
        QTRY_VERIFY_WITH_TIMEOUT(harness.messageSeen("Download complete"), toolWait);
        QCOMPARE(files(target.path()), QStringList{"default.mp4"});
        QVERIFY(harness.messageSeen("default.mp4\nin " + QDir::toNativeSeparators(target.path())));
        QCOMPARE(harness.responder.actions, QStringList{"Open folder"});
        QCOMPARE(harness.responder.opened, QList<QUrl>{QUrl::fromLocalFile(target.path())});
        QCOMPARE(MediaFixture::streamCodecs(target.filePath("default.mp4")), (QStringList{"h264", "aac"}));
    }

    void stoppingAnAddressDownloadLeavesNothing_data()
    {
        QTest::addColumn<bool>("closeWindow");
        QTest::newRow("cancel on the busy page") << false;
        QTest::newRow("window closed") << true;
    }

    void stoppingAnAddressDownloadLeavesNothing()
    {
        QFETCH(bool, closeWindow);
        WindowHarness harness;
        QTemporaryDir folder;
        Sniffer *w = harness.start();
        // Slow enough that a download left running would outlast the waits below.
        enter(w->navigationForm()->btnDownloaderOS, w, m_media.url("throttle/5000/clip.mp4"));
        QTRY_COMPARE_WITH_TIMEOUT(w->currentPage(), 3, toolWait);
        download(w, w->optionsForm()->btnDownloadVideo, "slow", folder.path());
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(folder.filePath("slow.mp4.part")), toolWait);
        QVERIFY(MediaFixture::processMentions(folder.path()));
        if (closeWindow)
            w->close();
        else
            w->progressForm()->btnCloseProgress->click();
        QTRY_VERIFY_WITH_TIMEOUT(!MediaFixture::processMentions(folder.path()), 10000);
        harness.window.reset();
        // Cancelled: nothing left. Closed: paused, its parts kept for the next start, nothing under the final name.
        const QStringList left = files(folder.path());
        QVERIFY2(closeWindow ? !left.isEmpty() && left.filter(QRegularExpression("^slow\\.mp4$")).isEmpty() : left.isEmpty(),
                 qPrintable(left.join(' ')));
        QVERIFY(!MediaFixture::processMentions(folder.path()));
        QVERIFY(harness.responder.messages.isEmpty());
    }

    // Saved whole under a clean name and marked green, or no file and red.
    void aSaveLeavesTheWholeFileOrNone_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("message");
        QTest::newRow("saved") << "clip.flv" << "" << "";
        QTest::newRow("server error") << "status/404/clip.flv" << "" << "404";
        QTest::newRow("cancelled") << "throttle/20000/clip.flv" << "cancel" << "Download canceled.";
        QTest::newRow("window closed") << "throttle/20000/clip.flv" << "close" << "";
        QTest::newRow("no file chosen") << "clip.flv" << "no file" << "";
    }

    void aSaveLeavesTheWholeFileOrNone()
    {
        QFETCH(QString, path);
        QFETCH(QString, action);
        QFETCH(QString, message);
        const bool saved = QTest::currentDataTag() == QByteArray("saved");
        WindowHarness harness;
        QTemporaryDir target;
        Sniffer *w = listStream(harness, path);
        QSignalSpy finished(w, &Sniffer::downloadFinished);
        const QString chosen = target.filePath("my: clip.flv");
        harness.responder.onSave = [chosen](QFileDialog *dialog) { dialog->selectFile(chosen); return true; };
        if (action == "no file")
            harness.responder.onSave = nullptr;
        // Acts once the transfer dialog is up and part of the file is written.
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&] {
            auto *dialog = qobject_cast<CYouTubeDownloadDlg *>(QApplication::activeModalWidget());
            if (!dialog || QFileInfo(target.filePath("my.clip.flv.part")).size() == 0)
                return;
            poll.stop();
            action == "cancel" ? dialog->cancelButton()->click() : void(w->close());
        });
        if (!action.isEmpty())
            poll.start(50);
        select(w, path);
        w->oldSnifferForm()->pbDownloadVideo->click();
        QVERIFY(harness.settle());
        QTRY_COMPARE(harness.responder.messages.size(), message.isEmpty() ? 0 : 1);
        QVERIFY(message.isEmpty() || harness.messageSeen(message));
        QCOMPARE(finished.size(), saved ? 1 : 0);
        QCOMPARE(colour(select(w, path)), QColor(saved ? Qt::green : Qt::red));
        // The row and the save box name the stream by its file; the box is above the window.
        QCOMPARE(SniffedItems::nameLine(itemAt(w, rowOf(w, path))), "clip.flv \u00b7 " + m_media.host());
        QVERIFY(harness.responder.aboveWindow && harness.responder.proposed.endsWith("/clip.flv"));
        harness.window.reset();
        // A closed window pauses the save: its part may stay for the next start, never the final name.
        QCOMPARE(files(target.path()).filter(QRegularExpression("\\.flv$")), saved ? QStringList{"my.clip.flv"} : QStringList());
        QCOMPARE(files(target.path()).isEmpty(), !saved && action != "close");
        QCOMPARE(readFile(target.filePath("my.clip.flv")), saved ? m_media.bytes("clip.flv") : QByteArray());
    }
};

QTEST_MAIN(tst_Downloads)
#include "tst_downloads.moc"

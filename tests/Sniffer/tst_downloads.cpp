#include "CYouTubeDownloadDlg.h"
#include "CaptureSession.h"
#include "MediaFixture.h"
#include "WindowHarness.h"

#include "ui_InsertURL.h"
#include "ui_Navigation.h"
#include "ui_OldSniffer.h"
#include "ui_Options.h"
#include "ui_Progress.h"

#include <QApplication>
#include <QListWidget>
#include <QProgressBar>

namespace {

// Live processes below this one that were not there `before`, and those of
// `known` still alive (an orphan that left the tree still counts).
QList<int> processesSince(const QList<int> &before, const QList<int> &known = {})
{
    QHash<int, int> parents;
    for (const QString &entry : QDir("/proc").entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QByteArray stat = readFile("/proc/" + entry + "/stat"); // "pid (name) state ppid ..."
        const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
        if (entry.toInt() > 0 && fields.size() > 1 && fields[0] != "Z")
            parents.insert(entry.toInt(), fields[1].toInt());
    }
    const int self = int(QCoreApplication::applicationPid());
    QList<int> found;
    for (auto it = parents.cbegin(); it != parents.cend(); ++it) {
        int p = it.value();
        while (p > 1 && p != self)
            p = parents.value(p);
        if ((p == self && !before.contains(it.key())) || known.contains(it.key()))
            found << it.key();
    }
    return found;
}

QStringList files(const QString &folder) { return QDir(folder).entryList(QDir::Files | QDir::Hidden); }

} // namespace

// Both ways to a saved file with the real window: a page address through the
// real launcher, yt-dlp and ffmpeg, and a sniffed stream (the fixture's FLV
// clip, over the list's 100000 bytes) through the real transfer.
// Addresses go to the other sites' page (127.0.0.2 is on their list).
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

    static void saveAs(WindowHarness &harness, const QString &file)
    {
        harness.responder.onSave = [file](QFileDialog *dialog) { dialog->selectFile(file); return true; };
    }

    // Selects the stream's row, as a click on it would.
    static QListWidgetItem *select(Sniffer *w, const QString &path)
    {
        w->oldSnifferForm()->mediaList->setCurrentRow(rowOf(w, path));
        return w->oldSnifferForm()->mediaList->currentItem();
    }

    static QColor colour(QListWidgetItem *row) { return row->icon().pixmap(16, 16).toImage().pixelColor(8, 8); }

private slots:
    void initTestCase()
    {
        QVERIFY2(m_media.start(), qPrintable(m_media.errorString()));
        QVERIFY2(m_media.makeStreams(3), qPrintable(m_media.errorString()));
        QVERIFY(m_media.bytes("clip.flv").size() >= 100000);
    }

    void aPageAddressDownloadsItsVideo()
    {
        WindowHarness harness;
        QTemporaryDir target;
        Sniffer *w = harness.start();
        // The page the window is on when each answer arrives: the second opens it.
        QList<int> pages;
        for (auto answer : {&Downloader::haveTitle, &Downloader::haveFormats})
            connect(w->findChild<Downloader *>(), answer, w, [&] { pages << w->currentPage(); });
        enter(w->navigationForm()->btnDownloaderOS, w, m_media.url("page.html"));
        QTRY_COMPARE_WITH_TIMEOUT(w->currentPage(), 3, toolWait);
        QCOMPARE(pages, (QList<int>{1, 3}));
        Ui::Options *options = w->optionsForm();
        QVERIFY2(options->lblTitle->text().startsWith("Fixture Clip Part 2"), qPrintable(options->lblTitle->text()));
        QCOMPARE(options->inputTitle->text(), options->lblTitle->text());
        QCOMPARE(w->height(), 255);
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
        QCOMPARE(readFile(target.filePath(QString::fromUtf8("My  clip é.mp4"))), m_media.bytes("clip.mp4"));
    }

    void anAudioDownloadLeavesOnlyTheMp3()
    {
        WindowHarness harness;
        QTemporaryDir target;
        Sniffer *w = harness.start();
        enter(w->navigationForm()->btnDownloaderOS, w, m_media.url("clip.mp4"));
        QTRY_COMPARE_WITH_TIMEOUT(w->currentPage(), 3, toolWait);
        QCOMPARE(w->optionsForm()->inputTitle->text(), QString("clip"));
        download(w, w->optionsForm()->btnDownloadAudio, "", target.path());
        QTRY_VERIFY_WITH_TIMEOUT(harness.messageSeen("Download complete"), toolWait);
        QCOMPARE(files(target.path()), QStringList{"default.mp3"});
        QCOMPARE(MediaFixture::streamCodecs(target.filePath("default.mp3")), QStringList{"mp3"});
    }

    void aFailedAddressIsReportedOnce()
    {
        WindowHarness harness;
        Sniffer *w = harness.start();
        QSignalSpy failures(w->findChild<Downloader *>(), &Downloader::hasError);
        enter(w->navigationForm()->btnDownloaderOS, w, m_media.url("status/404/clip.mp4"));
        // Both runs fail; the second failure does not pull the window on.
        QTRY_COMPARE_WITH_TIMEOUT(failures.size(), 2, toolWait);
        QCOMPARE(w->currentPage(), 2);
        QCOMPARE(harness.responder.messages.size(), 1);
        QVERIFY(harness.messageSeen("[DL] in 'onDownloaderError'"));
        // The catalogue's text for the cause, the tool's own line as the detail.
        QVERIFY(harness.messageSeen("Not found (404)<br>"));
        QVERIFY(harness.messageSeen("comment: ERROR: [generic] "));
        QVERIFY(harness.messageSeen("HTTP Error 404: Not Found (caused by &lt;HTTPError"));
    }

    // Video and sound apart (HLS with an audio group): a row per height, and
    // the best saves 1280x720 with its sound; the box names the file and
    // opens its folder when asked.
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
        const QList<int> before = processesSince({});
        download(w, w->optionsForm()->btnDownloadVideo, "slow", folder.path());
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(folder.filePath("slow.mp4.part")), toolWait);
        const QList<int> running = processesSince(before);
        QVERIFY(!running.isEmpty());
        if (closeWindow)
            w->close();
        else
            w->progressForm()->btnCloseProgress->click();
        QTRY_VERIFY_WITH_TIMEOUT(processesSince(before, running).isEmpty(), 10000);
        harness.window.reset();
        QTRY_COMPARE_WITH_TIMEOUT(files(folder.path()), QStringList(), 10000);
        QVERIFY(processesSince(before, running).isEmpty());
        QVERIFY(harness.responder.messages.isEmpty());
    }

    // Saved as audio, a stream becomes an MP3 in tst_streamrows and tst_browserchromium.
    void aStreamIsSavedUnderACleanName()
    {
        WindowHarness harness;
        QTemporaryDir target;
        Sniffer *w = listStream(harness, "clip.flv");
        QSignalSpy finished(w, &Sniffer::downloadFinished);
        saveAs(harness, target.filePath("my: clip.flv"));
        select(w, "clip.flv");
        w->oldSnifferForm()->pbDownloadVideo->click();
        QCOMPARE(finished.size(), 1);
        QCOMPARE(readFile(target.filePath("my.clip.flv")), m_media.bytes("clip.flv"));
        QCOMPARE(colour(select(w, "clip.flv")), QColor(Qt::green));
        QVERIFY(harness.responder.messages.isEmpty());
        QCOMPARE(files(target.path()), QStringList{"my.clip.flv"});
    }

    void anUnfinishedSaveLeavesNoFile_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("message");
        QTest::newRow("server error") << "status/404/clip.flv" << "" << "404";
        QTest::newRow("cancelled") << "throttle/20000/clip.flv" << "cancel" << "Download canceled.";
        QTest::newRow("window closed") << "throttle/20000/clip.flv" << "close" << "";
        QTest::newRow("no file chosen") << "clip.flv" << "no file" << "";
    }

    void anUnfinishedSaveLeavesNoFile()
    {
        QFETCH(QString, path);
        QFETCH(QString, action);
        QFETCH(QString, message);
        WindowHarness harness;
        QTemporaryDir target;
        Sniffer *w = listStream(harness, path);
        QSignalSpy finished(w, &Sniffer::downloadFinished);
        saveAs(harness, target.filePath("slow.flv"));
        if (action == "no file")
            harness.responder.onSave = nullptr;
        // Acts once the transfer dialog is up and part of the file is written.
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&] {
            auto *dialog = qobject_cast<CYouTubeDownloadDlg *>(QApplication::activeModalWidget());
            if (!dialog || QFileInfo(target.filePath("slow.flv.part")).size() == 0)
                return;
            poll.stop();
            action == "cancel" ? dialog->cancelButton()->click() : void(w->close());
        });
        if (!action.isEmpty())
            poll.start(50);
        select(w, path);
        w->oldSnifferForm()->pbDownloadVideo->click();
        QCOMPARE(harness.responder.messages.size(), message.isEmpty() ? 0 : 1);
        QVERIFY(message.isEmpty() || harness.messageSeen(message));
        QCOMPARE(finished.size(), 0);
        QCOMPARE(colour(select(w, path)), QColor(Qt::red));
        harness.window.reset();
        QCOMPARE(files(target.path()), QStringList());
    }
};

QTEST_MAIN(tst_Downloads)
#include "tst_downloads.moc"

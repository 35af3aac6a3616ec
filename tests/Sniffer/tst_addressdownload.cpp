#include "MediaFixture.h"
#include "WindowHarness.h"

#include "ui_InsertURL.h"
#include "ui_Navigation.h"
#include "ui_Options.h"
#include "ui_Progress.h"

#include <QProgressBar>

// The address download from end to end: the real window, the real launcher
// over yt-dlp and ffmpeg, media served on 127.0.0.1.
class tst_AddressDownload : public QObject
{
    Q_OBJECT

private:
    static constexpr int toolWait = 90000;

    void openAddress(Sniffer *w, const QString &address)
    {
        w->navigationForm()->btnDownloaderYT->click();
        w->insertUrlForm()->inputURL->setText(address);
        QTest::keyClick(w->insertUrlForm()->inputURL, Qt::Key_Return);
    }

    MediaFixture m_media;
    QTemporaryDir m_target;

private slots:
    void initTestCase()
    {
        QVERIFY2(m_media.start(), qPrintable(m_media.errorString()));
    }

    void aPageAddressDownloadsItsVideo()
    {
        WindowHarness harness;
        Sniffer *w = harness.start();
        openAddress(w, m_media.url("page.html"));
        QCOMPARE(w->currentPage(), 1);
        QTRY_COMPARE_WITH_TIMEOUT(w->currentPage(), 3, toolWait);
        QVERIFY(harness.responder.messages.isEmpty());
        Ui::Options *options = w->optionsForm();
        // The page's title, cleaned (the tool numbers the page's videos).
        QVERIFY2(options->lblTitle->text().startsWith("Fixture Clip Part 2"), qPrintable(options->lblTitle->text()));
        QCOMPARE(options->inputTitle->text(), options->lblTitle->text());
        QVERIFY(options->listFormats->isHidden());
        QCOMPARE(w->height(), 255);

        options->inputTitle->setText("My: clip/é");
        options->selectPath->setEditText(m_target.path());
        options->btnDownloadVideo->click();
        QCOMPARE(w->currentPage(), 1);
        QTRY_VERIFY_WITH_TIMEOUT(harness.messageSeen("Download complete"), toolWait);
        QCOMPARE(w->currentPage(), 2);
        QCOMPARE(w->progressForm()->progressBar->value(), 100);
        const QString saved = m_target.filePath("My clip.mp4");
        QCOMPARE(SnifferTestAccess::mediaFilePath(w), saved);
        QFile file(saved);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), m_media.bytes("clip.mp4"));
        QVERIFY(!QFileInfo::exists(saved + ".part"));

        // The same name again does not replace the first file.
        openAddress(w, m_media.url("page.html"));
        QTRY_COMPARE_WITH_TIMEOUT(w->currentPage(), 3, toolWait);
        options->inputTitle->setText("My clip");
        options->selectPath->setEditText(m_target.path());
        const int before = harness.responder.messages.size();
        options->btnDownloadVideo->click();
        QTRY_VERIFY_WITH_TIMEOUT(harness.responder.messages.size() > before, toolWait);
        QVERIFY(QFileInfo::exists(m_target.filePath("My clip (2).mp4")));
        QCOMPARE(QFileInfo(saved).size(), m_media.bytes("clip.mp4").size());
    }

    void anAudioDownloadLeavesOnlyTheMp3()
    {
        WindowHarness harness;
        Sniffer *w = harness.start();
        openAddress(w, m_media.url("clip.mp4"));
        QTRY_COMPARE_WITH_TIMEOUT(w->currentPage(), 3, toolWait);
        Ui::Options *options = w->optionsForm();
        QCOMPARE(options->inputTitle->text(), QString("clip"));
        options->inputTitle->setText("");
        options->selectPath->setEditText(m_target.path());
        options->btnDownloadAudio->click();
        QTRY_VERIFY_WITH_TIMEOUT(harness.messageSeen("Download complete"), toolWait);
        const QString mp3 = m_target.filePath("default.mp3");
        QCOMPARE(MediaFixture::streamCodecs(mp3), QStringList{"mp3"});
        QVERIFY(!QFileInfo::exists(m_target.filePath("default.mp4")));
        QCOMPARE(w->currentPage(), 2);
    }

    void aFailedAddressReturnsToTheAddressPage()
    {
        WindowHarness harness;
        Sniffer *w = harness.start();
        openAddress(w, m_media.url("status/404/clip.mp4"));
        QTRY_VERIFY_WITH_TIMEOUT(!harness.responder.messages.isEmpty(), toolWait);
        QCOMPARE(w->currentPage(), 2);
        QCOMPARE(harness.responder.messages.first().title, QString("Downloader problem"));
        QVERIFY(harness.responder.messages.first().text.contains("[DL] in 'onDownloaderError'"));
        // The second answer of the failed address does not pull the window on.
        QTest::qWait(3000);
        QCOMPARE(w->currentPage(), 2);
    }

    void aFolderThatCannotBeWrittenIsSaidPlainly()
    {
        WindowHarness harness;
        Sniffer *w = harness.start();
        openAddress(w, m_media.url("clip.mp4"));
        QTRY_COMPARE_WITH_TIMEOUT(w->currentPage(), 3, toolWait);
        QFile blocker(m_target.filePath("a-file"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        w->optionsForm()->selectPath->setEditText(m_target.filePath("a-file/below"));
        w->optionsForm()->btnDownloadVideo->click();
        QCOMPARE(harness.responder.messages.size(), 1);
        QVERIFY(harness.responder.messages.first().text.startsWith("Folder not writable"));
        QVERIFY(harness.responder.messages.first().text.contains("a-file/below"));
        QCOMPARE(w->currentPage(), 3);
    }

    void aCancelledDownloadLeavesNothingBehind()
    {
        WindowHarness harness;
        Sniffer *w = harness.start();
        openAddress(w, m_media.url("throttle/20000/clip.mp4"));
        QTRY_COMPARE_WITH_TIMEOUT(w->currentPage(), 3, toolWait);
        QTemporaryDir folder;
        w->optionsForm()->inputTitle->setText("slow");
        w->optionsForm()->selectPath->setEditText(folder.path());
        w->optionsForm()->btnDownloadVideo->click();
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(folder.filePath("slow.mp4.part")), toolWait);
        w->progressForm()->btnCloseProgress->click();
        QCOMPARE(w->currentPage(), 0);
        QTest::qWait(1500);
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
        QVERIFY(harness.responder.messages.isEmpty());
    }
};

QTEST_MAIN(tst_AddressDownload)
#include "tst_addressdownload.moc"

#include "CYouTubeDownloadDlg.h"
#include "MediaFixture.h"
#include "WindowHarness.h"

#include "ui_Navigation.h"
#include "ui_OldSniffer.h"

#include <QApplication>
#include <QDesktopServices>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <unistd.h>

class UrlRecorder : public QObject
{
    Q_OBJECT
public:
    UrlRecorder() { QDesktopServices::setUrlHandler("http", this, "open"); }
    ~UrlRecorder() override { QDesktopServices::unsetUrlHandler("http"); }
    QList<QUrl> opened;
public slots:
    void open(const QUrl &url) { opened.append(url); }
};

// The sniffed-media page: reports reach the list through the queue, rows are
// saved through the real transfer from a local server, and with capture
// rights a real client's stream shows up on its own.
class tst_SniffedPage : public QObject
{
    Q_OBJECT

private:
    static constexpr int wait = 60000;

    MediaFixture m_media{QStringLiteral("127.0.0.2")};
    QByteArray m_big;

    static QString hostPort(const MediaFixture &media) { return media.host() + ':' + QString::number(media.port()); }

    static QByteArray requestFor(const MediaFixture &media, const QString &path)
    {
        return "GET /" + path.toLatin1() + " HTTP/1.1\r\nHost: " + hostPort(media).toLatin1()
               + "\r\nUser-Agent: tester\r\nReferer: http://page.example/a: b\r\n\r\n";
    }

    static QStringList rows(Sniffer *w)
    {
        QStringList texts;
        for (int i = 0; i < w->oldSnifferForm()->mediaList->count(); ++i)
            texts << w->oldSnifferForm()->mediaList->item(i)->text();
        return texts;
    }

    static QColor iconColour(Sniffer *w, int row)
    {
        const QIcon icon = w->oldSnifferForm()->mediaList->item(row)->icon();
        return icon.pixmap(16, 16).toImage().pixelColor(8, 8);
    }

    // Answers the save dialog with a file in the folder.
    static void saveAs(WindowHarness &harness, const QString &file, QString *offeredFolder = nullptr)
    {
        harness.responder.onSave = [file, offeredFolder](QFileDialog *dialog) {
            if (offeredFolder)
                *offeredFolder = dialog->directory().absolutePath();
            dialog->selectFile(file);
            return true;
        };
    }

    Sniffer *openPage(WindowHarness &harness)
    {
        Sniffer *w = harness.start();
        w->navigationForm()->btnSniffer->click();
        return w;
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(m_media.start(), qPrintable(m_media.errorString()));
        // Streams of 100000 bytes and more are listed: a longer clip.
        QTemporaryDir scratch;
        QProcess ffmpeg;
        ffmpeg.start(MediaFixture::program("ffmpeg"),
                     {"-loglevel", "error", "-y", "-f", "lavfi", "-i", "testsrc=size=320x240:rate=25,noise=alls=40:allf=t", "-f", "lavfi",
                      "-i", "sine=f=330", "-t", "4", "-c:v", "libx264", "-b:v", "600k", "-c:a", "aac", "-shortest",
                      "-movflags", "+faststart", scratch.filePath("big.mp4")});
        QVERIFY(ffmpeg.waitForFinished(60000));
        QCOMPARE(ffmpeg.exitCode(), 0);
        QFile big(scratch.filePath("big.mp4"));
        QVERIFY(big.open(QIODevice::ReadOnly));
        m_big = big.readAll();
        QVERIFY(m_big.size() > 150000);
        QVERIFY(m_media.addFile("big.mp4", m_big));
        QVERIFY(m_media.addFile("player.html",
                                "<html><body><video src=\"/big.mp4\" autoplay muted preload=\"auto\"></video>"
                                "</body></html>"));
    }

    void reportsBecomeRowsByTheRules()
    {
        WindowHarness harness;
        Sniffer *w = openPage(harness);
        QCOMPARE(w->currentPage(), 5);
        QCOMPARE(w->height(), 230);
        QCOMPARE(w->oldSnifferForm()->label->text(), QString("Time Sniffered        Type          Size"));
        QVERIFY(!w->oldSnifferForm()->pbDownloadVideo->isEnabled());

        Sniffer::queueMediaReport("a.example/small.mp4", "GET", "99999\r\n", "mp4\r\n");
        Sniffer::queueMediaReport("a.example/one.flv", "GET", "100000\r\n", "x-flv\r\n");
        Sniffer::queueMediaReport("a.example/same-size.mp4", "GET", "100000\r\n", "mp4\r\n");
        Sniffer::queueMediaReport("www.youtube.com/v.mp4", "GET", "3145728\r\n", "mp4\r\n");
        QTRY_COMPARE(rows(w).size(), 2);
        QTest::qWait(300);
        const QStringList texts = rows(w);
        QCOMPARE(texts.size(), 2);
        QVERIFY(texts[0].startsWith("2. "));
        QVERIFY(texts[0].endsWith("mp4           3.00 MB"));
        QVERIFY(texts[1].startsWith("1. "));
        QVERIFY(texts[1].endsWith("flv           0.10 MB"));
        QCOMPARE(iconColour(w, 0), QColor(Qt::red));
        // The newest row is selected; the main video site is not previewed.
        QCOMPARE(w->oldSnifferForm()->mediaList->currentRow(), 0);
        QVERIFY(!w->oldSnifferForm()->pbPreview->isEnabled());
        QVERIFY(w->oldSnifferForm()->pbDownloadVideo->isEnabled());
        QTest::mouseClick(w->oldSnifferForm()->mediaList->viewport(), Qt::LeftButton, {},
                          w->oldSnifferForm()->mediaList->visualItemRect(w->oldSnifferForm()->mediaList->item(1)).center());
        QVERIFY(w->oldSnifferForm()->pbPreview->isEnabled());

        w->oldSnifferForm()->pbRemove->click();
        QCOMPARE(rows(w).size(), 1);
        QVERIFY(rows(w)[0].startsWith("2. "));
    }

    void aStreamIsSavedWithTheBrowsersHeaders()
    {
        WindowHarness harness;
        QTemporaryDir target;
        Sniffer *w = openPage(harness);
        const QString url = hostPort(m_media) + "/big.mp4";
        Sniffer::queueMediaReport(url.toLatin1(), requestFor(m_media, "big.mp4"),
                                  QByteArray::number(m_big.size()) + "\r\n", "mp4\r\n");
        QTRY_COMPARE(rows(w).size(), 1);
        QString offered;
        saveAs(harness, target.filePath("my: clip.mp4"), &offered);
        QSignalSpy finished(w, &Sniffer::downloadFinished);
        w->oldSnifferForm()->pbDownloadVideo->click();
        QCOMPARE(finished.size(), 1);
        const QString saved = target.filePath("my.clip.mp4");
        QCOMPARE(finished.first().first().toString(), saved);
        QFile file(saved);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), m_big);
        QCOMPARE(iconColour(w, 0), QColor(Qt::green));
        QVERIFY(harness.responder.messages.isEmpty());
        QVERIFY(w->oldSnifferForm()->pbDownloadVideo->isEnabled());
    }

    void anAudioSaveEndsAsAnMp3BesideIt()
    {
        WindowHarness harness;
        QTemporaryDir target;
        Sniffer *w = openPage(harness);
        Sniffer::queueMediaReport((hostPort(m_media) + "/big.mp4").toLatin1(), requestFor(m_media, "big.mp4"),
                                  QByteArray::number(m_big.size()) + "\r\n", "mp4\r\n");
        QTRY_COMPARE(rows(w).size(), 1);
        saveAs(harness, target.filePath("tune.b.mp4"));
        w->oldSnifferForm()->pbDownloadAudio->click();
        QTRY_VERIFY_WITH_TIMEOUT(harness.messageSeen("Download complete"), wait);
        QCOMPARE(MediaFixture::streamCodecs(target.filePath("tune.b.mp3")), QStringList{"mp3"});
        QVERIFY(!QFileInfo::exists(target.filePath("tune.b.mp4")));
        QCOMPARE(w->currentPage(), 5);
    }

    void aFailedSaveSaysWhyAndACancelSaysSo()
    {
        WindowHarness harness;
        QTemporaryDir target;
        Sniffer *w = openPage(harness);
        Sniffer::queueMediaReport((hostPort(m_media) + "/status/404/big.mp4").toLatin1(),
                                  requestFor(m_media, "status/404/big.mp4"), "300000\r\n", "mp4\r\n");
        QTRY_COMPARE(rows(w).size(), 1);
        saveAs(harness, target.filePath("gone.mp4"));
        QSignalSpy finished(w, &Sniffer::downloadFinished);
        const int before = harness.responder.messages.size();
        w->oldSnifferForm()->pbDownloadVideo->click();
        QCOMPARE(finished.size(), 0);
        QVERIFY(harness.messageSeen("404"));
        QCOMPARE(harness.responder.messages.size(), before + 1);
        QVERIFY(!harness.messageSeen("Download canceled."));
        QCOMPARE(iconColour(w, 0), QColor(Qt::red));
        QCOMPARE(QDir(target.path()).entryList(QDir::Files | QDir::Hidden), QStringList());

        harness.responder.messages.clear();
        Sniffer::queueMediaReport((hostPort(m_media) + "/throttle/30000/big.mp4").toLatin1(),
                                  requestFor(m_media, "throttle/30000/big.mp4"), "400000\r\n", "mp4\r\n");
        QTRY_COMPARE(rows(w).size(), 2);
        saveAs(harness, target.filePath("slow.mp4"));
        QTimer::singleShot(1500, this, [] {
            if (auto *dialog = qobject_cast<CYouTubeDownloadDlg *>(QApplication::activeModalWidget()))
                dialog->cancelButton()->click();
        });
        w->oldSnifferForm()->pbDownloadVideo->click();
        QVERIFY(harness.messageSeen("Download canceled."));
        QCOMPARE(QDir(target.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
        // A cancelled save dialog downloads nothing.
        harness.responder.onSave = [](QFileDialog *) { return false; };
        const int shown = harness.responder.messages.size();
        w->oldSnifferForm()->pbDownloadVideo->click();
        QCOMPARE(harness.responder.messages.size(), shown);
    }

    void theSelfTestPanelAndBack()
    {
        WindowHarness harness(windowTestSettings("[test_sniffer]\n0=\"http://test.example/video\"\n"));
        UrlRecorder recorder;
        Sniffer *w = harness.start();
        w->testSniffer();
        QCOMPARE(w->currentPage(), 5);
        QCOMPARE(w->oldSnifferForm()->stackedWidget->currentIndex(), 1);
        QCOMPARE(w->height(), 380);
        w->testSniffer();
        QCOMPARE(w->height(), 380);
        QCOMPARE(recorder.opened, (QList<QUrl>{QUrl("http://test.example/video"), QUrl("http://test.example/video")}));
        w->navigationForm()->btnBack->click();
        w->navigationForm()->btnSniffer->click();
        QCOMPARE(w->oldSnifferForm()->stackedWidget->currentIndex(), 0);
        QCOMPARE(w->height(), 230);
    }

    void aRealClientsStreamIsListed_data()
    {
        QTest::addColumn<QString>("client");
        QTest::newRow("curl") << "curl";
        QTest::newRow("chromium") << "chromium";
    }

    void aRealClientsStreamIsListed()
    {
        QFETCH(QString, client);
        if (geteuid() != 0)
            QSKIP("Live capture needs root or cap_net_raw,cap_net_admin");
        const QString program = QStandardPaths::findExecutable(client);
        if (program.isEmpty())
            QSKIP(qPrintable(client + " is not installed"));

        WindowHarness harness;
        QTemporaryDir target;
        QTemporaryDir profile;
        Sniffer *w = openPage(harness);
        QProcess browser;
        if (client == "curl") {
            browser.start(program, {"-s", "-o", "/dev/null", "-A", "curl-test", m_media.url("big.mp4")});
        } else {
            browser.start(program, {"--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                                    "--disable-background-networking", "--disable-component-update", "--disable-sync",
                                    "--autoplay-policy=no-user-gesture-required", "--user-data-dir=" + profile.path(),
                                    m_media.url("player.html")});
        }
        QTRY_VERIFY_WITH_TIMEOUT(rows(w).size() >= 1, 30000);
        browser.kill();
        browser.waitForFinished(5000);
        QVERIFY(rows(w)[0].contains("mp4"));
        QVERIFY(rows(w)[0].endsWith(QString::number(m_big.size() / 1048576.0, 'f', 2) + " MB"));

        saveAs(harness, target.filePath("seen.mp4"));
        w->oldSnifferForm()->pbDownloadVideo->click();
        QFile saved(target.filePath("seen.mp4"));
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QCOMPARE(saved.readAll(), m_big);
        // The save's own traffic is not listed as a new stream.
        QTest::qWait(1500);
        QCOMPARE(rows(w).size(), 1);
    }
};

QTEST_MAIN(tst_SniffedPage)
#include "tst_sniffedpage.moc"

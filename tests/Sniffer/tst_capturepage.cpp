#include "CaptureSession.h"
#include "LogHandler.h"
#include "MediaFixture.h"
#include "SelfTest.h"
#include "WindowHarness.h"

#include "ui_Navigation.h"
#include "ui_OldSniffer.h"

#include <QLabel>
#include <QListWidget>
#include <QProcess>
#include <QStandardPaths>

#include <sched.h>
#include <unistd.h>

// The sniffed-media page on real capture, in a network namespace of its own:
// a browser's streams listed and saved, the sniffer test's own stream, and the
// page of a user whom the system does not allow to capture.
class tst_CapturePage : public QObject
{
    Q_OBJECT

private:
    MediaFixture m_media{QStringLiteral("127.0.0.2")};

    // Set in the copies of this program that the tests start without capture rights.
    static bool isChild() { return qEnvironmentVariableIsSet("VIDARRO_PAGE_CHILD"); }

    // The window capturing, and headless Chromium on a page of the server.
    Sniffer *play(WindowHarness &harness, QProcess &browser, const QTemporaryDir &profile, const QString &page)
    {
        Sniffer *w = harness.start();
        w->navigationForm()->btnSniffer->click();
        [&] { QCOMPARE(w->captureSession()->status(), CaptureSession::Status::Capturing); }();
        browser.setEnvironment(QProcess::systemEnvironment() << "HOME=" + profile.path());
        browser.start(QStandardPaths::findExecutable("chromium"),
                      {"--headless=new", "--no-sandbox", "--disable-gpu", "--no-first-run", "--disable-background-networking",
                       "--disable-component-update", "--disable-sync", "--user-data-dir=" + profile.path(),
                       "--autoplay-policy=no-user-gesture-required", m_media.url(page)});
        return w;
    }

    bool make(const QString &name, const QStringList &arguments)
    {
        QProcess ffmpeg;
        ffmpeg.start(MediaFixture::program("ffmpeg"), QStringList{"-loglevel", "error", "-y"} + arguments
                                                          + QStringList{m_media.filePath(name)});
        return ffmpeg.waitForFinished(60000) && ffmpeg.exitCode() == 0 && m_media.bytes(name).size() > 100000;
    }

private slots:
    void initTestCase()
    {
        if (isChild())
            return;
        if (geteuid() != 0)
            QSKIP("live capture needs root (capture rights and a network namespace of its own)");
        QVERIFY(::unshare(CLONE_NEWNET) == 0);
        QCOMPARE(QProcess::execute("ip", {"link", "set", "lo", "up"}), 0);
        QVERIFY2(m_media.start({.media = false}), qPrintable(m_media.errorString()));
    }

    void aBrowsersStreamsAreListedAndSaved()
    {
        if (QStandardPaths::findExecutable("chromium").isEmpty())
            QSKIP("chromium is not installed");
        const QStringList video{"-f", "lavfi", "-i", "testsrc=size=320x240:rate=25,noise=alls=40:allf=t", "-f",
                                "lavfi", "-i", "sine=f=330", "-c:v", "libx264", "-b:v", "500k", "-c:a", "aac",
                                "-shortest", "-movflags", "+faststart", "-t"};
        const QStringList audio{"-f", "lavfi", "-i", "sine=f=440", "-c:a", "libmp3lame", "-b:a", "64k", "-t"};
        QVERIFY(make("a.mp4", video + QStringList{"3"}) && make("b.mp4", video + QStringList{"4"})
                && make("c.mp3", audio + QStringList{"15"}) && make("d.mp3", audio + QStringList{"19"}));
        // Each kind once with "Content-Type" and once "Content-type", once with
        // head and body in one write and once in two; the second MP3 known by its
        // body alone. Ranges answered as a file server does.
        struct Stream { QString name; QByteArray header; int split; QString type; };
        const QList<Stream> streams{{"a.mp4", "Content-Type: video/mp4", -1, "mp4"},
                                    {"b.mp4", "Content-type: video/mp4", 0, "mp4"},
                                    {"c.mp3", "Content-type: audio/mpeg", -1, "MP3"},
                                    {"d.mp3", "Content-Type: application/octet-stream", 0, "MP3"}};
        QByteArray page = "<html><body>";
        for (const Stream &s : streams) {
            QVERIFY(m_media.route(s.name, {.headers = {s.header}, .file = s.name, .split = s.split, .ranges = true}));
            page += (s.name.endsWith("mp4") ? "<video muted" : "<audio") + QByteArray(" autoplay preload=\"auto\" src=\"/")
                    + s.name.toLatin1() + "\"></" + (s.name.endsWith("mp4") ? "video>" : "audio>");
        }
        QVERIFY(m_media.addFile("player.html", page + "</body></html>"));

        WindowHarness harness;
        QTemporaryDir profile;
        QProcess browser;
        Sniffer *w = play(harness, browser, profile, "player.html");
        const auto listed = [&](const Stream &s) { return rowOf(w, m_media.url(s.name)) >= 0; };
        QTRY_VERIFY_WITH_TIMEOUT(std::all_of(streams.cbegin(), streams.cend(), listed), 60000);
        browser.kill();
        browser.waitForFinished(5000);
        QCOMPARE(w->sniffedList().count(), 4);
        QVERIFY(m_media.requestHeads("b.mp4").constFirst().contains("\r\nRange: bytes=0-"));

        // Saved whole, from the browser's request without its Range.
        QTemporaryDir target;
        for (const Stream &s : streams) {
            const int row = rowOf(w, m_media.url(s.name));
            QCOMPARE(itemAt(w, row).size, m_media.bytes(s.name).size());
            QCOMPARE(itemAt(w, row).type, s.type);
            const QString base = target.filePath(s.name.section('.', 0, 0));
            harness.saveRow(row, base);
            QCOMPARE(readFile(base + '.' + s.type), m_media.bytes(s.name));
            QVERIFY(MediaFixture::headerValues(m_media.requestHeads(s.name).constLast(), "Range").isEmpty());
        }
        QVERIFY(harness.responder.messages.isEmpty());
    }

    // Chromium plays an HLS master over plain HTTP: its variant playlists and
    // segments pass through the analysis, and the page lists the master alone.
    void anHlsStreamIsOneRow()
    {
        if (QStandardPaths::findExecutable("chromium").isEmpty())
            QSKIP("chromium is not installed");
        QVERIFY2(m_media.makeStreams(), qPrintable(m_media.errorString()));
        QVERIFY(m_media.addFile("hls.html", "<html><body><video muted autoplay src=\"/hls/master.m3u8\"></video>"
                                            "</body></html>"));
        WindowHarness harness;
        QTemporaryDir profile;
        QProcess browser;
        Sniffer *w = play(harness, browser, profile, "hls.html");
        // Played to its end: every segment of the chosen variant and of the audio fetched.
        const auto segmentsFetched = [&] {
            int count = 0;
            for (const QByteArray &head : m_media.requestHeads())
                count += head.startsWith("GET /hls/s_") ? 1 : 0;
            return count;
        };
        QTRY_VERIFY_WITH_TIMEOUT(m_media.requests("GET /hls/s_2_002.ts") > 0 && segmentsFetched() >= 6, 60000);
        const int master = rowOf(w, "/hls/master.m3u8");
        QVERIFY(master >= 0);
        QTRY_COMPARE_WITH_TIMEOUT(itemAt(w, master).streamText, QString("HLS 1280x720, 3 qualities, 0:06"), 10000);
        const QString tip = itemAt(w, master).streamTip;
        QVERIFY(tip.contains("640x360") && tip.contains(m_media.url("hls/master.m3u8")));
        browser.kill();
        browser.waitForFinished(5000);
        // Every report handed to the list: one row, no variant or segment rows.
        QTRY_COMPARE_WITH_TIMEOUT(w->captureSession()->waitingReports(), 0, 10000);
        QCOMPARE(w->sniffedList().count(), 1);
    }

    void theSnifferTestServesItsOwnStream()
    {
        WindowHarness harness(shippedSettings());
        Sniffer *w = harness.start();
        for (int run = 1; run <= 2; ++run) {
            w->testSniffer();
            QSignalSpy fetched(w->captureSession()->selfTest(), &SelfTest::fetched);
            QVERIFY(fetched.wait(10000) && fetched.first().first().toBool());
            QTRY_COMPARE(w->sniffedList().count(), run);
            const SniffedItem &item = w->sniffedList().at(run - 1);
            QCOMPARE(item.url, w->captureSession()->selfTest()->fetchedUrl().toString());
            QCOMPARE(item.size, SelfTest::testFile(run).size());
            QCOMPARE(item.type, QString("MP3"));
        }
        QVERIFY(w->oldSnifferForm()->lblCaptureProblem->text().isEmpty());
        QCOMPARE(w->oldSnifferForm()->stackedWidget->currentIndex(), 1);
    }

    void withoutCaptureThePageSaysWhy_data()
    {
        QTest::addColumn<QStringList>("wrapper"); // how the copy of this program is started
        QTest::addColumn<int>("warning");
        QTest::addColumn<QString>("logged");
        QTest::newRow("not allowed") << QStringList{"setpriv", "--inh-caps=-all", "--bounding-set=-net_raw,-net_admin"}
                                     << 1 << "open : \"lo\" : not capturing : \"[^\"]*Operation not permitted\"";
        // A new namespace whose loopback is down: no address anywhere.
        QTest::newRow("no interface") << QStringList{"unshare", "--net"} << 2
                                      << "CaptureSession : no interface to capture on";
    }

    void withoutCaptureThePageSaysWhy()
    {
        QFETCH(QStringList, wrapper);
        QFETCH(int, warning);
        QFETCH(QString, logged);
        if (!isChild()) {
            QProcess copy;
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.insert("VIDARRO_PAGE_CHILD", "1");
            copy.setProcessEnvironment(environment);
            copy.setProcessChannelMode(QProcess::MergedChannels);
            const QString test = QString("withoutCaptureThePageSaysWhy:") + QTest::currentDataTag();
            copy.start(wrapper.takeFirst(), wrapper + QStringList{"--", QCoreApplication::applicationFilePath(), test});
            QVERIFY(copy.waitForFinished(60000));
            const QByteArray said = copy.readAll();
            QVERIFY2(copy.exitStatus() == QProcess::NormalExit && copy.exitCode() == 0, said.constData());
            QVERIFY2(said.contains("Totals: 3 passed, 0 failed"), said.constData());
            return;
        }
        // The copy: the real window, the shipped catalogue, the real log file.
        WindowHarness harness(shippedSettings());
        qInstallMessageHandler(logMessageHandler);
        Sniffer *w = harness.start();
        w->navigationForm()->btnSniffer->click();
        qInstallMessageHandler(nullptr);
        QLabel *label = w->oldSnifferForm()->lblCaptureProblem;
        QVERIFY(label->isVisible());
        const QString expected = w->settingsStore().list("warning_messages").value(warning).section('~', 1);
        QCOMPARE(label->text(), QString(expected).replace("{program}", QCoreApplication::applicationFilePath()));
        QVERIFY(label->text().contains(warning == 1 ? "sudo setcap cap_net_raw,cap_net_admin+eip /" : "Connect"));
        const QString log = QString::fromUtf8(readFile(logFilePath(QDate::currentDate())));
        QVERIFY2(QRegularExpression("\nW: [^\n]*" + logged).match(log).hasMatch(), qPrintable(log));
        QVERIFY(harness.responder.messages.isEmpty());
    }
};

QTEST_MAIN(tst_CapturePage)
#include "tst_capturepage.moc"

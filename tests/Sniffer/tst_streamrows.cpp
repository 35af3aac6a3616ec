#include "BrowserCapture.h"
#include "CYouTubeDownloadDlg.h"
#include "CaptureSession.h"
#include "MediaFixture.h"
#include "WindowHarness.h"

#include "ui_Navigation.h"
#include "ui_OldSniffer.h"

#include <QComboBox>
#include <QListWidget>
#include <QPushButton>

namespace {
// Every log line of a test, to show that no cookie value reaches the log.
QStringList logLines;
QtMessageHandler previousHandler = nullptr;
void keepLogLine(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    logLines << text;
    previousHandler(type, context, text);
}
} // namespace

// Manifests on the sniffed-media page: one row each, saved whole with the browser's headers,
// cancelled without a trace, live recorded until Stop, DRM or live DASH refused.
class tst_StreamRows : public QObject
{
    Q_OBJECT

private:
    MediaFixture m_media;
    MediaFixture m_other{QStringLiteral("127.0.0.3")};  // a second host a manifest may name
    MediaFixture m_proxy{QStringLiteral("127.0.0.4")};  // a proxy a page may name

    // What ffprobe says of a file, sorted: its length, "audio", "video,1280,720".
    static QStringList probe(const QString &file)
    {
        const QStringList query{"-v", "error", "-show_entries", "stream=codec_type,width,height:format=duration",
                                "-of", "csv=p=0", file};
        QStringList lines = MediaFixture::execute(MediaFixture::program("ffprobe"), query).output.split('\n', Qt::SkipEmptyParts);
        lines.sort();
        return lines;
    }

    // Decodes the whole file: the saved stream plays.
    static bool plays(const QString &file)
    {
        QProcess ffmpeg;
        ffmpeg.start(MediaFixture::program("ffmpeg"), {"-v", "error", "-xerror", "-i", file, "-f", "null", "-"});
        return ffmpeg.waitForFinished(60000) && ffmpeg.exitCode() == 0 && ffmpeg.readAllStandardError().isEmpty();
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(m_media.start({.media = false}), qPrintable(m_media.errorString()));
        QVERIFY2(m_media.makeStreams(), qPrintable(m_media.errorString()));
        // Protected by a licence server: listed, never saved.
        QVERIFY(m_media.addFile("drm.m3u8", "#EXTM3U\n#EXT-X-VERSION:5\n#EXT-X-TARGETDURATION:2\n"
                                            "#EXT-X-KEY:METHOD=SAMPLE-AES,URI=\"skd://key1\",KEYFORMAT="
                                            "\"com.apple.streamingkeydelivery\",KEYFORMATVERSIONS=\"1\"\n"
                                            "#EXTINF:2.0,\nhls/s_1_000.ts\n#EXT-X-ENDLIST\n"));
        // The 640x360 variant, its segments served slowly: a save to cancel.
        QByteArray slow = m_media.bytes("hls/p_1.m3u8");
        slow.replace("s_1_", "/throttle/20000/hls/s_1_");
        QVERIFY(m_media.addFile("slow.m3u8", slow));
        // Live: a master of the video and audio playlists, and a DASH stream.
        QVERIFY(m_media.addFile("onair/master.m3u8",
                                "#EXTM3U\n#EXT-X-MEDIA:TYPE=AUDIO,GROUP-ID=\"a\",NAME=\"a\",DEFAULT=YES,URI=\"/live/onair/"
                                "p_2.m3u8\"\n#EXT-X-STREAM-INF:BANDWIDTH=900000,RESOLUTION=320x180,CODECS=\"avc1.42c00c,"
                                "mp4a.40.2\",AUDIO=\"a\"\n/live/onair/p_1.m3u8\n"));
        QByteArray dynamic = m_media.bytes("dash/manifest.mpd");
        QVERIFY(m_media.addFile("dash/live.mpd", dynamic.replace("type=\"static\"", "type=\"dynamic\"")));
        // The master here, its playlists and segments on the other host; and one whose segment there refuses.
        QVERIFY(m_other.start({.media = false}) && m_proxy.start({.media = false}));
        for (const QFileInfo &file : QDir(m_media.filePath("hls")).entryInfoList(QDir::Files))
            QVERIFY(m_other.addFile("hls/" + file.fileName(), m_media.bytes("hls/" + file.fileName())));
        QByteArray master = m_media.bytes("hls/master.m3u8");
        QVERIFY(m_media.addFile("cross/master.m3u8", master.replace("p_", m_other.url("/hls/p_").toUtf8())));
        QVERIFY(m_media.addFile("cross/denied.m3u8", "#EXTM3U\n#EXT-X-TARGETDURATION:2\n#EXTINF:2.0,\n"
                                                     + m_other.url("/status/403/hls/s_1_000.ts").toUtf8() + "\n#EXT-X-ENDLIST\n"));
    }

    void aStreamIsOneRowAndSavedWhole_data()
    {
        QTest::addColumn<QString>("manifest");
        QTest::addColumn<QString>("rowText");   // "" for no check
        QTest::addColumn<QString>("quality");   // label of the choice, "" for the default
        QTest::addColumn<QString>("video");     // "" when nothing is saved, "mp3" saved as audio
        QTest::addColumn<QString>("press");     // once a file has bytes: the dialog's "Cancel", "Stop", or "Close" the window
        QTest::addColumn<int>("refusal");       // the "warning_messages" code of a stream not saved
        const auto row = [](const char *name, const char *manifest, const char *rowText, const char *quality,
                            const char *video, const char *press, int refusal = 0) {
            QTest::newRow(name) << QString(manifest) << QString(rowText) << QString(quality) << QString(video)
                                << QString(press) << refusal;
        };
        row("HLS master, best", "hls/master.m3u8", "HLS 1280x720, 3 qualities, 0:06", "", "1280x720", "");
        row("HLS master, 360p", "hls/master.m3u8", "", "640x360", "640x360", "");
        row("HLS master, audio", "hls/master.m3u8", "", "", "mp3", "");
        row("AES-128", "aes/index.m3u8", "HLS, 0:06", "", "640x360", "");
        row("DASH", "dash/manifest.mpd", "DASH 1280x720, 2 qualities, 0:06", "", "1280x720", "");
        row("cancelled", "slow.m3u8", "", "", "", "Cancel");
        row("live, stopped", "live/onair/p_0.m3u8", "HLS, live", "", "320x180", "Stop");
        row("live master, stopped", "onair/master.m3u8", "HLS 320x180, 1 quality, live", "", "320x180", "Stop");
        row("live, stopped at once", "live/onair/p_0.m3u8?once", "", "", "", "Stop at once");
        row("live, window closed", "live/onair/p_0.m3u8?closed", "", "", "", "Close");
        row("DRM", "drm.m3u8", "[DRM] HLS, 0:02", "", "", "", 7);
        row("live DASH", "dash/live.mpd", "DASH 1280x720, 2 qualities, live", "", "", "", 13);
    }

    void aStreamIsOneRowAndSavedWhole()
    {
        QFETCH(QString, manifest);
        QFETCH(QString, rowText);
        QFETCH(QString, quality);
        QFETCH(QString, video);
        QFETCH(QString, press);
        QFETCH(int, refusal);
        const bool audio = video == "mp3";
        const QByteArray type = manifest.contains(".mpd") ? "DASH" : "HLS";
        logLines.clear();
        previousHandler = qInstallMessageHandler(keepLogLine);
        const auto restore = qScopeGuard([] { qInstallMessageHandler(previousHandler); });
        WindowHarness harness(shippedSettings());
        Sniffer *w = harness.start();
        w->navigationForm()->btnSniffer->click();

        // As a source reports it: the browser's request with a cookie.
        const QUrl address(m_media.url(manifest));
        const QByteArray head = "GET " + address.path().toLatin1() + " HTTP/1.1\r\nHost: " + address.authority().toLatin1()
                                + "\r\nUser-Agent: StreamRowsTest/1.0\r\nCookie: session=s3cret\r\n\r\n";
        QVERIFY(w->captureSession()->queueReport(address.toString().mid(7).toLatin1(), head, "512\r\n",
                                                 type));
        QTRY_VERIFY_WITH_TIMEOUT(rowOf(w, manifest) >= 0 && !itemAt(w, rowOf(w, manifest)).streamText.isEmpty(), 20000);
        const SniffedItem item = itemAt(w, rowOf(w, manifest));
        if (!rowText.isEmpty())
            QCOMPARE(item.streamText, rowText);
        QVERIFY(item.streamTip.contains(address.toString()));
        // The window read the manifest with the browser's headers.
        QVERIFY(m_media.requestHeads(address.path()).constFirst().contains("\r\nCookie: session=s3cret\r\n"));

        w->oldSnifferForm()->mediaList->setCurrentRow(rowOf(w, manifest));
        w->oldSnifferForm()->mediaList->itemClicked(w->oldSnifferForm()->mediaList->currentItem());
        QComboBox *choice = w->qualityChoice();
        QCOMPARE(!choice->isHidden(), !item.drm);
        if (!quality.isEmpty())
            choice->setCurrentIndex(choice->findText(quality));

        QTemporaryDir target;
        const QString base = target.filePath("saved");
        // An older file of that name gives way to a complete save only.
        if (quality == "640x360")
            writeFile(base + ".mp4", "older file");
        bool asked = false;
        harness.responder.onSave = [&](QFileDialog *dialog) { asked = true; dialog->selectFile(base); return true; };
        QTimer presser;
        QString dialogWords;
        // Press once the tool has written something, and a recording says so (or at once).
        connect(&presser, &QTimer::timeout, this, [&] {
            const QFileInfoList files = QDir(target.path()).entryInfoList(QDir::Files);
            auto *dialog = qobject_cast<CYouTubeDownloadDlg *>(QApplication::activeModalWidget());
            if (dialog && dialog->cancelButton()->isEnabled()
                && (press.endsWith("at once")
                    || (!dialog->timeLeftLabel()->text().contains(" 0 Bytes")
                        && std::any_of(files.cbegin(), files.cend(), [](const QFileInfo &f) { return f.size() > 0; })))) {
                dialogWords = dialog->cancelButton()->text() + " " + dialog->timeLeftLabel()->text();
                press == "Close" ? void(w->close()) : dialog->cancelButton()->click();
            }
        });
        if (!press.isEmpty())
            presser.start(20);
        (audio ? w->oldSnifferForm()->pbDownloadAudio : w->oldSnifferForm()->pbDownloadVideo)->click();
        QVERIFY(harness.settle(90000));
        presser.stop();
        // No tool, ffmpeg or part file outlives the save (an MP3 conversion follows it).
        QTRY_VERIFY_WITH_TIMEOUT(audio || !MediaFixture::processMentions(target.path()), 10000);
        QTRY_VERIFY(audio || QDir(target.path()).entryList({"*.part*"}, QDir::Files).isEmpty());
        QVERIFY(!logLines.filter("StreamSave").isEmpty() || refusal);
        QVERIFY(logLines.filter("s3cret").isEmpty());
        const QString saved = base + ".mp4";

        if (refusal) {
            QVERIFY(!asked);
            const QString words = w->settingsStore().list("warning_messages").value(refusal).section('~', 1);
            QVERIFY(words.contains(item.drm ? "protected" : "live DASH"));
            QVERIFY(harness.messageSeen(words));
            return;
        }
        QVERIFY2(dialogWords.startsWith(press.section(' ', 0, 0)) || press == "Close", qPrintable(dialogWords));
        // Cancelled, or stopped before anything was recorded: nothing is kept.
        if (press == "Cancel" || press.endsWith("at once") || press == "Close") {
            QVERIFY(harness.messageSeen("Download canceled.") || press == "Close");
            QVERIFY(QDir(target.path()).isEmpty(QDir::Files) || press == "Close");
            return;
        }
        if (audio) {
            QCOMPARE(QDir(target.path()).entryList(QDir::Files), QStringList{"saved.mp3"});
            QCOMPARE(MediaFixture::streamCodecs(base + ".mp3"), QStringList{"mp3"});
            return;
        }
        QVERIFY2(harness.responder.messages.isEmpty(), qPrintable(harness.responder.messages.value(0).text));
        QCOMPARE(QDir(target.path()).entryList(QDir::Files), QStringList{"saved.mp4"});
        QStringList streams = probe(saved);
        const double seconds = streams.takeFirst().toDouble();
        QCOMPARE(streams, (QStringList{"audio", "video," + video.replace('x', ',')}));
        // A recording holds what came until Stop, a save the whole stream.
        QVERIFY2(press == "Stop" ? seconds > 0.5 && dialogWords.contains("so far") : qAbs(seconds - 6.0) < 0.5,
                 qPrintable(QString::number(seconds) + " " + dialogWords));
        QVERIFY(plays(saved));
        // The segments came with the browser's headers.
        const QList<QByteArray> heads = m_media.requestHeads();
        QVERIFY(std::any_of(heads.cbegin(), heads.cend(), [](const QByteArray &h) {
            return (h.contains(".ts ") || h.contains(".m4s ")) && h.contains("\r\nCookie: session=s3cret\r\n")
                   && h.contains("\r\nUser-Agent: StreamRowsTest/1.0\r\n");
        }));
    }

    // What a page sets in its requests: secrets go to their own host only, headers the tool would
    // take as orders or cannot read are left out (named in the log, never their values), and
    // secrets in the address never stand on a command line.
    void whatAPageSetsStaysInItsPlace_data()
    {
        QTest::addColumn<QString>("manifest");
        QTest::addColumn<bool>("browserRow");      // as the extension reports it, else a packet's header block
        QTest::addColumn<QByteArrayList>("headers");
        QTest::addColumn<QString>("outcome");      // "saved", or a text of the failure's box
        QTest::addColumn<QStringList>("logged");   // names the log gives as left out
        const QByteArrayList secrets{"Cookie: session=s3cret", "Authorization: Bearer t0ken-s3cret"};
        const QByteArray proxy = "Ytdl-Request-Proxy: " + m_proxy.url("/").toLatin1();
        const QByteArrayList odd{"X.Dot: 1", "X': 2", "X-Line: a\xe2\x80\xa8" "b", "X-Raw: \xff\xfe"};
        QTest::newRow("other host, browser row, the tool's own header")
            << "cross/master.m3u8" << true << secrets + QByteArrayList{proxy} << "saved" << QStringList{"Ytdl-Request-Proxy"};
        QTest::newRow("other host, packet row, names and values the tool cannot take")
            << "cross/master.m3u8" << false << secrets + odd << "saved" << QStringList{"X.Dot", "X'", "X-Line", "X-Raw"};
        QTest::newRow("other host asks a sign-in") << "cross/denied.m3u8" << true << secrets
                                                   << "is kept to the site it was sent to" << QStringList();
        QTest::newRow("secrets in the address") << "hls/master.m3u8?token=t0ken-s3cret" << true << secrets << "saved"
                                                << QStringList();
    }

    void whatAPageSetsStaysInItsPlace()
    {
        QFETCH(QString, manifest);
        QFETCH(bool, browserRow);
        QFETCH(QByteArrayList, headers);
        QFETCH(QString, outcome);
        QFETCH(QStringList, logged);
        logLines.clear();
        previousHandler = qInstallMessageHandler(keepLogLine);
        const auto restore = qScopeGuard([] { qInstallMessageHandler(previousHandler); });
        const int otherHeadsBefore = m_other.requestHeads().size();
        WindowHarness harness(shippedSettings());
        Sniffer *w = harness.start();
        w->navigationForm()->btnSniffer->click();

        QUrl address(m_media.url(manifest));
        if (manifest.contains("token="))
            address.setUserInfo("viewer:pw-s3cret");
        BrowserStream stream;
        stream.url = address.toString();
        stream.method = "GET";
        stream.status = 200;
        stream.contentType = "application/vnd.apple.mpegurl";
        QByteArray head = "GET " + address.toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority) + " HTTP/1.1\r\nHost: "
                          + address.adjusted(QUrl::RemoveUserInfo).authority().toLatin1() + "\r\n";
        for (const QByteArray &line : headers) {
            const qsizetype colon = line.indexOf(": ");
            stream.requestHeaders.append({line.first(colon), line.sliced(colon + 2)});
            head += line + "\r\n";
        }
        if (browserRow)
            emit w->browserCapture()->reportArrived(BrowserCapture::report(stream), true, stream.tabTitle, stream.seen);
        else
            QVERIFY(w->captureSession()->queueReport(address.toString().mid(7).toLatin1(), head + "\r\n", "512", "HLS"));
        QTRY_VERIFY_WITH_TIMEOUT(rowOf(w, manifest) >= 0 && !itemAt(w, rowOf(w, manifest)).streamText.isEmpty(), 20000);

        QTemporaryDir target;
        // While the tool runs, no command line holds the address's secrets.
        int toolSeen = 0;
        QStringList exposed;
        QTimer watch;
        connect(&watch, &QTimer::timeout, this, [&] {
            toolSeen += MediaFixture::processMentions(target.path());
            for (const char *secret : {"pw-s3cret", "t0ken-s3cret"})
                if (MediaFixture::processMentions(secret))
                    exposed << QString(secret);
        });
        watch.start(10);
        harness.saveRow(rowOf(w, manifest), target.filePath("saved"));
        watch.stop();
        QVERIFY(toolSeen > 0);
        QVERIFY2(exposed.isEmpty(), qPrintable(exposed.join(' ')));
        if (outcome == "saved") {
            QVERIFY2(harness.responder.messages.isEmpty(), qPrintable(harness.responder.messages.value(0).text));
            QCOMPARE(MediaFixture::streamCodecs(target.filePath("saved.mp4")).size(), 2);
        } else {
            QVERIFY(harness.messageSeen(outcome));
        }
        // The other host saw the stream's requests, and none of its secrets; no proxy was asked.
        const QList<QByteArray> otherHeads = m_other.requestHeads().mid(otherHeadsBefore);
        QCOMPARE(otherHeads.isEmpty(), !manifest.startsWith("cross"));
        for (const QByteArray &otherHead : otherHeads)
            QVERIFY2(!otherHead.contains("s3cret"), otherHead.constData());
        QVERIFY(m_proxy.requestHeads().isEmpty());
        for (const QString &name : logged)
            QVERIFY2(!logLines.filter("header left out : \"" + name + '"').isEmpty(), qPrintable(name));
        QVERIFY(logLines.filter("s3cret").isEmpty());
    }
};

QTEST_MAIN(tst_StreamRows)
#include "tst_streamrows.moc"

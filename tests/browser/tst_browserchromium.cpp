#include "BrowserCapture.h"
#include "BrowserSession.h"
#include "BrowserSocket.h"
#include "BrowserSpool.h"
#include "DevTools.h"
#include "HandoverChannel.h"
#include "JobQueue.h"
#include "LogHandler.h"
#include "MediaFixture.h"
#include "SaveName.h"
#include "TestMessages.h"
#include "WindowHarness.h"

#include "ui_Navigation.h"
#include "ui_OldSniffer.h"

#include <QComboBox>
#include <QLabel>
#include <QLocalSocket>
#include <QListWidget>
#include <QProcess>
#include <QRegularExpression>
#include <QSslConfiguration>
#include <QStandardPaths>
#include <QUuid>

#include <csignal>
#include <memory>
#include <sys/socket.h>

// Headless Chromium with the extension plays a local HTTPS site whose media need
// the page's cookie: first with no window (the host keeps the streams), then with
// its page open. Rows are saved through the window's transfer, trusting this run's CA.
// Then the user's actions, driven through the DevTools protocol: the menu entry's
// own handler, the popup and the options page's switch of the shipped extension.
class tst_BrowserChromium : public QObject
{
    Q_OBJECT

private:
    QString m_chromium;
    QTemporaryDir m_work;
    const QByteArray m_cookie = QUuid::createUuid().toString(QUuid::Id128).toLatin1();
    MediaFixture m_site{QStringLiteral("127.0.0.2")};

    // One profile for the copy that watches, one for the shipped extension: a browser keeps the permissions it granted.
    QString profile(bool shipped = false) const { return m_work.filePath(shipped ? "shipped" : "profile"); }
    QString watching() const { return m_work.filePath(QStringLiteral("watching")); }
    static constexpr const char *extensionId = "lgkjkmanipcdbcjepghpmaomdgodaokk";

    // The browser waits at /go, a page that loads itself again each second,
    // until the test sends it on to the page to play.
    // The copy that watches from the start, or with DevTools the shipped extension, off until switched on.
    void startBrowser(QProcess &browser, DevTools *tools = nullptr)
    {
        QVERIFY(m_site.route("go", {.headers = {"Content-Type: text/html", "Cache-Control: no-store"},
                                    .body = "<meta http-equiv=\"refresh\" content=\"1\">"}));
        browser.setStandardOutputFile(QProcess::nullDevice());
        browser.setStandardErrorFile(m_work.filePath(QStringLiteral("chromium.log")), QIODevice::Append);
        QStringList arguments{"--headless=new", "--no-sandbox", "--disable-gpu", "--no-first-run",
                              "--disable-background-networking", "--disable-component-update", "--disable-sync",
                              "--ignore-certificate-errors", "--autoplay-policy=no-user-gesture-required",
                              "--user-data-dir=" + profile(tools != nullptr),
                              "--load-extension=" + (tools ? VIDARRO_EXTENSION_DIR "/chromium" : watching())};
        if (tools) {
            tools->attach(browser);
            arguments << DevTools::flag();
        }
        browser.start(m_chromium, arguments << "data:text/html,<script>location='" + m_site.tlsUrl("go") + "'</script>");
    }

    void play(const QByteArray &page)
    {
        QVERIFY(m_site.route("go", {.status = "303 See Other", .headers = {"Location: /" + page}}));
    }

    static void stopBrowser(QProcess &browser)
    {
        browser.terminate();
        QVERIFY(browser.waitForFinished(30000));
    }

    // Requests for that file that carried the page's cookie.
    int withCookie(const QString &name) const
    {
        const QList<QByteArray> heads = m_site.requestHeads(name);
        return int(std::count_if(heads.cbegin(), heads.cend(), [this](const QByteArray &head) {
            return MediaFixture::headerValues(head, "Cookie").join(';').contains(QByteArray("vidarro_test=" + m_cookie));
        }));
    }

    // The process that listens for handovers in that per-user folder, or 0.
    static pid_t handoverListener(const QString &folder)
    {
        for (const QString &name : BrowserSocket::serverPlaces(folder, false, Handover::socketRole()).names) {
            QLocalSocket socket;
            socket.connectToServer(name);
            ucred peer{};
            socklen_t size = sizeof peer;
            if (socket.waitForConnected(1000)
                && ::getsockopt(int(socket.socketDescriptor()), SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0)
                return peer.pid;
        }
        return 0;
    }

private slots:
    void initTestCase()
    {
        m_chromium = QStandardPaths::findExecutable(QStringLiteral("chromium"));
        if (m_chromium.isEmpty())
            QSKIP("chromium is not installed");
        QVERIFY(QDir().mkpath(profile()) && QDir().mkpath(profile(true)));
        QVERIFY2(m_site.start({.media = false, .tls = true, .cookie = m_cookie}), qPrintable(m_site.errorString()));
        QVERIFY2(m_site.makeStreams(), qPrintable(m_site.errorString()));
        // An MP4 and an MP3 over 100,000 bytes, and a 1000-byte octet-stream "generic.mp4".
        QCOMPARE(QProcess::execute(MediaFixture::program("ffmpeg"),
                                   {"-nostdin", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
                                    "testsrc=size=320x240:rate=25:duration=4", "-f", "lavfi", "-i", "sine=duration=8",
                                    "-c:v", "libx264", "-preset", "ultrafast", "-b:v", "600k", "-pix_fmt", "yuv420p",
                                    "-c:a", "aac", "-shortest", "-movflags", "+faststart", m_site.filePath("clip.mp4"),
                                    "-map", "1:a", "-b:a", "128k", m_site.filePath("tune.mp3")}),
                 0);
        // Without the page's cookie, no media.
        const QStringList fetch{"-s", "--noproxy", "*", "--cacert", m_site.caFile(), "-o", "/dev/null", "-w",
                                "%{http_code}", m_site.tlsUrl("clip.mp4")};
        QCOMPARE(MediaFixture::execute("curl", fetch).output, "403");
        // A player's fetch of a video whose address names no media file.
        QVERIFY(m_site.addFile("stream", m_site.bytes("clip.mp4") + QByteArray(4096, '\0'))
                && m_site.route("stream", {.headers = {"Content-Type: video/mp4"}, .file = "stream"}));
        QVERIFY(m_site.route("generic.mp4", {.headers = {"Content-Type: application/octet-stream"},
                                             .body = QByteArray(1000, '\0')}));
        const QByteArray files = "<!DOCTYPE html>\n<html><head><title>Browser capture test</title></head><body>"
                                 "<video src=\"clip.mp4\" autoplay muted></video><audio src=\"tune.mp3\" autoplay muted>"
                                 "</audio><script>fetch(\"generic.mp4\")</script>\n";
        // HLS played, DASH and "stream" fetched as a player would; end.mp4 once both videos ended.
        const QByteArray streams = "<video src=\"hls/master.m3u8\" autoplay muted></video>"
                                   "<video src=\"aes/index.m3u8\" autoplay muted></video><script>fetch(\"stream\");\n"
                                   "fetch(\"dash/manifest.mpd\");\n"
                                   "Promise.all([...document.querySelectorAll(\"video[src$=m3u8]\")].map(v => "
                                   "new Promise(ended => v.onended = ended))).then(() => fetch(\"end.mp4\"))</script>\n";
        // A slow master: the AES playlist, of another folder, arrives while it waits.
        QVERIFY(m_site.route("hls/master.m3u8", {.headers = {"Content-Type: application/vnd.apple.mpegurl"},
                                                 .file = "hls/master.m3u8", .rate = 200}));
        QVERIFY(m_site.addFile("files.html", files) && m_site.addFile("streams.html", files + streams)
                && m_site.addFile("end.mp4", QByteArray(1000, '\0')));
        for (const bool shipped : {false, true})
            QCOMPARE(QProcess::execute(QStringLiteral("bash"),
                                       {VIDARRO_SOURCE_DIR "/tools/browser/install-host-manifests.sh", "--profile",
                                        profile(shipped), "--host", VIDARRO_BIN_DIR "/vidarro-browser-host"}),
                     0);
        QVERIFY(copyWatchingExtension(watching(), "chromium"));
    }

    void playedStreamsAreListedAndSaved()
    {
        // The per-user folder of the window and the host; the shipped catalogue.
        WindowHarness harness(shippedSettings());
        const QString folder = harness.userDir.filePath(QStringLiteral("Vidarro"));
        const QString spool = BrowserSpool(folder).filePath();
        const QString hostLog = folder + QStringLiteral("/browser-host.log");
        qInstallMessageHandler(logMessageHandler);

        // No window yet: the host keeps what the browser plays.
        QProcess browser;
        startBrowser(browser);
        QTRY_VERIFY_WITH_TIMEOUT(readFile(hostLog).contains("started for"), 90000);
        play("files.html");
        const QStringList media{"clip.mp4", "tune.mp3", "generic.mp4"};
        QTRY_VERIFY_WITH_TIMEOUT(std::all_of(media.cbegin(), media.cend(),
                                             [&](const QString &name) { return readFile(spool).contains(name.toLatin1()); }),
                                 60000);
        stopBrowser(browser);

        // Listed when the page opens: full address, size and type; generic.mp4 is too small.
        const QString opened = QTime::currentTime().toString("hh:mm:ss");
        Sniffer *w = harness.start();
        w->navigationForm()->btnSniffer->click();
        QLabel *word = w->oldSnifferForm()->lblBrowser;
        QCOMPARE(word->text(), QStringLiteral("No browser connected"));
        for (const auto &[name, type] : {std::pair{"clip.mp4", "mp4"}, {"tune.mp3", "MP3"}}) {
            const int row = rowOf(w, m_site.tlsUrl(name));
            QVERIFY2(row >= 0, name);
            QCOMPARE(itemAt(w, row).url, m_site.tlsUrl(name));
            QCOMPARE(itemAt(w, row).size, m_site.bytes(name).size());
            QCOMPARE(itemAt(w, row).type, QString(type));
            QVERIFY(itemAt(w, row).time <= opened || opened < "00:01:00"); // when it played, not when the page opened
            // Told apart by the page that played it, on the row's second line.
            QCOMPARE(SniffedItems::nameLine(itemAt(w, row)), QStringLiteral("Browser capture test \u00b7 127.0.0.2"));
        }
        QCOMPARE(rowOf(w, "generic.mp4"), -1);
        // The packet sniffer saw this encrypted traffic too, and could list none of it.
        QCOMPARE(rowOf(w, "http://127.0.0.2"), -1);

        // The transfer checks the site's certificate: unknown to it, nothing is saved.
        QTemporaryDir target;
        w->oldSnifferForm()->mediaList->setCurrentRow(rowOf(w, m_site.tlsUrl("clip.mp4")));
        harness.responder.onSave = [&target](QFileDialog *dialog) { dialog->selectFile(target.filePath("x")); return true; };
        w->oldSnifferForm()->pbDownloadVideo->click();
        QVERIFY(harness.settle());
        QVERIFY(harness.responder.messages.size() == 1 && QDir(target.path()).isEmpty());
        // Trusted through the default configuration: the program cannot turn the checks off.
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        QVERIFY(tls.addCaCertificates(m_site.caFile()));
        QSslConfiguration::setDefaultConfiguration(tls);
        // And for the downloader tool that saves streams, as OpenSSL programs take it.
        qputenv("SSL_CERT_FILE", m_site.caFile().toLocal8Bit());

        // Played with the page open: files not listed twice, each stream one row read
        // with the browser's cookie, its variant playlists and segments none.
        const auto siteRows = [&] {
            // Other suites' plain-HTTP streams on the loopback interface may reach the packet sniffer meanwhile.
            int count = 0;
            for (int i = 0; i < w->sniffedList().count(); ++i)
                count += w->sniffedList().at(i).url.startsWith(m_site.tlsUrl({})) ? 1 : 0;
            return count;
        };
        const int listed = siteRows();
        QStringList seen;
        connect(w->browserCapture()->session(), &BrowserSession::streamSeen, this,
                [&seen](const BrowserStream &stream) { seen << stream.url; });
        startBrowser(browser);
        QTRY_COMPARE_WITH_TIMEOUT(word->text(), QStringLiteral("Browser connected"), 90000);
        play("streams.html");
        QTRY_VERIFY_WITH_TIMEOUT(seen.contains(m_site.tlsUrl("end.mp4")), 60000);
        stopBrowser(browser);
        QTRY_COMPARE_WITH_TIMEOUT(word->text(), QStringLiteral("No browser connected"), 30000);
        QVERIFY(std::all_of(media.cbegin(), media.cend(), [&](const QString &name) { return seen.contains(m_site.tlsUrl(name)); }));
        QVERIFY(!QFile::exists(spool)); // handed to the open window, not kept
        for (const char *part : {"/hls/p_.\\.m3u8$", "/hls/s_._00.\\.ts$", "/aes/s_00.\\.ts$"})
            QVERIFY2(!seen.filter(QRegularExpression(part)).isEmpty(), part);
        const QList<std::pair<QString, QString>> streams{{"hls/master.m3u8", "HLS 1280x720, 3 qualities, 0:06"},
                                                         {"aes/index.m3u8", "HLS, 0:06"},
                                                         {"dash/manifest.mpd", "DASH 1280x720, 2 qualities, 0:06"}};
        for (const auto &[manifest, text] : streams) {
            const QString url = m_site.tlsUrl(manifest);
            QTRY_COMPARE_WITH_TIMEOUT(rowOf(w, url) >= 0 ? itemAt(w, rowOf(w, url)).streamText : QString(), text, 10000);
            const SniffedItem item = itemAt(w, rowOf(w, url));
            QVERIFY(item.url == url && item.streamTip.contains(url));
            QCOMPARE(item.type, text.section(QRegularExpression("[ ,]"), 0, 0));
            QVERIFY(withCookie(manifest) >= 2); // the browser's request, and the window's
        }
        QCOMPARE(siteRows(), listed + int(streams.size()) + 1); // and the fetched "stream"
        // An HLS row's quality choice has a line of its own: the header and the browser's word stay readable.
        QListWidget *list = w->oldSnifferForm()->mediaList;
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualItemRect(list->item(rowOf(w, m_site.tlsUrl("hls/master.m3u8")))).center());
        const auto *quality = w->findChild<QComboBox *>("cbQuality");
        const auto inWindow = [w](const QWidget *widget) { return QRect(widget->mapTo(w, QPoint()), widget->size()); };
        QTRY_VERIFY(quality->isVisible());
        QVERIFY(!inWindow(quality).intersects(inWindow(word)) && !inWindow(quality).intersects(inWindow(w->oldSnifferForm()->label)));

        // Saved with the browser's cookie: whole files, an audio save as MP3, and
        // the HLS stream at its best quality with its audio, by the tool.
        struct Save { QString name; QPushButton *button; QString file; };
        const QList<Save> saves{{"clip.mp4", w->oldSnifferForm()->pbDownloadVideo, "clip.mp4"},
                                {"hls/master.m3u8", w->oldSnifferForm()->pbDownloadVideo, "stream.mp4"},
                                {"tune.mp3", w->oldSnifferForm()->pbDownloadVideo, "tune.MP3"},
                                {"stream", w->oldSnifferForm()->pbDownloadVideo, "fetched.mp4"},
                                {"tune.mp3", w->oldSnifferForm()->pbDownloadAudio, "sound.mp3"}};
        for (const Save &save : saves) {
            const int before = withCookie(save.name), segments = withCookie("hls/s_0_000.ts");
            harness.saveRow(rowOf(w, m_site.tlsUrl(save.name)), target.filePath(save.file.section('.', 0, 0)), save.button);
            QVERIFY(harness.responder.aboveWindow && harness.responder.proposed.contains("capture"));
            if (save.name.endsWith("m3u8")) {
                QVERIFY(withCookie(save.name) > before && withCookie("hls/s_0_000.ts") > segments);
                QCOMPARE(MediaFixture::streamCodecs(target.filePath(save.file)), (QStringList{"h264", "aac"}));
                continue;
            }
            QCOMPARE(withCookie(save.name), before + 1);
            // And the page as referrer, as the browser sent it, which Chromium shows no listener that does not ask for every header.
            QCOMPARE(MediaFixture::headerValues(m_site.requestHeads(save.name).constLast(), "Referer"),
                     QList<QByteArray>{m_site.tlsUrl(save.name == "stream" ? "streams.html" : "files.html").toUtf8()});
            if (save.button == w->oldSnifferForm()->pbDownloadAudio) {
                QCOMPARE(MediaFixture::streamCodecs(target.filePath(save.file)), QStringList{"mp3"});
            } else {
                QCOMPARE(readFile(target.filePath(save.file)), m_site.bytes(save.name));
            }
        }
        qInstallMessageHandler(nullptr);
        for (const QString &log : {logFilePath(QDate::currentDate()), hostLog}) {
            const QByteArray text = readFile(log);
            QVERIFY2(text.contains("BrowserCapture") || text.contains("started for"), qPrintable(log));
            QVERIFY2(!text.contains(m_cookie), qPrintable(log));
        }
    }

    void actionsFromTheBrowser()
    {
        QTemporaryDir saved;
        WindowHarness harness(updatedOn(QDate::currentDate()) + "savepath_video=" + saved.filePath("video").toUtf8()
                              + "\nsavepath_audio=" + saved.filePath("audio").toUtf8() + "\n"
                              + readFile(VIDARRO_SOURCE_DIR "/resources/sniffer_linux.ini"));
        const QString folder = harness.userDir.filePath(QStringLiteral("Vidarro"));
        qInstallMessageHandler(logMessageHandler);
        const auto log = [] { return readFile(logFilePath(QDate::currentDate())); };
        const QByteArray onDownloadPage = "on the download page : \"" + m_site.tlsUrl("files.html").toUtf8();
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        QVERIFY(tls.addCaCertificates(m_site.caFile()));
        QSslConfiguration::setDefaultConfiguration(tls);
        qputenv("SSL_CERT_FILE", m_site.caFile().toLocal8Bit());

        auto tools = std::make_unique<DevTools>();
        QProcess browser;
        QString worker;
        const auto start = [&] {
            startBrowser(browser, tools.get());
            QTRY_VERIFY_WITH_TIMEOUT(!(worker = tools->session("service_worker", extensionId)).isEmpty()
                                         && tools->evaluate(worker, "typeof onMenu").toString() == "function", 90000);
        };
        start();
        const auto run = [&](const QString &script) { return tools->evaluate(worker, script).toObject(); };
        const QString page = m_site.tlsUrl("files.html"), clip = m_site.tlsUrl("clip.mp4");
        const int played = int(m_site.requestHeads("clip.mp4").size());
        tools->call("Target.createTarget", {{"url", page}});
        QTRY_VERIFY_WITH_TIMEOUT(m_site.requestHeads("clip.mp4").size() > played, 30000);
        // The menu entry's own handler, as the browser calls it for a click in that tab.
        const QString menu = "(async () => { const tab = (await chrome.tabs.query({})).filter((t) => t.url === '" + page
                             + "').pop(); return onMenu(Object.assign({menuItemId: 'vidarro-download', pageUrl: "
                               "tab.url}, %1), tab); })()";

        // No Vidarro runs: the host starts the program, and the page reaches its download page.
        QVERIFY(handoverListener(folder) == 0);
        QCOMPARE(run(menu.arg("{}")).value("ok"), true);
        QTRY_VERIFY_WITH_TIMEOUT(log().contains(onDownloadPage), 90000);
        const pid_t started = handoverListener(folder);
        QVERIFY(started > 0 && started != ::getpid());
        ::kill(started, SIGTERM);
        QTRY_VERIFY_WITH_TIMEOUT(::kill(started, 0) != 0, 30000);

        // Now the test's window takes the handovers.
        Sniffer *w = harness.start();
        w->navigationForm()->btnSniffer->click();
        HandoverServer handover(folder);
        QCOMPARE(handover.listen(), HandoverServer::Listen::Listening);
        connect(&handover, &HandoverServer::handed, w, &Sniffer::takeHandover);
        connect(&handover, &HandoverServer::saveRequested, w, &Sniffer::saveBrowserStreams);
        QStringList seen;
        connect(w->browserCapture()->session(), &BrowserSession::streamSeen, this,
                [&seen](const BrowserStream &stream) { seen << stream.url; });
        QCOMPARE(run(menu.arg("{}")).value("ok"), true);
        QTRY_COMPARE_WITH_TIMEOUT(log().count(onDownloadPage), 2, 90000);

        // A video element, watching off: its address with the page's cookie from the browser's store.
        const int withCookieBefore = withCookie("clip.mp4");
        QCOMPARE(run(menu.arg("{mediaType: 'video', srcUrl: '" + clip + "'}")).value("ok"), true);
        QTRY_VERIFY_WITH_TIMEOUT(w->jobQueue()->count() == 1 && harness.jobsIdle(), 60000);
        const QDir videos(saved.filePath("video")), audio(saved.filePath("audio"));
        const QString name = SaveName::cleanBaseName("Browser capture test");
        QCOMPARE(videos.entryList(QDir::Files), QStringList{name + ".mp4"});
        QCOMPARE(readFile(videos.filePath(name + ".mp4")), m_site.bytes("clip.mp4"));
        QCOMPARE(withCookie("clip.mp4"), withCookieBefore + 1);

        // Messages no action may carry: refused, nothing saved, the host answers on.
        const QList<std::pair<QString, QString>> hostile{
            {"{kind: 'open', url: 'file:///etc/passwd'}", "http or https"},
            {"{kind: 'open', url: 'javascript:alert(1)'}", "http or https"},
            {"{kind: 'save', ids: [987654]}", "no stream of that number"},
            {"{kind: 'media', url: '" + clip + "', requestHeaders: [], tabTitle: 'x'.repeat(2 << 20), pageUrl: ''}",
             "over the limit"}};
        for (const auto &[message, error] : hostile) {
            const QJsonObject answer = run("host.send(" + message + ")");
            QVERIFY2(answer.value("ok") == false && answer.value("error").toString().contains(error), qPrintable(message));
        }
        QCOMPARE(run("host.send({kind: 'hello'})").value("ok"), true);
        QCOMPARE(w->jobQueue()->count(), 1);

        // Watching off: the page played, and no webRequest event reached the extension.
        QCOMPARE(tools->evaluate(worker, "typeof chrome.webRequest").toString(), QStringLiteral("undefined"));
        QVERIFY(seen.isEmpty());

        // The options page's switch, by a click the browser takes as the user's: the permission
        // is granted or given back, and the listeners follow it at once.
        const QString watchingNow = "chrome.permissions.contains({permissions: ['webRequest']}).then((held) => "
                                    "held === watcher.watching ? String(held) : 'between')";
        const auto switchWatching = [&](const QString &expected) {
            tools->call("Target.createTarget", {{"url", QString("chrome-extension://%1/options.html").arg(extensionId)}});
            QString options;
            QTRY_VERIFY_WITH_TIMEOUT(!(options = tools->session("page", "options.html")).isEmpty(), 30000);
            QTRY_VERIFY(tools->evaluate(options, "document.readyState").toString() == "complete");
            tools->click(options, "#watch");
            QTRY_COMPARE_WITH_TIMEOUT(tools->evaluate(worker, watchingNow).toString(), expected, 30000);
            tools->call("Target.closeTarget", {{"targetId", tools->call("Target.getTargetInfo", {}, options)
                                                                .value("targetInfo").toObject().value("targetId")}});
        };
        switchWatching("true");
        // Chromium decides as it loads an extension whether requests pass through it:
        // watching starts with the browser's next start, the permission kept.
        stopBrowser(browser);
        tools = std::make_unique<DevTools>();
        start();
        QCOMPARE(tools->evaluate(worker, watchingNow).toString(), QStringLiteral("true"));
        tools->call("Target.createTarget", {{"url", page}});
        QTRY_VERIFY_WITH_TIMEOUT(seen.contains(clip) && seen.contains(m_site.tlsUrl("tune.mp3")), 60000);

        // The popup, for that tab: the two streams by the tab's title; "Save all" makes two jobs.
        const int tab = tools->evaluate(worker, "(async () => (await chrome.tabs.query({})).filter((t) => t.url === '"
                                                   + page + "').pop().id)()").toInt();
        tools->call("Target.createTarget", {{"url", QString("chrome-extension://%1/popup.html?tab=%2").arg(extensionId).arg(tab)}});
        QString popup;
        QTRY_VERIFY_WITH_TIMEOUT(!(popup = tools->session("page", "popup.html")).isEmpty(), 30000);
        const QString rows = "[...document.querySelectorAll('#streams tr')].map((r) => r.cells[0].textContent + ' ' + "
                             "r.cells[1].textContent).sort().join()";
        QTRY_COMPARE_WITH_TIMEOUT(tools->evaluate(popup, rows).toString(),
                                  QStringLiteral("Browser capture test audio,Browser capture test video"), 30000);
        QVERIFY(tools->evaluate(popup, "document.getElementById('state').textContent").toString().contains("connected"));
        // The tab's badge counts what its popup lists, not every media response.
        QCOMPARE(tools->evaluate(worker, QString("chrome.action.getBadgeText({tabId: %1})").arg(tab)).toString(), QStringLiteral("2"));
        tools->evaluate(popup, "document.getElementById('saveAll').click()");
        QTRY_VERIFY_WITH_TIMEOUT(w->jobQueue()->count() == 3 && harness.jobsIdle(), 60000);
        const QStringList files = videos.entryList(QDir::Files) + audio.entryList(QDir::Files);
        QVERIFY2(files.size() == 3 && files.filter(name).size() == 3, qPrintable(files.join(", ")));
        QCOMPARE(readFile(videos.filePath(files.at(1))), m_site.bytes("clip.mp4"));
        QCOMPARE(readFile(audio.filePath(files.at(2))), m_site.bytes("tune.mp3"));

        // Off again: the permission given back, nothing listens.
        switchWatching("false");
        stopBrowser(browser);
        qInstallMessageHandler(nullptr);
        QVERIFY(!log().contains(m_cookie));
        QVERIFY(!readFile(folder + "/browser-host.log").contains(m_cookie));
    }
};

QTEST_MAIN(tst_BrowserChromium)
#include "tst_browserchromium.moc"

#include "BrowserCapture.h"
#include "BrowserSession.h"
#include "CookieSource.h"
#include "Downloader.h"
#include "Marionette.h"
#include "MediaFixture.h"
#include "TestMessages.h"
#include "WindowHarness.h"

#include "ui_Navigation.h"
#include "ui_OldSniffer.h"

#include <QLabel>
#include <QListWidget>
#include <QProcess>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QUuid>

#include <signal.h>
#include <unistd.h>

// Headless Firefox, with the extension in a fresh profile and the host
// manifest of the install script, plays plain-HTTP pages with a video and an
// audio; the real window lists both streams and saves them whole. The site's
// media need the cookie its pages set; afterwards the downloader tool reads
// it from the profile ("Cookies from: Firefox"). The shipped extension
// watches only once its options page's switch is on.
class tst_BrowserFirefox : public QObject
{
    Q_OBJECT

private:
    // Each over the page's 100,000-byte rule; made by ffmpeg with these options.
    struct Stream { QString name; QString make; QString type; };
    const QList<Stream> m_streams{
        {"clip.mp4", "-f lavfi -i testsrc=size=320x240:rate=25,noise=alls=40:allf=t -c:v libx264 -b:v 500k -t 3", "mp4"},
        {"tune.mp3", "-f lavfi -i sine=f=440 -c:a libmp3lame -b:a 64k -t 15", "MP3"}};
    MediaFixture m_media{QStringLiteral("127.0.0.2")};
    QTemporaryDir m_home;
    QString m_firefox;
    const QByteArray m_cookie = QUuid::createUuid().toString(QUuid::Id128).toLatin1();
    const QString m_uuid = QUuid::createUuid().toString(QUuid::WithoutBraces);

    // "profile" loads a copy that watches from the start, "switched" the shipped extension.
    QString profile(const QString &name = QStringLiteral("profile")) const { return m_home.filePath(name); }

    // The page's streams with that query, in a page titled "Firefox plays".
    QByteArray page(const QString &query = {}) const
    {
        QByteArray html = "<html><head><title>Firefox plays</title></head><body>";
        for (const Stream &s : m_streams) {
            const QByteArray tag = s.type == "mp4" ? "video" : "audio";
            html += "<" + tag + " muted autoplay preload=\"auto\" src=\"/" + (s.name + query).toLatin1() + "\"></"
                    + tag + ">";
        }
        return html + "</body></html>";
    }

    // Reported by Firefox itself, with the tab's title and the request's
    // headers, the page's cookie among them.
    bool fromFirefox(const QList<BrowserStream> &seen, const QString &url) const
    {
        return std::any_of(seen.cbegin(), seen.cend(), [&](const BrowserStream &b) {
            const QByteArray head = BrowserCapture::headerBlock(b);
            return b.url == url && b.tabTitle == "Firefox plays"
                   && MediaFixture::headerValues(head, "User-Agent").value(0).contains("Firefox/")
                   && MediaFixture::headerValues(head, "Cookie") == QList<QByteArray>{"vidarro_test=" + m_cookie};
        });
    }

    // The real window on its sniffer page; every stream it is told of goes to seen.
    Sniffer *snifferPage(WindowHarness &harness, QList<BrowserStream> &seen)
    {
        Sniffer *w = harness.start();
        w->navigationForm()->btnSniffer->click();
        connect(w->browserCapture()->session(), &BrowserSession::streamSeen, this,
                [&seen](const BrowserStream &stream) { seen << stream; });
        return w;
    }

    // Its own process group: the content processes and the host end with it.
    bool startFirefox(QProcess &firefox, const QStringList &arguments) const
    {
        firefox.setChildProcessModifier([] { ::setpgid(0, 0); });
        firefox.setStandardOutputFile(QProcess::nullDevice());
        firefox.setStandardErrorFile(m_home.filePath("firefox.log"), QIODevice::Append);
        firefox.start(m_firefox, QStringList{"--headless", "--no-remote"} + arguments);
        return firefox.waitForStarted();
    }

private slots:
    void initTestCase()
    {
        for (const char *name : {"firefox-esr", "firefox"})
            m_firefox = m_firefox.isEmpty() ? QStandardPaths::findExecutable(name) : m_firefox;
        if (m_firefox.isEmpty())
            QSKIP("Firefox is not installed");
        QVERIFY2(m_media.start({.media = false, .cookie = m_cookie}), qPrintable(m_media.errorString()));
        for (const Stream &s : m_streams) {
            QProcess ffmpeg;
            ffmpeg.start(MediaFixture::program("ffmpeg"), QString("-nostdin -loglevel error -y " + s.make).split(' ')
                                                              << m_media.filePath(s.name));
            QVERIFY(ffmpeg.waitForFinished(60000) && ffmpeg.exitCode() == 0 && m_media.bytes(s.name).size() > 100000);
        }
        QVERIFY(m_media.addFile("page.html", page()));
        // The browser starts on a page that waits for /go: the extension starts
        // beside the first page and would miss its requests.
        QVERIFY(m_media.addFile("start.html", "<script>(function poll() { fetch('/go').then((r) => r.ok ? "
                                              "location = '/page.html' : setTimeout(poll, 100)); })();</script>"));

        // HOME of the install script and the browser alike.
        qputenv("HOME", m_home.path().toUtf8());
        qputenv("XDG_CONFIG_HOME", m_home.filePath(".config").toUtf8());
        qputenv("MOZ_CRASHREPORTER_DISABLE", "1");
        QCOMPARE(QProcess::execute("bash", {VIDARRO_SOURCE_DIR "/tools/browser/install-host-manifests.sh", "--host",
                                            VIDARRO_BIN_DIR "/vidarro-browser-host"}), 0);
        // Each profile loads and enables at once the unpacked, unsigned extension
        // its proxy file names. The browser's own requests go to a proxy that
        // never answers: a refused one makes it look the names up itself.
        // Marionette, where started, writes its free port into the profile; the
        // extension's pages have a known address, and an optional permission
        // asked for is granted without a prompt.
        QVERIFY(copyWatchingExtension(m_home.filePath("watching"), "firefox"));
        QByteArray prefs;
        for (const char *pref : {"\"xpinstall.signatures.required\", false", "\"extensions.autoDisableScopes\", 0",
                                 "\"network.proxy.type\", 1", "\"network.proxy.http\", \"127.0.0.2\"",
                                 "\"network.proxy.http_port\", %1", "\"network.proxy.ssl\", \"127.0.0.2\"",
                                 "\"network.proxy.ssl_port\", %1", "\"network.trr.mode\", 5",
                                 "\"network.connectivity-service.enabled\", false", "\"marionette.port\", 0",
                                 "\"extensions.webextensions.uuids\", \"{\\\"browser-capture@vidarro\\\":\\\"%2\\\"}\"",
                                 "\"extensions.webextOptionalPermissionPrompts\", false"})
            prefs += "user_pref(" + QByteArray(pref).replace("%1", QByteArray::number(m_media.silentPort()))
                                        .replace("%2", m_uuid.toLatin1()) + ");\n";
        for (const auto &[name, extension] : {std::pair{QStringLiteral("profile"), m_home.filePath("watching")},
                                              {QStringLiteral("switched"), VIDARRO_EXTENSION_DIR "/firefox"}}) {
            QVERIFY(QDir().mkpath(profile(name) + "/extensions"));
            writeFile(profile(name) + "/extensions/browser-capture@vidarro", extension.toUtf8());
            writeFile(profile(name) + "/user.js", prefs);
        }
    }

    void playedStreamsAreListedAndSaved()
    {
        WindowHarness harness(shippedSettings());
        QList<BrowserStream> seen;
        Sniffer *w = snifferPage(harness, seen);

        QProcess firefox;
        QVERIFY(startFirefox(firefox, {"--profile", profile(), m_media.url("start.html")}));
        const pid_t group = pid_t(firefox.processId());
        const auto reap = qScopeGuard([group] { ::kill(-group, SIGKILL); });
        QLabel *word = w->oldSnifferForm()->lblBrowser;
        QTRY_COMPARE_WITH_TIMEOUT(word->text(), QStringLiteral("Browser connected"), 60000);
        QVERIFY(m_media.addFile("go", "go"));

        QTRY_VERIFY_WITH_TIMEOUT(std::all_of(m_streams.cbegin(), m_streams.cend(), [&](const Stream &s) {
            return fromFirefox(seen, m_media.url(s.name));
        }), 60000);

        QTemporaryDir target;
        for (const Stream &s : m_streams) {
            const int row = rowOf(w, m_media.url(s.name));
            QVERIFY2(row >= 0, qPrintable(s.name));
            QCOMPARE(itemAt(w, row).size, m_media.bytes(s.name).size());
            QCOMPARE(itemAt(w, row).type, s.type);
            const QString base = target.filePath(s.name.section('.', 0, 0));
            harness.saveRow(row, base);
            QCOMPARE(readFile(base + '.' + s.type), m_media.bytes(s.name));
            QCOMPARE(MediaFixture::headerValues(m_media.requestHeads(s.name).constLast(), "Cookie"),
                     QList<QByteArray>{"vidarro_test=" + m_cookie});
        }

        ::kill(-group, SIGTERM);
        QVERIFY(firefox.waitForFinished(30000));
        QTRY_VERIFY_WITH_TIMEOUT(::kill(-group, 0) == -1, 30000);
        QTRY_COMPARE_WITH_TIMEOUT(word->text(), QStringLiteral("No browser connected"), 30000);

        // A quit by signal leaves the newest cookies in the store's log, which
        // a normal quit folds in; the tool reads the store alone.
        QCOMPARE(QProcess::execute("/usr/bin/python3", {"-c", "import sqlite3, sys; sqlite3.connect(sys.argv[1])"
                                   ".execute('pragma wal_checkpoint(truncate)')", profile() + "/cookies.sqlite"}), 0);
        // The address path: refused without the browser's cookies, saved with them.
        for (const QString &browser : {QString(), QStringLiteral("firefox")}) {
            Downloader driver;
            driver.setCookieSource(CookieSource::argument(browser, profile()));
            QVERIFY(driver.checkURL(QUrl(m_media.url("clip.mp4"))));
            QSignalSpy saved(&driver, &Downloader::haveFile), failed(&driver, &Downloader::hasError);
            driver.requestFile({}, target.filePath("address" + browser + ".mp4"));
            QTRY_VERIFY_WITH_TIMEOUT(saved.size() + failed.size() == 1, 60000);
            QCOMPARE(saved.size(), browser.isEmpty() ? 0 : 1);
        }
        QCOMPARE(readFile(target.filePath("addressfirefox.mp4")), m_media.bytes("clip.mp4"));
    }

    // The shipped extension, off at first, and the "Watch streams in this
    // browser" switch of its options page, clicked through Marionette as a
    // person would (Chromium's test clicks the same switch through DevTools).
    // On: the permission is held, the listeners run and the page played next
    // reaches the window; off: all three go. A page played while off would
    // have been reported before the next page played while on: once that one
    // arrives, the window must have seen nothing else.
    void optionsPageSwitchesWatching()
    {
        WindowHarness harness(shippedSettings());
        QList<BrowserStream> seen;
        Sniffer *w = snifferPage(harness, seen);

        QProcess firefox;
        // System access: Marionette may open the extension's pages in the tab.
        QVERIFY(startFirefox(firefox, {"--marionette", "--remote-allow-system-access", "--profile",
                                       profile("switched")}));
        const pid_t group = pid_t(firefox.processId());
        const auto reap = qScopeGuard([group] { ::kill(-group, SIGKILL); });
        QTRY_COMPARE_WITH_TIMEOUT(w->oldSnifferForm()->lblBrowser->text(), QStringLiteral("Browser connected"), 60000);
        Marionette marionette;
        QVERIFY(marionette.open(profile("switched")));

        // Permission held, switch shown on, listeners running (the background's own word).
        const QString state = "return Promise.all([browser.permissions.contains({permissions: ['webRequest']}), "
                              "browser.runtime.sendMessage({kind: 'status'})]).then(([held, status]) => "
                              "[held, document.getElementById('watch').checked, status.watching].join())";
        QStringList watched;
        bool on = false;
        for (const auto &[query, watching] :
             {std::pair{"off", false}, {"on", true}, {"off-again", false}, {"on-again", true}}) {
            QVERIFY(marionette.navigate("moz-extension://" + m_uuid + "/options.html"));
            if (watching != on)
                QVERIFY(marionette.click("#watch"));
            on = watching;
            QTRY_COMPARE_WITH_TIMEOUT(marionette.script(state).toString(),
                                      QStringList(3, on ? "true" : "false").join(','), 30000);

            const QString name = QString("switch-%1.html").arg(query);
            QVERIFY(m_media.addFile(name, page('?' + QString(query))));
            QVERIFY(marionette.navigate(m_media.url(name)));
            if (!watching) {
                for (const Stream &s : m_streams)
                    QTRY_VERIFY_WITH_TIMEOUT(m_media.requests("GET /" + s.name + '?' + query) > 0, 30000);
                continue;
            }
            watched << query;
            QTRY_VERIFY_WITH_TIMEOUT(std::all_of(m_streams.cbegin(), m_streams.cend(), [&](const Stream &s) {
                return fromFirefox(seen, m_media.url(s.name + '?' + query));
            }), 60000);
            QVERIFY(std::all_of(seen.cbegin(), seen.cend(), [&](const BrowserStream &b) {
                return watched.contains(QUrl(b.url).query());
            }));
        }
        ::kill(-group, SIGKILL);
        QVERIFY(firefox.waitForFinished(30000));
        QTRY_VERIFY_WITH_TIMEOUT(::kill(-group, 0) == -1, 30000);
    }
};

QTEST_MAIN(tst_BrowserFirefox)
#include "tst_browserfirefox.moc"

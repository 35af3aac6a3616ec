#include "BrowserCapture.h"
#include "BrowserSession.h"
#include "CookieSource.h"
#include "Downloader.h"
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

// Headless Firefox, with the extension's source folder in a fresh profile and
// the host manifest of the install script, plays a plain-HTTP page with a
// video and an audio; the real window lists both streams and saves them whole.
// The site's media need the cookie its pages set; afterwards the downloader
// tool reads it from the profile ("Cookies from: Firefox").
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

    QString profile() const { return m_home.filePath(QStringLiteral("profile")); }

private slots:
    void initTestCase()
    {
        for (const char *name : {"firefox-esr", "firefox"})
            m_firefox = m_firefox.isEmpty() ? QStandardPaths::findExecutable(name) : m_firefox;
        if (m_firefox.isEmpty())
            QSKIP("Firefox is not installed");
        QVERIFY2(m_media.start({.media = false, .cookie = m_cookie}), qPrintable(m_media.errorString()));
        QByteArray page = "<html><head><title>Firefox plays</title></head><body>";
        for (const Stream &s : m_streams) {
            QProcess ffmpeg;
            ffmpeg.start(MediaFixture::program("ffmpeg"), QString("-nostdin -loglevel error -y " + s.make).split(' ')
                                                              << m_media.filePath(s.name));
            QVERIFY(ffmpeg.waitForFinished(60000) && ffmpeg.exitCode() == 0 && m_media.bytes(s.name).size() > 100000);
            const QByteArray tag = s.type == "mp4" ? "video" : "audio";
            page += "<" + tag + " muted autoplay preload=\"auto\" src=\"/" + s.name.toLatin1() + "\"></" + tag + ">";
        }
        QVERIFY(m_media.addFile("page.html", page + "</body></html>"));
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
        // The profile loads and enables at once the unpacked, unsigned extension
        // its proxy file names. The browser's own requests go to a proxy that
        // never answers: a refused one makes it look the names up itself.
        QVERIFY(QDir().mkpath(profile() + "/extensions"));
        QVERIFY(copyWatchingExtension(m_home.filePath("watching"), "firefox"));
        writeFile(profile() + "/extensions/browser-capture@vidarro", m_home.filePath("watching").toUtf8());
        QByteArray prefs;
        for (const char *pref : {"\"xpinstall.signatures.required\", false", "\"extensions.autoDisableScopes\", 0",
                                 "\"network.proxy.type\", 1", "\"network.proxy.http\", \"127.0.0.2\"",
                                 "\"network.proxy.http_port\", %1", "\"network.proxy.ssl\", \"127.0.0.2\"",
                                 "\"network.proxy.ssl_port\", %1", "\"network.trr.mode\", 5",
                                 "\"network.connectivity-service.enabled\", false"})
            prefs += "user_pref(" + QByteArray(pref).replace("%1", QByteArray::number(m_media.silentPort())) + ");\n";
        writeFile(profile() + "/user.js", prefs);
    }

    void playedStreamsAreListedAndSaved()
    {
        WindowHarness harness(shippedSettings());
        Sniffer *w = harness.start();
        w->navigationForm()->btnSniffer->click();
        QList<BrowserStream> seen;
        connect(w->browserCapture()->session(), &BrowserSession::streamSeen, this,
                [&seen](const BrowserStream &stream) { seen << stream; });

        // Its own process group: the content processes and the host end with it.
        QProcess firefox;
        firefox.setChildProcessModifier([] { ::setpgid(0, 0); });
        firefox.setStandardOutputFile(QProcess::nullDevice());
        firefox.setStandardErrorFile(m_home.filePath("firefox.log"));
        firefox.start(m_firefox, {"--headless", "--no-remote", "--profile", profile(), m_media.url("start.html")});
        QVERIFY(firefox.waitForStarted());
        const pid_t group = pid_t(firefox.processId());
        const auto reap = qScopeGuard([group] { ::kill(-group, SIGKILL); });
        QLabel *word = w->oldSnifferForm()->lblBrowser;
        QTRY_COMPARE_WITH_TIMEOUT(word->text(), QStringLiteral("Browser connected"), 60000);
        QVERIFY(m_media.addFile("go", "go"));

        // Reported by Firefox itself, with the tab's title and the request's
        // headers, the page's cookie among them.
        const auto fromFirefox = [&](const Stream &s) {
            return std::any_of(seen.cbegin(), seen.cend(), [&](const BrowserStream &b) {
                const QByteArray head = BrowserCapture::headerBlock(b);
                return b.url == m_media.url(s.name) && b.tabTitle == "Firefox plays"
                       && MediaFixture::headerValues(head, "User-Agent").value(0).contains("Firefox/")
                       && MediaFixture::headerValues(head, "Cookie") == QList<QByteArray>{"vidarro_test=" + m_cookie};
            });
        };
        QTRY_VERIFY_WITH_TIMEOUT(std::all_of(m_streams.cbegin(), m_streams.cend(), fromFirefox), 60000);

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
};

QTEST_MAIN(tst_BrowserFirefox)
#include "tst_browserfirefox.moc"

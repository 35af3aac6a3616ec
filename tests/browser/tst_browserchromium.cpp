#include "BrowserSession.h"

#include <QProcess>
#include <QStandardPaths>
#include <QUuid>
#include <QtTest>

// Headless Chromium with the extension plays a local HTTPS page whose media
// need the page's cookie; the window's side receives both streams.
class tst_BrowserChromium : public QObject
{
    Q_OBJECT

private slots:
    void playedMediaReachTheWindow()
    {
        const QString chromium = QStandardPaths::findExecutable(QStringLiteral("chromium"));
        if (chromium.isEmpty())
            QSKIP("chromium is not installed");
        QTemporaryDir work;
        const QString folder = work.path() + QStringLiteral("/Vidarro");
        const QString site = work.path() + QStringLiteral("/site");
        const QString profile = work.path() + QStringLiteral("/profile");
        for (const QString &path : {folder, site, profile})
            QVERIFY(QDir().mkpath(path));
        const QString cookie = QUuid::createUuid().toString(QUuid::Id128);

        // The site makes its own CA, certificate and media first.
        QProcess server;
        server.setStandardErrorFile(work.filePath(QStringLiteral("site.log")));
        server.start(QStringLiteral("python3"), {QFINDTESTDATA("tls_media_server.py"), site, "127.0.0.2", cookie});
        QVERIFY(server.waitForReadyRead(120000));
        const QByteArray ready = server.readLine().trimmed();
        QVERIFY2(ready.startsWith("ready "), ready.constData());
        const QString origin = QStringLiteral("https://127.0.0.2:") + QString::fromLatin1(ready.mid(6));

        BrowserSession session(folder);
        QSignalSpy connected(&session, &BrowserSession::browserConnectedChanged);
        QHash<QString, BrowserStream> streams;   // by address
        connect(&session, &BrowserSession::streamSeen, this,
                [&streams](const BrowserStream &stream) { streams.insert(stream.url, stream); });
        QVERIFY2(session.start(), qPrintable(session.errorString()));

        const QString host = QStringLiteral(VIDARRO_BIN_DIR "/vidarro-browser-host");
        QCOMPARE(QProcess::execute(QStringLiteral("bash"),
                                   {VIDARRO_SOURCE_DIR "/tools/browser/install-host-manifests.sh",
                                    "--profile", profile, "--host", host}), 0);

        // Chromium may stall a first page given on its command line while an
        // extension with webRequest loads; a page it navigates to by script
        // loads. That page waits at /go until the extension has reached the host.
        const QString start = QStringLiteral("data:text/html,<script>location='%1/go'</script>").arg(origin);
        QProcess browser;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("APPDATA"), work.path());   // the host's per-user folder
        browser.setProcessEnvironment(environment);
        browser.setStandardOutputFile(QProcess::nullDevice());
        browser.setStandardErrorFile(work.filePath(QStringLiteral("chromium.log")));
        browser.start(chromium, {"--headless=new", "--no-sandbox", "--disable-gpu", "--no-first-run",
                                 "--disable-background-networking", "--disable-component-update", "--disable-sync",
                                 "--ignore-certificate-errors", "--autoplay-policy=no-user-gesture-required",
                                 "--user-data-dir=" + profile,
                                 "--load-extension=" VIDARRO_SOURCE_DIR "/browser/extension", start});
        QVERIFY2(connected.wait(90000), "the extension never started the host");
        server.write("go\n");

        const QString video = origin + QStringLiteral("/clip.mp4");
        const QString audio = origin + QStringLiteral("/tune.mp3");
        // Media by type, a manifest by type, an .mp4 of a generic type; nothing else.
        const QStringList media{video, audio, origin + QStringLiteral("/list.m3u8"), origin + QStringLiteral("/generic.mp4")};
        QTRY_VERIFY_WITH_TIMEOUT(streams.size() >= media.size(), 60000);
        QCOMPARE(QSet<QString>(streams.keyBegin(), streams.keyEnd()), QSet<QString>(media.begin(), media.end()));
        for (const auto &[url, type] : {std::pair{video, "video/mp4"}, std::pair{audio, "audio/mpeg"}}) {
            const BrowserStream stream = streams.value(url);
            const qint64 size = QFileInfo(site + url.mid(origin.size())).size();
            QVERIFY(size > 100000);
            QCOMPARE(stream.totalLength(), size);
            QCOMPARE(stream.contentType, QString::fromLatin1(type));
            QCOMPARE(stream.tabTitle, QStringLiteral("Browser capture test"));
            QCOMPARE(stream.pageUrl, origin + QStringLiteral("/page.html"));
            QVERIFY(stream.requestHeaders.contains({"Cookie", "vidarro_test=" + cookie.toLatin1()}));
        }

        browser.terminate();
        QVERIFY(browser.waitForFinished(30000));
        server.closeWriteChannel();
        QVERIFY(server.waitForFinished(30000));
        QFile log(folder + QStringLiteral("/browser-host.log"));
        QVERIFY(log.open(QIODevice::ReadOnly));
        QVERIFY(!log.readAll().contains(cookie.toLatin1()));
    }
};

QTEST_GUILESS_MAIN(tst_BrowserChromium)
#include "tst_browserchromium.moc"

#include "BrowserCapture.h"
#include "BrowserSession.h"
#include "BrowserSpool.h"
#include "LogHandler.h"
#include "MediaFixture.h"
#include "WindowHarness.h"

#include "ui_Navigation.h"
#include "ui_OldSniffer.h"

#include <QLabel>
#include <QListWidget>
#include <QProcess>
#include <QSslConfiguration>
#include <QStandardPaths>
#include <QUuid>

// Headless Chromium with the extension plays a local HTTPS page whose media
// need the page's cookie. First no window listens: the host keeps the
// streams, and the real window lists them when its page opens. Then the
// browser plays again while the page is open. Each row is saved through the
// window's own transfer, which checks the site's certificate against a CA
// the test trusts.
class tst_BrowserChromium : public QObject
{
    Q_OBJECT

private:
    QString m_chromium;
    QTemporaryDir m_work;
    QProcess m_site;
    QString m_origin;
    const QByteArray m_cookie = QUuid::createUuid().toString(QUuid::Id128).toLatin1();

    QString site() const { return m_work.filePath(QStringLiteral("site")); }
    QString profile() const { return m_work.filePath(QStringLiteral("profile")); }
    QByteArray siteLog() const { return readFile(m_work.filePath(QStringLiteral("site.log"))); }

    // The page waits at /go for the "go" that releases it.
    void startBrowser(QProcess &browser)
    {
        const QString start = QStringLiteral("data:text/html,<script>location='%1/go'</script>").arg(m_origin);
        browser.setStandardOutputFile(QProcess::nullDevice());
        browser.setStandardErrorFile(m_work.filePath(QStringLiteral("chromium.log")), QIODevice::Append);
        browser.start(m_chromium, {"--headless=new", "--no-sandbox", "--disable-gpu", "--no-first-run",
                                   "--disable-background-networking", "--disable-component-update", "--disable-sync",
                                   "--ignore-certificate-errors", "--autoplay-policy=no-user-gesture-required",
                                   "--user-data-dir=" + profile(),
                                   "--load-extension=" VIDARRO_SOURCE_DIR "/browser/extension", start});
    }

    static void stopBrowser(QProcess &browser)
    {
        browser.terminate();
        QVERIFY(browser.waitForFinished(30000));
    }

private slots:
    void initTestCase()
    {
        m_chromium = QStandardPaths::findExecutable(QStringLiteral("chromium"));
        if (m_chromium.isEmpty())
            QSKIP("chromium is not installed");
        QVERIFY(QDir().mkpath(site()) && QDir().mkpath(profile()));
        // The site makes its own CA, certificate and media first.
        m_site.setStandardErrorFile(m_work.filePath(QStringLiteral("site.log")));
        m_site.start(MediaFixture::program(QStringLiteral("python3")),
                     {QFINDTESTDATA("tls_media_server.py"), site(), "127.0.0.2", QString::fromLatin1(m_cookie)});
        QVERIFY(m_site.waitForReadyRead(120000));
        const QByteArray ready = m_site.readLine().trimmed();
        QVERIFY2(ready.startsWith("ready "), ready.constData());
        m_origin = QStringLiteral("https://127.0.0.2:") + QString::fromLatin1(ready.mid(6));
        QCOMPARE(QProcess::execute(QStringLiteral("bash"),
                                   {VIDARRO_SOURCE_DIR "/tools/browser/install-host-manifests.sh", "--profile",
                                    profile(), "--host", VIDARRO_BIN_DIR "/vidarro-browser-host"}), 0);
    }

    void cleanupTestCase()
    {
        m_site.closeWriteChannel();
        m_site.waitForFinished(30000);
    }

    void playedStreamsAreListedAndSaved()
    {
        // The per-user folder of the window and the host; the shipped catalogue.
        WindowHarness harness(updatedOn(QDate::currentDate()) + readFile(VIDARRO_SOURCE_DIR "/resources/sniffer_linux.ini"));
        const QString folder = harness.userDir.filePath(QStringLiteral("Vidarro"));
        const QString spool = BrowserSpool(folder).filePath();
        const QString hostLog = folder + QStringLiteral("/browser-host.log");
        qInstallMessageHandler(logMessageHandler);

        // No window yet: the host keeps what the browser plays.
        QProcess browser;
        startBrowser(browser);
        QTRY_VERIFY_WITH_TIMEOUT(readFile(hostLog).contains("started for"), 90000);
        m_site.write("go\n");
        const QStringList media{"clip.mp4", "tune.mp3", "list.m3u8", "generic.mp4"};
        QTRY_VERIFY_WITH_TIMEOUT(std::all_of(media.cbegin(), media.cend(),
                                             [&](const QString &name) { return readFile(spool).contains(name.toLatin1()); }),
                                 60000);
        stopBrowser(browser);

        // The page lists them when it opens: the full address, size and type;
        // the 1000-byte generic.mp4 is too small, the manifest listed anyway.
        Sniffer *w = harness.start();
        w->navigationForm()->btnSniffer->click();
        QLabel *word = w->oldSnifferForm()->lblBrowser;
        QCOMPARE(word->text(), QStringLiteral("No browser connected"));
        struct Row { QString name; QString type; };
        const QList<Row> rows{{"clip.mp4", "mp4"}, {"tune.mp3", "MP3"}, {"list.m3u8", "HLS"}};
        for (const Row &row : rows) {
            const int index = w->sniffedList().count() - 1 - rowOf(w, m_origin + '/' + row.name);
            QVERIFY2(index < w->sniffedList().count(), qPrintable(row.name));
            const SniffedItem &item = w->sniffedList().at(index);
            QCOMPARE(item.url, m_origin + '/' + row.name);
            QCOMPARE(item.size, QFileInfo(site() + '/' + row.name).size());
            QCOMPARE(item.type, row.type);
        }
        QCOMPARE(rowOf(w, "generic.mp4"), -1);
        // The packet sniffer saw this encrypted traffic too, and could list none of it.
        QCOMPARE(rowOf(w, "http://127.0.0.2"), -1);

        // A browser playing while the page is open: said, and its streams not listed twice.
        const qint64 kept = w->browserCapture()->session()->streamCount();
        // Rows of this site only: other suites' plain-HTTP streams on the loopback
        // interface may reach the packet sniffer meanwhile.
        const auto siteRows = [&] {
            int count = 0;
            for (int i = 0; i < w->sniffedList().count(); ++i)
                count += w->sniffedList().at(i).url.startsWith(m_origin) ? 1 : 0;
            return count;
        };
        const int listed = siteRows();
        startBrowser(browser);
        QTRY_COMPARE_WITH_TIMEOUT(word->text(), QStringLiteral("Browser connected"), 90000);
        m_site.write("go\n");
        QTRY_VERIFY_WITH_TIMEOUT(w->browserCapture()->session()->streamCount() >= kept + media.size(), 60000);
        QCOMPARE(siteRows(), listed);
        stopBrowser(browser);
        QTRY_COMPARE_WITH_TIMEOUT(word->text(), QStringLiteral("No browser connected"), 30000);

        // The transfer checks the site's certificate: unknown to it, nothing is saved.
        QTemporaryDir target;
        w->oldSnifferForm()->mediaList->setCurrentRow(rowOf(w, m_origin + "/clip.mp4"));
        harness.responder.onSave = [&target](QFileDialog *dialog) { dialog->selectFile(target.filePath("x")); return true; };
        w->oldSnifferForm()->pbDownloadVideo->click();
        QVERIFY(harness.responder.messages.size() == 1 && QDir(target.path()).isEmpty());
        // This run's CA made one it trusts, through the process's default
        // configuration: the program has no switch to turn the checks off.
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        QVERIFY(tls.addCaCertificates(site() + QStringLiteral("/ca.pem")));
        QSslConfiguration::setDefaultConfiguration(tls);

        // Saved through the transfer with the browser's cookie: whole files, and
        // an audio save converted to MP3.
        struct Save { QString name; QPushButton *button; QString file; };
        const QList<Save> saves{{"clip.mp4", w->oldSnifferForm()->pbDownloadVideo, "clip.mp4"},
                                {"tune.mp3", w->oldSnifferForm()->pbDownloadVideo, "tune.MP3"},
                                {"tune.mp3", w->oldSnifferForm()->pbDownloadAudio, "sound.mp3"}};
        for (const Save &save : saves) {
            const QByteArray served = "GET /" + save.name.toLatin1() + " 200 cookie=yes";
            const qsizetype before = siteLog().count(served);
            w->oldSnifferForm()->mediaList->setCurrentRow(rowOf(w, m_origin + '/' + save.name));
            const QString base = target.filePath(save.file.section('.', 0, 0));
            harness.responder.onSave = [base](QFileDialog *dialog) { dialog->selectFile(base); return true; };
            save.button->click();
            QCOMPARE(siteLog().count(served), before + 1);
            if (save.button == w->oldSnifferForm()->pbDownloadAudio) {
                QTRY_VERIFY_WITH_TIMEOUT(harness.messageSeen("Download complete"), 60000);
                QCOMPARE(MediaFixture::streamCodecs(target.filePath(save.file)), QStringList{"mp3"});
            } else {
                QCOMPARE(readFile(target.filePath(save.file)), readFile(site() + '/' + save.name));
            }
        }
        qInstallMessageHandler(nullptr);
        for (const QString &log : {logFilePath(QDate::currentDate()), hostLog}) {
            const QByteArray text = readFile(log);
            QVERIFY2(text.contains("BrowserCapture") || text.contains("started for"), qPrintable(log));
            QVERIFY2(!text.contains(m_cookie), qPrintable(log));
        }
    }
};

QTEST_MAIN(tst_BrowserChromium)
#include "tst_browserchromium.moc"

#include "ManifestFetch.h"
#include "MediaFixture.h"
#include "NetworkRoute.h"

#include <QNetworkAccessManager>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QSslConfiguration>
#include <QtTest>

// A manifest read into memory with the browser's header lines, bounded in
// size whatever the server says or sends.
class tst_ManifestFetch : public QObject
{
    Q_OBJECT

private:
    MediaFixture m_media;
    static constexpr qsizetype Bound = 4 * 1024 * 1024;

private slots:
    void initTestCase()
    {
        QVERIFY2(m_media.start({.media = false, .tls = true}), qPrintable(m_media.errorString()));
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        QVERIFY(tls.addCaCertificates(m_media.caFile()));
        QSslConfiguration::setDefaultConfiguration(tls);
        QVERIFY(m_media.addFile("a.m3u8", "#EXTM3U\n#EXTINF:2,\ns.ts\n#EXT-X-ENDLIST\n"));
        QVERIFY(m_media.route("big", {.made = Bound + 1}));
        QVERIFY(m_media.route("bound", {.made = Bound}));
        QVERIFY(m_media.route("endless", {.framing = MediaFixture::Route::Framing::Chunked, .made = -1}));
    }

    void fetches_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<qsizetype>("size");
        QTest::newRow("manifest") << "a.m3u8" << true << qsizetype(m_media.bytes("a.m3u8").size());
        QTest::newRow("manifest over https") << "https:a.m3u8" << true << qsizetype(m_media.bytes("a.m3u8").size());
        QTest::newRow("at the bound") << "bound" << true << Bound;
        QTest::newRow("announced past the bound") << "big" << false << qsizetype(0);
        QTest::newRow("endless, chunked") << "endless" << false << qsizetype(0);
        QTest::newRow("not found") << "status/404/a.m3u8" << false << qsizetype(0);
        // Through the proxy of the route, plain or tunnelled; one that refuses says so.
        QTest::newRow("through a proxy") << "proxy:a.m3u8" << true << qsizetype(m_media.bytes("a.m3u8").size());
        QTest::newRow("https through a proxy") << "proxy:https:a.m3u8" << true << qsizetype(m_media.bytes("a.m3u8").size());
        QTest::newRow("proxy refuses") << "refused:a.m3u8" << false << qsizetype(0);
    }

    void fetches()
    {
        QFETCH(QString, path);
        QFETCH(bool, ok);
        const QString proxy = path.section(':', 0, 0);
        if (proxy == "proxy" || proxy == "refused") {
            path = path.section(':', 1);
            const quint16 port = proxy == "proxy" ? m_media.proxyPort() : 9;
            NetworkRoute::setCurrent({NetworkRoute::Proxy::Address, QUrl(QString("http://127.0.0.1:%1").arg(port))});
        }
        const auto reset = qScopeGuard([] { NetworkRoute::setCurrent({}); });
        const qsizetype proxied = m_media.proxiedHeads().size();
        const bool https = path.startsWith("https:");
        path.remove("https:");
        QFETCH(qsizetype, size);
        QNetworkAccessManager network;
        ManifestFetch fetch(&network);
        QSignalSpy done(&fetch, &ManifestFetch::done);
        fetch.fetch(QUrl(https ? m_media.tlsUrl(path) : m_media.url(path)), "GET /x HTTP/1.1\r\nHost: h\r\nCookie: c=1\r\nRange: bytes=0-9\r\n\r\n", Bound);
        QVERIFY(done.wait(20000));
        const auto result = done.first().first().value<ManifestFetch::Result>();
        QCOMPARE(result.ok, ok);
        QCOMPARE(result.body.size(), size);
        QCOMPARE(m_media.proxiedHeads().size() - proxied, proxy == "proxy" || proxy == "refused" ? int(proxy == "proxy") : 0);
        if (proxy == "refused") {
            QVERIFY2(result.error.contains("roxy"), qPrintable(result.error));
            return;
        }
        if (path == "a.m3u8")
            QCOMPARE(result.body, m_media.bytes(path));
        const QByteArray head = m_media.requestHeads(path.section('/', -1)).constLast();
        QCOMPARE(MediaFixture::headerValues(head, "Cookie"), QList<QByteArray>{"c=1"});
        QVERIFY(MediaFixture::headerValues(head, "Range").isEmpty());
        QCOMPARE(done.size(), 1);
    }
};

QTEST_GUILESS_MAIN(tst_ManifestFetch)
#include "tst_manifestfetch.moc"

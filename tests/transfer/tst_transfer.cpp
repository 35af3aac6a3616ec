#include "TestFiles.h"
#include "CYouTubeDownloader.h"
#include "LocalHttpServer.h"
#include "Platform.h"

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <sys/resource.h>
#include <csignal>

using Route = LocalHttpServer::Route;
using Mode = LocalHttpServer::Mode;
using Outcome = CYouTubeDownloader::Outcome;
using Failure = CYouTubeDownloader::Failure;

namespace {

QStringList logLines;

void collectLog(QtMsgType, const QMessageLogContext &, const QString &text)
{
    logLines << text;
}

} // namespace

class TestTransfer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void savesTheBody_data();
    void savesTheBody();
    void progressCountsUpToTheTotal();
    void redirectIsFollowed();
    void redirectToAnotherHostKeepsTheSecretsHome();
    void endlessRedirectsFail();
    void httpErrorsLeaveNoFile_data();
    void httpErrorsLeaveNoFile();
    void connectionCutHalfwayFails();
    void cancelBeforeFirstProgress();
    void cancelAfterFirstProgress();
    void cancelOnAStalledServer();
    void replaysTheBrowsersHeaders();
    void oddRequestBlocks_data();
    void oddRequestBlocks();
    void unwritableTargetFails();
    void fullDiskFailsAndKeepsTheOldFile();
    void successReplacesAnOlderFile();
    void secretsNeverReachTheLog();
    void mediaStaysOutOfTheCache();
    void onlyWebAddresses_data();
    void onlyWebAddresses();
    void refusedConnectionFails();

private:
    // Runs one transfer to its end and returns it.
    std::unique_ptr<CYouTubeDownloader> run(const QByteArray &url, const QByteArray &block = {},
                                            const QString &target = {});
    QString target(const QString &name = "clip.flv") const { return m_dir.path() + "/" + name; }

    LocalHttpServer m_server;
    QTemporaryDir m_dir;
};

void TestTransfer::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY(m_server.listen());
}

void TestTransfer::init()
{
    QDir dir(m_dir.path());
    for (const QString &name : dir.entryList(QDir::Files))
        dir.remove(name);
}

std::unique_ptr<CYouTubeDownloader> TestTransfer::run(const QByteArray &url, const QByteArray &block,
                                                      const QString &file)
{
    auto transfer = std::make_unique<CYouTubeDownloader>();
    transfer->url = QString::fromLatin1(url);
    transfer->requestHeader = block;
    transfer->filePath = file.isEmpty() ? target() : file;
    QSignalSpy finished(transfer.get(), &CYouTubeDownloader::finished);
    transfer->startTransfer();
    if (!finished.wait(20000))
        qWarning("transfer did not finish");
    return transfer;
}

void TestTransfer::savesTheBody_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("size");
    QTest::newRow("with length") << int(Mode::Plain) << 300000;
    QTest::newRow("without length") << int(Mode::NoLength) << 250001;
    QTest::newRow("chunked") << int(Mode::Chunked) << 123457;
    QTest::newRow("empty body") << int(Mode::Plain) << 0;
    QTest::newRow("larger than one read block") << int(Mode::Plain) << 3 * 1048576 + 17;
}

void TestTransfer::savesTheBody()
{
    QFETCH(int, mode);
    QFETCH(int, size);
    Route route;
    route.mode = Mode(mode);
    route.body = LocalHttpServer::pattern(size);
    route.headers = {"Content-Type: video/x-flv"};
    m_server.route("/media/clip.flv", route);

    const auto transfer = run(m_server.url("/media/clip.flv"));
    QCOMPARE(transfer->outcome(), Outcome::Succeeded);
    QCOMPARE(transfer->lastError, QNetworkReply::NoError);
    QVERIFY(transfer->errorString().isEmpty());
    QCOMPARE(readFile(target()), route.body);
    QVERIFY(!QFileInfo::exists(target() + ".part"));
}

void TestTransfer::progressCountsUpToTheTotal()
{
    Route route;
    route.body = LocalHttpServer::pattern(2 * 1048576);
    m_server.route("/big.flv", route);
    auto transfer = std::make_unique<CYouTubeDownloader>();
    transfer->url = QString::fromLatin1(m_server.url("/big.flv"));
    transfer->filePath = target();
    QSignalSpy progress(transfer.get(), &CYouTubeDownloader::OnProgress);
    QSignalSpy finished(transfer.get(), &CYouTubeDownloader::finished);
    transfer->startTransfer();
    QVERIFY(finished.wait(20000));
    QVERIFY(!progress.isEmpty());
    unsigned long long previous = 0;
    for (const QList<QVariant> &call : progress) {
        QVERIFY(call.at(0).toULongLong() >= previous);
        previous = call.at(0).toULongLong();
        QCOMPARE(call.at(1).toBool(), true);
        QCOMPARE(call.at(2).toULongLong(), 2ull * 1048576);
    }
    QCOMPARE(previous, 2ull * 1048576);

    // Without a total nothing is reported until the end makes it known, and
    // the file still comes.
    route.mode = Mode::NoLength;
    m_server.route("/nolength.flv", route);
    transfer = std::make_unique<CYouTubeDownloader>();
    transfer->url = QString::fromLatin1(m_server.url("/nolength.flv"));
    transfer->filePath = target("n.flv");
    QSignalSpy silent(transfer.get(), &CYouTubeDownloader::OnProgress);
    QSignalSpy done(transfer.get(), &CYouTubeDownloader::finished);
    transfer->startTransfer();
    QVERIFY(done.wait(20000));
    for (const QList<QVariant> &call : silent)
        QCOMPARE(call.at(2).toULongLong(), call.at(0).toULongLong());
    QCOMPARE(readFile(target("n.flv")), route.body);
}

void TestTransfer::redirectIsFollowed()
{
    Route moved;
    moved.status = "302 Found";
    moved.headers = {"Location: /real/clip.flv"};
    moved.body = "<html>moved</html>";
    m_server.route("/old/clip.flv", moved);
    Route real;
    real.body = LocalHttpServer::pattern(150000);
    m_server.route("/real/clip.flv", real);

    const QByteArray block = "GET /old/clip.flv HTTP/1.1\r\nCookie: id=7\r\nReferer: http://site/page\r\n\r\n";
    const auto transfer = run(m_server.url("/old/clip.flv"), block);
    QCOMPARE(transfer->outcome(), Outcome::Succeeded);
    QCOMPARE(readFile(target()), real.body);
    QVERIFY(m_server.lastHead().startsWith("GET /real/clip.flv "));
    // Same host: the browser's headers go along.
    QCOMPARE(m_server.lastHeader("Cookie"), QByteArray("id=7"));
    QCOMPARE(m_server.lastHeader("Referer"), QByteArray("http://site/page"));
}

void TestTransfer::redirectToAnotherHostKeepsTheSecretsHome()
{
    LocalHttpServer other;
    QVERIFY(other.listen());
    Route real;
    real.body = LocalHttpServer::pattern(120000);
    other.route("/cdn/clip.flv", real);
    Route moved;
    moved.status = "301 Moved Permanently";
    moved.headers = {"Location: " + other.url("/cdn/clip.flv")};
    m_server.route("/away.flv", moved);

    const QByteArray block = "GET /away.flv HTTP/1.1\r\nCookie: session=secret\r\nAuthorization: Basic eDp5\r\n"
                             "User-Agent: Browser/1.0\r\nReferer: http://site/watch\r\n\r\n";
    const auto transfer = run(m_server.url("/away.flv"), block);
    QCOMPARE(transfer->outcome(), Outcome::Succeeded);
    QCOMPARE(readFile(target()), real.body);
    QCOMPARE(other.requestHeads().size(), 1);
    QCOMPARE(other.headerCount("Cookie"), 0);
    QCOMPARE(other.headerCount("Authorization"), 0);
    QCOMPARE(other.lastHeader("User-Agent"), QByteArray("Browser/1.0"));
    QCOMPARE(other.lastHeader("Referer"), QByteArray("http://site/watch"));
}

void TestTransfer::endlessRedirectsFail()
{
    Route loop;
    loop.status = "302 Found";
    loop.headers = {"Location: /loop.flv"};
    m_server.route("/loop.flv", loop);
    const int before = m_server.requestHeads().size();
    const auto transfer = run(m_server.url("/loop.flv"));
    QCOMPARE(transfer->outcome(), Outcome::Failed);
    QCOMPARE(transfer->failure(), Failure::Redirect);
    QCOMPARE(transfer->errorString(), QString("Too many redirects"));
    QCOMPARE(m_server.requestHeads().size() - before, CYouTubeDownloader::maxRedirects + 1);
    QVERIFY(!QFileInfo::exists(target()));
    QVERIFY(!QFileInfo::exists(target() + ".part"));
}

void TestTransfer::httpErrorsLeaveNoFile_data()
{
    QTest::addColumn<QByteArray>("status");
    QTest::addColumn<QString>("message");
    QTest::newRow("403") << QByteArray("403 Forbidden") << "HTTP 403 Forbidden";
    QTest::newRow("404") << QByteArray("404 Not Found") << "HTTP 404 Not Found";
    QTest::newRow("500") << QByteArray("500 Internal Server Error") << "HTTP 500 Internal Server Error";
    QTest::newRow("304 without a body") << QByteArray("304 Not Modified") << "HTTP 304 Not Modified";
    QTest::newRow("302 without Location") << QByteArray("302 Found") << "HTTP 302 without a usable new address";
}

void TestTransfer::httpErrorsLeaveNoFile()
{
    QFETCH(QByteArray, status);
    QFETCH(QString, message);
    Route route;
    route.status = status;
    route.body = status.startsWith("304") ? QByteArray() : "<html>error page</html>";
    m_server.route("/err.flv", route);
    const auto transfer = run(m_server.url("/err.flv"));
    QCOMPARE(transfer->outcome(), Outcome::Failed);
    QCOMPARE(transfer->errorString(), message);
    QCOMPARE(transfer->httpStatus(), status.left(3).toInt());
    if (status.startsWith('4') || status.startsWith('5'))
        QVERIFY(transfer->lastError != QNetworkReply::NoError);
    QVERIFY(!QFileInfo::exists(target()));
    QVERIFY(!QFileInfo::exists(target() + ".part"));
}

void TestTransfer::connectionCutHalfwayFails()
{
    Route route;
    route.mode = Mode::CutHalfway;
    route.body = LocalHttpServer::pattern(400000);
    m_server.route("/cut.flv", route);
    const auto transfer = run(m_server.url("/cut.flv"));
    QCOMPARE(transfer->outcome(), Outcome::Failed);
    QVERIFY(!transfer->errorString().isEmpty());
    QVERIFY(!QFileInfo::exists(target()));
    QVERIFY(!QFileInfo::exists(target() + ".part"));
}

void TestTransfer::cancelBeforeFirstProgress()
{
    Route route;
    route.mode = Mode::Slow;
    route.body = LocalHttpServer::pattern(400000);
    route.pieceBytes = 2000;
    route.pieceIntervalMs = 20;
    m_server.route("/slow.flv", route);
    CYouTubeDownloader transfer;
    transfer.url = QString::fromLatin1(m_server.url("/slow.flv"));
    transfer.filePath = target();
    QSignalSpy finished(&transfer, &CYouTubeDownloader::finished);
    QSignalSpy progress(&transfer, &CYouTubeDownloader::OnProgress);
    transfer.startTransfer();
    transfer.requestAbort();
    QVERIFY(finished.wait(10000));
    QVERIFY(progress.isEmpty());
    QCOMPARE(transfer.outcome(), Outcome::Canceled);
    QVERIFY(transfer.wasCanceled());
    QCOMPARE(transfer.errorString(), QString("Download canceled."));
    QVERIFY(!QFileInfo::exists(target()));
    QVERIFY(!QFileInfo::exists(target() + ".part"));
}

void TestTransfer::cancelAfterFirstProgress()
{
    Route route;
    route.mode = Mode::Slow;
    route.body = LocalHttpServer::pattern(400000);
    route.pieceBytes = 2000;
    route.pieceIntervalMs = 20;
    m_server.route("/slow2.flv", route);
    CYouTubeDownloader transfer;
    transfer.url = QString::fromLatin1(m_server.url("/slow2.flv"));
    transfer.filePath = target();
    QSignalSpy finished(&transfer, &CYouTubeDownloader::finished);
    unsigned long long seen = 0;
    connect(&transfer, &CYouTubeDownloader::OnProgress, this,
            [&](unsigned long long read, bool, unsigned long long) {
                if (seen == 0) {
                    // The partial file is on disk while the transfer runs.
                    QVERIFY(QFileInfo::exists(target() + ".part"));
                    transfer.requestAbort();
                }
                seen = read;
            });
    transfer.startTransfer();
    QVERIFY(finished.wait(10000));
    QVERIFY(seen > 0);
    QVERIFY(seen < 400000);
    QCOMPARE(transfer.outcome(), Outcome::Canceled);
    QVERIFY(!QFileInfo::exists(target()));
    QVERIFY(!QFileInfo::exists(target() + ".part"));
}

void TestTransfer::cancelOnAStalledServer()
{
    Route route;
    route.mode = Mode::Stall;
    route.body = LocalHttpServer::pattern(100000);
    route.pieceBytes = 1000;
    m_server.route("/stall.flv", route);
    CYouTubeDownloader transfer;
    transfer.url = QString::fromLatin1(m_server.url("/stall.flv"));
    transfer.filePath = target();
    QSignalSpy finished(&transfer, &CYouTubeDownloader::finished);
    transfer.startTransfer();
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(target() + ".part").size() == 1000, 10000);
    QVERIFY(!finished.wait(300)); // nothing more comes by itself
    transfer.requestAbort();
    QVERIFY(finished.wait(10000));
    QCOMPARE(transfer.outcome(), Outcome::Canceled);
    QVERIFY(!QFileInfo::exists(target() + ".part"));
}

void TestTransfer::replaysTheBrowsersHeaders()
{
    Route route;
    route.body = LocalHttpServer::pattern(100000);
    m_server.route("/watch/v.flv", route);
    const QByteArray cookie = "VISITOR=Cgt3; PREF=f1=50000000&hl=en; a=b:c";
    const QByteArray referer = "http://www.example.com/watch?v=x: y#t=1";
    const QByteArray agent = "Mozilla/5.0 (X11; Linux x86_64; rv:109.0) Gecko/20100101 Firefox/115.0";
    const QByteArray block = "GET /watch/v.flv HTTP/1.1\r\n"
                             "Host: 127.0.0.1\r\n"
                             "User-Agent: early\r\n"
                             "Cookie: " + cookie + "\r\n"
                             "Referer: " + referer + "\r\n"
                             "User-Agent: " + agent + "\r\n"
                             "Range: bytes=5000-\r\n"
                             "If-None-Match: \"abc\"\r\n"
                             "Accept-Encoding: gzip, deflate, br\r\n"
                             "X-Custom: 1\r\n"
                             "\r\n";
    const auto transfer = run(m_server.url("/watch/v.flv"), block);
    QCOMPARE(transfer->outcome(), Outcome::Succeeded);
    QCOMPARE(m_server.lastHeader("Cookie"), cookie);
    QCOMPARE(m_server.lastHeader("Referer"), referer);
    QCOMPARE(m_server.lastHeader("User-Agent"), agent);
    QCOMPARE(m_server.headerCount("User-Agent"), 1);
    QCOMPARE(m_server.lastHeader("X-Custom"), QByteArray("1"));
    // What would get a part, nothing, or a compressed body stays behind.
    QCOMPARE(m_server.headerCount("Range"), 0);
    QCOMPARE(m_server.headerCount("If-None-Match"), 0);
    QCOMPARE(m_server.lastHeader("Accept-Encoding"), QByteArray("identity"));
    QCOMPARE(m_server.headerCount("Host"), 1);
    QCOMPARE(m_server.lastHeader("Host"), "127.0.0.1:" + QByteArray::number(m_server.port()));
    QCOMPARE(readFile(target()), route.body);
}

void TestTransfer::oddRequestBlocks_data()
{
    QTest::addColumn<QByteArray>("block");
    QTest::addColumn<QByteArray>("expectedAgent");

    QTest::newRow("empty") << QByteArray() << QByteArray();
    QTest::newRow("binary") << LocalHttpServer::pattern(5000) << QByteArray();
    QTest::newRow("only line feeds")
        << QByteArray("GET / HTTP/1.1\nUser-Agent: a\nCookie: b\n\n") << QByteArray();
    QTest::newRow("line feed inside a value")
        << QByteArray("User-Agent: a\nX-Injected: 1\r\n\r\n") << QByteArray();
    QByteArray many = "GET /x HTTP/1.1\r\n";
    for (int i = 0; i < 5000; ++i)
        many += "X-H" + QByteArray::number(i) + ": v\r\nUser-Agent: agent" + QByteArray::number(i) + "\r\n";
    QTest::newRow("thousands of lines") << many << QByteArray("agent4999");
    QTest::newRow("one megabyte line")
        << QByteArray("User-Agent: ok\r\nCookie: " + QByteArray(1048576, 'c') + "\r\n\r\n") << QByteArray("ok");
    QTest::newRow("no blank after colon") << QByteArray("User-Agent:tight\r\n\r\n") << QByteArray();
    QTest::newRow("name with blank") << QByteArray("User Agent: x\r\n\r\n") << QByteArray();
    QTest::newRow("empty name") << QByteArray(": x\r\n\r\n") << QByteArray();
    QTest::newRow("nul in value") << QByteArray("User-Agent: a\0b\r\n\r\n", 19) << QByteArray();
    QTest::newRow("no final line end") << QByteArray("User-Agent: last") << QByteArray("last");
}

void TestTransfer::oddRequestBlocks()
{
    QFETCH(QByteArray, block);
    QFETCH(QByteArray, expectedAgent);
    Route route;
    route.body = LocalHttpServer::pattern(110000);
    m_server.route("/odd.flv", route);
    const auto transfer = run(m_server.url("/odd.flv"), block);
    QCOMPARE(transfer->outcome(), Outcome::Succeeded);
    QCOMPARE(readFile(target()), route.body);
    const QByteArray head = m_server.lastHead();
    QVERIFY(head.size() < 64 * 1024);
    QVERIFY(!head.contains("X-Injected"));
    if (!expectedAgent.isEmpty())
        QCOMPARE(m_server.lastHeader("User-Agent"), expectedAgent);
    else
        QVERIFY(m_server.lastHeader("User-Agent") != "a");
}

void TestTransfer::unwritableTargetFails()
{
    Route route;
    route.body = LocalHttpServer::pattern(100000);
    m_server.route("/w.flv", route);
    const int before = m_server.requestHeads().size();
    const QString missing = m_dir.path() + "/no/such/folder/clip.flv";
    const auto transfer = run(m_server.url("/w.flv"), {}, missing);
    QCOMPARE(transfer->outcome(), Outcome::Failed);
    QCOMPARE(transfer->failure(), Failure::Write);
    QVERIFY(transfer->errorString().contains(missing));
    QCOMPARE(m_server.requestHeads().size(), before); // nothing fetched in vain
    QVERIFY(!QFileInfo::exists(missing));
}

void TestTransfer::fullDiskFailsAndKeepsTheOldFile()
{
    {
        QFile old(target());
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("the old file");
    }
    Route route;
    route.body = LocalHttpServer::pattern(2 * 1048576);
    m_server.route("/full.flv", route);

    // A file size limit makes the disk "full" after 256 KB for this process.
    struct rlimit saved;
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
    struct rlimit small = saved;
    small.rlim_cur = 256 * 1024;
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
    const auto transfer = run(m_server.url("/full.flv"));
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    QCOMPARE(transfer->outcome(), Outcome::Failed);
    QCOMPARE(transfer->failure(), Failure::Write);
    QVERIFY2(transfer->errorString().startsWith("Could not write " + target()),
             qPrintable(transfer->errorString()));
    QCOMPARE(readFile(target()), QByteArray("the old file"));
    QVERIFY(!QFileInfo::exists(target() + ".part"));
}

void TestTransfer::successReplacesAnOlderFile()
{
    {
        QFile old(target());
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write(QByteArray(500000, 'o'));
    }
    Route route;
    route.body = LocalHttpServer::pattern(100001);
    m_server.route("/new.flv", route);
    const auto transfer = run(m_server.url("/new.flv"));
    QCOMPARE(transfer->outcome(), Outcome::Succeeded);
    QCOMPARE(readFile(target()), route.body);
}

void TestTransfer::secretsNeverReachTheLog()
{
    Route route;
    route.body = LocalHttpServer::pattern(100000);
    m_server.route("/s.flv", route);
    const QByteArray block = "GET /s.flv HTTP/1.1\r\nCookie: SID=topsecret1\r\n"
                             "Authorization: Bearer topsecret2\r\nProxy-Authorization: Basic topsecret3\r\n"
                             "cookie:topsecret4\r\nReferer: http://site/\r\n\r\n";
    logLines.clear();
    const QtMessageHandler previous = qInstallMessageHandler(collectLog);
    const auto transfer = run(m_server.url("/s.flv"), block);
    qInstallMessageHandler(previous);
    QCOMPARE(transfer->outcome(), Outcome::Succeeded);
    QCOMPARE(m_server.lastHeader("Cookie"), QByteArray("SID=topsecret1"));
    const QString all = logLines.join('\n');
    QVERIFY(!all.contains("topsecret"));
    QVERIFY(all.contains("\"Cookie\" ******* \"<redacted>\""));
    QVERIFY(all.contains("-------Header------"));
    QVERIFY(all.contains("Referer: http://site/"));
    QVERIFY(all.contains("Authorization: <redacted>"));
}

void TestTransfer::mediaStaysOutOfTheCache()
{
    Route route;
    route.body = LocalHttpServer::pattern(600000);
    route.headers = {"Cache-Control: max-age=3600", "Last-Modified: Mon, 01 Jan 2024 00:00:00 GMT"};
    m_server.route("/cacheable.flv", route);
    const auto first = run(m_server.url("/cacheable.flv"));
    QCOMPARE(first->outcome(), Outcome::Succeeded);
    const int before = m_server.requestHeads().size();
    const auto second = run(m_server.url("/cacheable.flv"), {}, target("again.flv"));
    QCOMPARE(readFile(target("again.flv")), route.body);
    QCOMPARE(m_server.requestHeads().size(), before + 1); // fetched again, not from the cache

    qint64 cached = 0;
    QDirIterator it(Platform::cacheFolder(), QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        cached += QFileInfo(it.next()).size();
    QVERIFY2(cached < 10000, qPrintable(QString::number(cached)));
}

void TestTransfer::onlyWebAddresses_data()
{
    QTest::addColumn<QString>("url");
    QTest::newRow("empty") << "";
    QTest::newRow("local file") << "file:///etc/passwd";
    QTest::newRow("ftp") << "ftp://127.0.0.1/x.flv";
    QTest::newRow("no host") << "http:///x.flv";
    QTest::newRow("data") << "data:text/plain,hello";
}

void TestTransfer::onlyWebAddresses()
{
    QFETCH(QString, url);
    const auto transfer = run(url.toLatin1());
    QCOMPARE(transfer->outcome(), Outcome::Failed);
    QCOMPARE(transfer->failure(), Failure::BadAddress);
    QVERIFY(!QFileInfo::exists(target()));
    QVERIFY(!QFileInfo::exists(target() + ".part"));
}

void TestTransfer::refusedConnectionFails()
{
    QTcpServer closed;
    QVERIFY(closed.listen(QHostAddress::LocalHost, 0));
    const quint16 port = closed.serverPort();
    closed.close();
    const auto transfer = run("http://127.0.0.1:" + QByteArray::number(port) + "/x.flv");
    QCOMPARE(transfer->outcome(), Outcome::Failed);
    QCOMPARE(transfer->failure(), Failure::Network);
    QCOMPARE(transfer->lastError, QNetworkReply::ConnectionRefusedError);
    QVERIFY(!transfer->errorString().isEmpty());
    QVERIFY(!QFileInfo::exists(target()));
}

QTEST_GUILESS_MAIN(TestTransfer)
#include "tst_transfer.moc"

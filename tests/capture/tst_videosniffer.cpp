#include "TestFiles.h"
#include <QtTest>

#include <mutex>

#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <pcap/pcap.h>

#include "CVideoSniffer.h"
#include "CaptureFile.h"
#include "MediaDetector.h"
#include "MediaServer.h"

namespace {

std::mutex reportsLock;
QList<MediaReport> liveReports;

void collect(QByteArray url, QByteArray header, QByteArray length, QByteArray type)
{
    const std::lock_guard lock(reportsLock);
    liveReports.append({url, header, length, type});
}

QList<MediaReport> reportsFor(const QByteArray &prefix)
{
    const std::lock_guard lock(reportsLock);
    QList<MediaReport> found;
    for (const MediaReport &r : std::as_const(liveReports))
        if (r.url.startsWith(prefix))
            found.append(r);
    return found;
}

bool bringLoopbackUp()
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    ifreq request{};
    qstrncpy(request.ifr_name, "lo", IFNAMSIZ);
    bool ok = ::ioctl(fd, SIOCGIFFLAGS, &request) == 0;
    request.ifr_flags |= IFF_UP;
    ok = ok && ::ioctl(fd, SIOCSIFFLAGS, &request) == 0;
    ::close(fd);
    return ok;
}

} // namespace

class TestVideoSniffer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void listInterfacesIncludesLoopback();
    void reportsLiveStreamsAndReplaysThem();
    void quietInterfaceStopsWithinOneSecond();
    void stopAllEndsRunningEngines();
    void processExitsWithEnginesRunning();
    void unknownInterfaceStaysIdle();
    void interfaceWithoutAddressShowsError();

private:
    bool fetch(const QByteArray &url);
    QString makeMedia(const QString &name, const QStringList &arguments);

    QTemporaryDir m_dir;
    bool m_privateNetwork = false;
};

void TestVideoSniffer::initTestCase()
{
    QVERIFY(m_dir.isValid());
    // A network namespace of our own: its loopback carries only this test's
    // traffic, so nothing else wakes a quiet engine or adds reports.
    m_privateNetwork = ::unshare(CLONE_NEWNET) == 0 && bringLoopbackUp();
    if (!m_privateNetwork)
        qWarning("no private network namespace; capturing on the shared loopback");

    char errorBuffer[PCAP_ERRBUF_SIZE] = {};
    pcap_t *probe = pcap_create("lo", errorBuffer);
    const int status = probe ? pcap_activate(probe) : PCAP_ERROR;
    const QByteArray why = probe ? QByteArray(pcap_geterr(probe)) : QByteArray(errorBuffer);
    if (probe)
        pcap_close(probe);
    if (status < 0)
        QSKIP(qPrintable("live capture on lo needs root or CAP_NET_RAW and CAP_NET_ADMIN "
                         "(setcap cap_net_raw,cap_net_admin+eip on the binary): " + QString::fromLocal8Bit(why)));
}

QString TestVideoSniffer::makeMedia(const QString &name, const QStringList &arguments)
{
    const QString path = m_dir.filePath(name);
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"), QStringList{"-v", "error", "-y"} + arguments + QStringList{path});
    if (!ffmpeg.waitForFinished(60000) || ffmpeg.exitStatus() != QProcess::NormalExit || ffmpeg.exitCode() != 0)
        return {};
    return path;
}

bool TestVideoSniffer::fetch(const QByteArray &url)
{
    QProcess curl;
    curl.start(QStringLiteral("curl"), {"-s", "-f", "--noproxy", "*", "-o", "/dev/null", QString::fromLatin1(url)});
    return curl.waitForFinished(30000) && curl.exitStatus() == QProcess::NormalExit && curl.exitCode() == 0;
}

void TestVideoSniffer::listInterfacesIncludesLoopback()
{
    const QList<QByteArray> names = CVideoSniffer::listInterfaces();
    QVERIFY2(names.contains("lo"), names.join(' ').constData());
    QVERIFY(!names.contains("any"));
}

void TestVideoSniffer::reportsLiveStreamsAndReplaysThem()
{
    const QString mp4 = makeMedia("clip.mp4", {"-f", "lavfi", "-i", "testsrc=duration=2:size=320x240:rate=25",
                                               "-c:v", "mpeg4"});
    const QString flv = makeMedia("clip.flv", {"-f", "lavfi", "-i", "testsrc=duration=2:size=320x240:rate=25",
                                               "-c:v", "flv1", "-f", "flv"});
    const QString mp3 = makeMedia("clip.mp3", {"-f", "lavfi", "-i", "sine=duration=2", "-c:a", "libmp3lame"});
    QVERIFY2(!mp4.isEmpty() && !flv.isEmpty() && !mp3.isEmpty(), "ffmpeg could not make the media files");
    const QByteArray mp4Body = readFile(mp4), flvBody = readFile(flv), mp3Body = readFile(mp3);
    QVERIFY(flvBody.startsWith("FLV"));
    QVERIFY(mp3Body.startsWith("ID3"));

    frames::MediaServer server({
        {"/clip.mp4", {"video/mp4", mp4Body}},
        {"/clip.flv", {"video/x-flv", flvBody}},
        {"/split.flv", {"video/x-flv", flvBody, true}},
        {"/clip.mp3", {"audio/mpeg", mp3Body}},
        {"/page.html", {"text/html", "<html><body>not media</body></html>"}},
        {"/ignored.mp4", {"video/mp4", mp4Body}},
    });
    QVERIFY(server.listen("127.0.0.2"));
    const QByteArray base = "127.0.0.2:" + QByteArray::number(server.port());

    // A recording of the same traffic, for the replay below.
    const QString recording = m_dir.filePath("live.pcap");
    QProcess tcpdump;
    tcpdump.setProcessChannelMode(QProcess::MergedChannels);
    tcpdump.start(QStringLiteral("tcpdump"), {"-i", "lo", "-n", "-U", "--immediate-mode", "-s", "65535", "-w", recording,
                                              "tcp and host 127.0.0.2"});
    QVERIFY2(tcpdump.waitForStarted(5000), "tcpdump is needed to record the traffic");
    QByteArray tcpdumpSays;
    while (!tcpdumpSays.contains("listening on") && tcpdump.waitForReadyRead(5000))
        tcpdumpSays += tcpdump.readAll();
    QVERIFY2(tcpdumpSays.contains("listening on"), tcpdumpSays.constData());

    CVideoSniffer engine("lo");
    QVERIFY(engine.isCapturing());
    QCOMPARE(engine.localAddress(), (Ipv4Address{127, 0, 0, 1}));
    engine.registerCallback(collect);
    engine.addIgnoredUrl(base + "/ignored.mp4", 1);

    const QList<QByteArray> paths = {"/clip.mp4", "/clip.flv", "/split.flv", "/clip.mp3",
                                     "/page.html", "/ignored.mp4", "/ignored.mp4"};
    for (const QByteArray &path : paths)
        QVERIFY2(fetch("http://" + base + path), path.constData());

    QTRY_VERIFY_WITH_TIMEOUT(reportsFor(base).size() >= 5, 10000);
    // The engine delivers within a block timeout; nothing more may follow.
    QTest::qWait(500);
    const QList<MediaReport> reports = reportsFor(base);
    const std::vector<QByteArray> requests = server.requests();
    QCOMPARE(requests.size(), std::size_t(paths.size()));

    struct Expected
    {
        QByteArray path;
        qsizetype size;
        QByteArray type;
        std::size_t request;
    };
    const QList<Expected> expected = {
        {"/clip.mp4", mp4Body.size(), "mp4\r\n", 0},
        {"/clip.flv", flvBody.size(), "x-flv\r\n", 1},
        {"/split.flv", flvBody.size(), "x-flv", 2},
        {"/clip.mp3", mp3Body.size(), "MP3", 3},
        {"/ignored.mp4", mp4Body.size(), "mp4\r\n", 6},
    };
    QCOMPARE(reports.size(), expected.size());
    for (qsizetype i = 0; i < expected.size(); ++i) {
        const MediaReport &r = reports[i];
        QCOMPARE(r.url, base + expected[i].path);
        QCOMPARE(r.header, requests[expected[i].request]);
        QVERIFY(r.header.contains(QByteArray("Host: " + base + "\r\n")));
        QCOMPARE(r.contentLength, QByteArray::number(expected[i].size) + "\r\n");
        QCOMPARE(r.contentType, expected[i].type);
    }
    QCOMPARE(engine.droppedPackets(), 0u);

    tcpdump.terminate();
    QVERIFY(tcpdump.waitForFinished(10000));

    MediaDetector replay(DLT_EN10MB, {127, 0, 0, 1});
    replay.addIgnoredUrl(base + "/ignored.mp4", 1);
    const CaptureFileResult result = readCaptureFile(recording, replay);
    QVERIFY2(result.ok, qPrintable(result.error));
    QVERIFY(result.packets > 20);
    QCOMPARE(result.reports, reports);
}

void TestVideoSniffer::quietInterfaceStopsWithinOneSecond()
{
    if (!m_privateNetwork)
        qWarning("the shared loopback may not be quiet");
    auto engine = std::make_unique<CVideoSniffer>("lo");
    QVERIFY(engine->isCapturing());
    // Long enough for the loop to be waiting for a packet that never comes.
    QTest::qWait(600);
    QVERIFY(!engine->loopFinished());
    QElapsedTimer clock;
    clock.start();
    engine.reset();
    const qint64 took = clock.elapsed();
    qInfo("engine stopped in %lld ms", took);
    QVERIFY2(took < 1000, qPrintable(QString::number(took)));
}

void TestVideoSniffer::stopAllEndsRunningEngines()
{
    CVideoSniffer first("lo");
    CVideoSniffer second("lo");
    QVERIFY(first.isCapturing() && second.isCapturing());
    CVideoSniffer::stopAll();
    QVERIFY(first.loopFinished());
    QVERIFY(second.loopFinished());
    QVERIFY(first.isFinished());
}

void TestVideoSniffer::processExitsWithEnginesRunning()
{
    QProcess helper;
    helper.start(QStringLiteral(CAPTURE_EXIT_HELPER), {});
    QVERIFY(helper.waitForFinished(10000));
    const QByteArray said = helper.readAllStandardError();
    QCOMPARE(helper.exitStatus(), QProcess::NormalExit);
    QVERIFY2(helper.exitCode() == 0, said.constData());
    QVERIFY2(!said.contains("QThread: Destroyed while thread is still running"), said.constData());
}

void TestVideoSniffer::unknownInterfaceStaysIdle()
{
    QElapsedTimer clock;
    clock.start();
    {
        CVideoSniffer engine("no-such-interface0");
        QVERIFY(!engine.isCapturing());
        QVERIFY(!engine.isRunning());
        QVERIFY(engine.failure().isEmpty());
    }
    QVERIFY(clock.elapsed() < 1000);
}

void TestVideoSniffer::interfaceWithoutAddressShowsError()
{
    // "any" is listed by the capture library but has no address.
    CVideoSniffer engine("any");
    QVERIFY(!engine.isCapturing());
    QCOMPARE(engine.failure(), QStringLiteral("Unable to get interface address"));
}

QTEST_GUILESS_MAIN(TestVideoSniffer)
#include "tst_videosniffer.moc"

#include <QtTest>

#include <atomic>
#include <thread>

#include "FrameBuilder.h"
#include "MediaDetector.h"

using frames::Bytes;
using frames::FrameSpec;

namespace {

const Ipv4Address Local{10, 0, 0, 1};

const QByteArray Get = "GET /video.mp4 HTTP/1.1\r\nHost: media.example\r\nUser-Agent: t\r\n\r\n";
const QByteArray Mp4Head = "HTTP/1.1 200 OK\r\nContent-Type: video/mp4\r\nContent-Length: 123456\r\n\r\n";

// A detector whose reports land in a list.
struct Probe
{
    MediaDetector detector{DLT_EN10MB, Local};
    QList<MediaReport> reports;
    std::int64_t now = 1000;

    Probe()
    {
        detector.setReportSink([this](const MediaReport &r) { reports.append(r); });
    }
    void feed(const FrameSpec &layout) { feed(frames::buildFrame(layout)); }
    // An exactly sized heap copy, so that a read past the end is caught.
    void feed(const Bytes &frame)
    {
        auto copy = std::make_unique<std::uint8_t[]>(frame.size() ? frame.size() : 1);
        if (!frame.empty())
            std::memcpy(copy.get(), frame.data(), frame.size());
        detector.analyze({copy.get(), frame.size()}, now);
    }
};

} // namespace

class TestMediaDetector : public QObject
{
    Q_OBJECT

private slots:
    void videoResponse_data();
    void videoResponse();
    void hostMissingUsesServerAddress();
    void blankPathNeverReported();
    void ageing_data();
    void ageing();
    void recordsStayWithoutNewRequests();
    void pipelinedRequestsInOrder();
    void flvHeaderFillingPacketWaitsForBody();
    void flvContinuationUsesLastResponse();
    void everyResponseConsumesOneRequest();
    void outgoingNeverExaminedAsResponse();
    void unmatchedResponseDropped();
    void ignoredUrls_data();
    void ignoredUrls();
    void shortPayloads_data();
    void shortPayloads();
    void malformedHeaders_data();
    void malformedHeaders();
    void otherLinkTypes_data();
    void otherLinkTypes();
    void unsupportedLinkTypeYieldsNothing();
    void truncatedAtEveryOffset_data();
    void truncatedAtEveryOffset();
    void examinedLengthLimit();
    void framesBeyondMtu();
    void longUrls_data();
    void longUrls();
    void controlBytesInUrlDropped();
    void pendingRequestsCapped();
    void callbackAndIgnoreListAcrossThreads();
};

void TestMediaDetector::videoResponse_data()
{
    QTest::addColumn<QByteArray>("response");
    QTest::addColumn<QByteArray>("length");
    QTest::addColumn<QByteArray>("type");

    QTest::newRow("mp4 header only") << Mp4Head << QByteArray("123456\r\n") << QByteArray("mp4\r\n");
    QTest::newRow("mp4 with body") << Mp4Head + "\0\0\0\x20" "ftypisom" << QByteArray("123456\r\n")
                                   << QByteArray("mp4\r\n");
    QTest::newRow("no length") << QByteArray("HTTP/1.1 200 OK\r\nContent-Type: video/webm\r\n\r\nxx")
                               << QByteArray() << QByteArray("webm\r\n");
    QTest::newRow("flv with body")
        << QByteArray("HTTP/1.1 200 OK\r\nContent-Type: video/x-flv\r\nContent-Length: 99\r\n\r\nFLV\x01")
        << QByteArray("99\r\n") << QByteArray("x-flv\r\n");
    QTest::newRow("flv without blank line")
        << QByteArray("HTTP/1.1 200 OK\r\nContent-Type: video/x-flv\r\nContent-Length: 7\r\n")
        << QByteArray("7\r\n") << QByteArray("x-flv\r\n");
    QTest::newRow("mp3 by ID3 body")
        << QByteArray("HTTP/1.0 200 OK\r\nContent-Length: 200000\r\nContent-Type: audio/mpeg\r\n\r\nID3\x04")
        << QByteArray("200000\r\n") << QByteArray("MP3");
    QTest::newRow("flv by body")
        << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 5\r\nContent-Type: application/octet-stream\r\n\r\nFLV")
        << QByteArray("5\r\n") << QByteArray("x-flv");
    QTest::newRow("type line without end")
        << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 5\r\nContent-Type: video/mp4") << QByteArray("5\r\n")
        << QByteArray();
}

void TestMediaDetector::videoResponse()
{
    QFETCH(QByteArray, response);
    QFETCH(QByteArray, length);
    QFETCH(QByteArray, type);
    Probe probe;
    probe.feed(frames::request(Get));
    QCOMPARE(probe.detector.pendingRequestCount(), 1u);
    probe.feed(frames::response(response));
    QCOMPARE(probe.reports.size(), 1);
    const MediaReport &r = probe.reports.first();
    QCOMPARE(r.url, QByteArray("media.example/video.mp4"));
    QCOMPARE(r.header, Get);
    QCOMPARE(r.contentLength, length);
    QCOMPARE(r.contentType, type);
    QCOMPARE(probe.detector.pendingRequestCount(), 0u);
}

void TestMediaDetector::hostMissingUsesServerAddress()
{
    Probe probe;
    probe.feed(frames::request("GET /video.flv HTTP/1.0\r\nAccept: */*\r\n\r\n"));
    probe.feed(frames::response(Mp4Head));
    QCOMPARE(probe.reports.size(), 1);
    QCOMPARE(probe.reports[0].url, QByteArray("10.0.0.5/video.flv"));
    QCOMPARE(probe.reports[0].header, QByteArray("GET /video.flv HTTP/1.0\r\nAccept: */*\r\n\r\n"));
}

void TestMediaDetector::blankPathNeverReported()
{
    Probe probe;
    probe.feed(frames::request("GET  /video.mp4 HTTP/1.1\r\nHost: media.example\r\n\r\n"));
    QCOMPARE(probe.detector.pendingRequestCount(), 1u);
    probe.feed(frames::response(Mp4Head));
    QVERIFY(probe.reports.isEmpty());
    QCOMPARE(probe.detector.pendingRequestCount(), 0u);
}

void TestMediaDetector::ageing_data()
{
    QTest::addColumn<int>("gap");
    QTest::addColumn<bool>("reported");
    QTest::newRow("60 s") << 60 << true;
    QTest::newRow("61 s") << 61 << false;
    QTest::newRow("300 s") << 300 << false;
}

void TestMediaDetector::ageing()
{
    QFETCH(int, gap);
    QFETCH(bool, reported);
    Probe probe;
    probe.feed(frames::request(Get, 40000));
    probe.now += gap;
    // Ageing happens only when another request is added.
    probe.feed(frames::request("GET /other HTTP/1.1\r\nHost: h\r\n\r\n", 40001));
    probe.feed(frames::response(Mp4Head, 40000));
    QCOMPARE(probe.reports.size(), reported ? 1 : 0);
}

void TestMediaDetector::recordsStayWithoutNewRequests()
{
    Probe probe;
    probe.feed(frames::request(Get));
    probe.now += 10000;
    probe.feed(frames::response(Mp4Head));
    QCOMPARE(probe.reports.size(), 1);
}

void TestMediaDetector::pipelinedRequestsInOrder()
{
    Probe probe;
    probe.feed(frames::request("GET /first.mp4 HTTP/1.1\r\nHost: h\r\n\r\n"));
    probe.feed(frames::request("GET /second.mp4 HTTP/1.1\r\nHost: h\r\n\r\n"));
    probe.feed(frames::response(Mp4Head));
    probe.feed(frames::response(Mp4Head));
    QCOMPARE(probe.reports.size(), 2);
    QCOMPARE(probe.reports[0].url, QByteArray("h/first.mp4"));
    QCOMPARE(probe.reports[1].url, QByteArray("h/second.mp4"));
}

void TestMediaDetector::flvHeaderFillingPacketWaitsForBody()
{
    Probe probe;
    probe.feed(frames::request("GET /a.flv HTTP/1.1\r\nHost: h\r\n\r\n"));
    probe.feed(frames::response("HTTP/1.1 200 OK\r\nContent-Type: video/x-flv\r\nContent-Length: 150000\r\n\r\n"));
    QVERIFY(probe.reports.isEmpty());
    QCOMPARE(probe.detector.lastResponse().request.path, QByteArray("/a.flv "));
    probe.feed(frames::response(QByteArray("FLV\x01\x05\0\0\0\x09", 9)));
    QCOMPARE(probe.reports.size(), 1);
    QCOMPARE(probe.reports[0].url, QByteArray("h/a.flv"));
    QCOMPARE(probe.reports[0].contentLength, QByteArray("150000\r\n"));
    QCOMPARE(probe.reports[0].contentType, QByteArray("x-flv"));
}

void TestMediaDetector::flvContinuationUsesLastResponse()
{
    // A body packet that does not begin with "FLV" reports nothing; the
    // remembered response is not cleared by a report.
    Probe probe;
    probe.feed(frames::request("GET /a.flv HTTP/1.1\r\nHost: h\r\n\r\n"));
    probe.feed(frames::response("HTTP/1.1 200 OK\r\nContent-Type: video/x-flv\r\n\r\n"));
    probe.feed(frames::response("xFLV"));
    QVERIFY(probe.reports.isEmpty());
    probe.feed(frames::response("FLV"));
    probe.feed(frames::response("FLV"));
    QCOMPARE(probe.reports.size(), 2);
    QCOMPARE(probe.reports[1].contentLength, QByteArray());
}

void TestMediaDetector::everyResponseConsumesOneRequest()
{
    Probe probe;
    probe.feed(frames::request("GET /page.html HTTP/1.1\r\nHost: h\r\n\r\n"));
    probe.feed(frames::response("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\n<html>"));
    QVERIFY(probe.reports.isEmpty());
    QCOMPARE(probe.detector.pendingRequestCount(), 0u);
    // A later media header on the same connection has nothing left to pair with.
    probe.feed(frames::response(Mp4Head));
    QVERIFY(probe.reports.isEmpty());
    // An MP3 body without its tag is not recognised.
    probe.feed(frames::request("GET /a.mp3 HTTP/1.1\r\nHost: h\r\n\r\n"));
    probe.feed(frames::response("HTTP/1.1 200 OK\r\nContent-Type: audio/mpeg\r\n\r\n\xff\xfb\x90\x64"));
    QVERIFY(probe.reports.isEmpty());
}

void TestMediaDetector::outgoingNeverExaminedAsResponse()
{
    Probe probe;
    FrameSpec server = frames::request(Get);
    probe.feed(server);
    // The local machine answering someone: outgoing, so never a response.
    FrameSpec reply = frames::request(Mp4Head);
    probe.feed(reply);
    QVERIFY(probe.reports.isEmpty());
    QCOMPARE(probe.detector.pendingRequestCount(), 1u);
}

void TestMediaDetector::unmatchedResponseDropped()
{
    Probe probe;
    probe.feed(frames::request(Get, 40000));
    probe.feed(frames::response(Mp4Head, 40001));
    QVERIFY(probe.reports.isEmpty());
    QCOMPARE(probe.detector.pendingRequestCount(), 1u);
}

void TestMediaDetector::ignoredUrls_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("suppressed");
    QTest::newRow("none") << 0 << 0;
    QTest::newRow("negative") << -2 << 0;
    QTest::newRow("one") << 1 << 1;
    QTest::newRow("three") << 3 << 3;
}

void TestMediaDetector::ignoredUrls()
{
    QFETCH(int, count);
    QFETCH(int, suppressed);
    Probe probe;
    probe.detector.addIgnoredUrl("media.example/video.mp4", count);
    probe.detector.addIgnoredUrl("media.example/other.mp4", 1);
    for (int i = 0; i < 5; ++i) {
        probe.feed(frames::request(Get));
        probe.feed(frames::response(Mp4Head));
    }
    QCOMPARE(probe.reports.size(), 5 - suppressed);
    QCOMPARE(probe.detector.ignoredUrlCount(), 1);
    QVERIFY(probe.detector.takeIgnoredUrl("media.example/other.mp4"));
    QVERIFY(!probe.detector.takeIgnoredUrl("media.example/other.mp4"));
}

void TestMediaDetector::shortPayloads_data()
{
    QTest::addColumn<QByteArray>("payload");
    QTest::newRow("F") << QByteArray("F");
    QTest::newRow("FL") << QByteArray("FL");
    QTest::newRow("HTTP") << QByteArray("HTTP");
    QTest::newRow("empty") << QByteArray();
}

void TestMediaDetector::shortPayloads()
{
    QFETCH(QByteArray, payload);
    Probe probe;
    probe.feed(frames::request("GET /a.flv HTTP/1.1\r\nHost: h\r\n\r\n"));
    probe.feed(frames::response("HTTP/1.1 200 OK\r\nContent-Type: video/x-flv\r\n\r\n"));
    probe.feed(frames::response(payload));
    QVERIFY(probe.reports.isEmpty());
    probe.feed(frames::request(payload));
    QCOMPARE(probe.detector.pendingRequestCount(), 0u);
}

void TestMediaDetector::malformedHeaders_data()
{
    QTest::addColumn<int>("ipHeaderLength");
    QTest::addColumn<int>("tcpHeaderLength");
    QTest::addColumn<int>("ipVersion");
    QTest::addColumn<int>("protocol");
    QTest::addColumn<int>("etherType");
    QTest::addColumn<int>("fragment");
    QTest::addColumn<bool>("valid");
    QTest::newRow("plain") << 20 << 20 << 4 << 6 << 0x0800 << 0 << true;
    QTest::newRow("ip options") << 24 << 20 << 4 << 6 << 0x0800 << 0 << true;
    QTest::newRow("tcp options") << 20 << 32 << 4 << 6 << 0x0800 << 0 << true;
    QTest::newRow("first fragment") << 20 << 20 << 4 << 6 << 0x0800 << 0x2000 << true;
    QTest::newRow("ip header 16") << 16 << 20 << 4 << 6 << 0x0800 << 0 << false;
    QTest::newRow("ip header 0") << 0 << 20 << 4 << 6 << 0x0800 << 0 << false;
    QTest::newRow("tcp header 12") << 20 << 12 << 4 << 6 << 0x0800 << 0 << false;
    QTest::newRow("tcp header 0") << 20 << 0 << 4 << 6 << 0x0800 << 0 << false;
    QTest::newRow("ip version 6") << 20 << 20 << 6 << 6 << 0x0800 << 0 << false;
    QTest::newRow("udp") << 20 << 20 << 4 << 17 << 0x0800 << 0 << false;
    QTest::newRow("ipv6 ethertype") << 20 << 20 << 4 << 6 << 0x86dd << 0 << false;
    QTest::newRow("arp") << 20 << 20 << 4 << 6 << 0x0806 << 0 << false;
    QTest::newRow("later fragment") << 20 << 20 << 4 << 6 << 0x0800 << 0x00b9 << false;
}

void TestMediaDetector::malformedHeaders()
{
    QFETCH(int, ipHeaderLength);
    QFETCH(int, tcpHeaderLength);
    QFETCH(int, ipVersion);
    QFETCH(int, protocol);
    QFETCH(int, etherType);
    QFETCH(int, fragment);
    QFETCH(bool, valid);
    const auto shape = [&](FrameSpec layout) {
        layout.ipHeaderLength = ipHeaderLength;
        layout.tcpHeaderLength = tcpHeaderLength;
        layout.ipVersion = ipVersion;
        layout.protocol = std::uint8_t(protocol);
        layout.etherType = std::uint16_t(etherType);
        layout.fragment = std::uint16_t(fragment);
        return layout;
    };
    Probe probe;
    probe.feed(shape(frames::request(Get)));
    QCOMPARE(probe.detector.pendingRequestCount(), valid ? 1u : 0u);
    probe.feed(frames::request(Get, 40001));
    probe.feed(shape(frames::response(Mp4Head, 40001)));
    QCOMPARE(probe.reports.size(), valid ? 1 : 0);
}

void TestMediaDetector::otherLinkTypes_data()
{
    QTest::addColumn<int>("linkType");
    QTest::addColumn<bool>("vlan");
    QTest::newRow("ethernet") << DLT_EN10MB << false;
    QTest::newRow("ethernet vlan") << DLT_EN10MB << true;
    QTest::newRow("linux cooked") << DLT_LINUX_SLL << false;
    QTest::newRow("linux cooked v2") << DLT_LINUX_SLL2 << false;
    QTest::newRow("raw") << DLT_RAW << false;
    QTest::newRow("ipv4") << DLT_IPV4 << false;
    QTest::newRow("null") << DLT_NULL << false;
    QTest::newRow("loop") << DLT_LOOP << false;
}

void TestMediaDetector::otherLinkTypes()
{
    QFETCH(int, linkType);
    QFETCH(bool, vlan);
    QVERIFY(MediaDetector::supportsLinkType(linkType));
    Probe probe;
    probe.detector.setLinkType(linkType);
    FrameSpec get = frames::request(Get);
    FrameSpec head = frames::response(Mp4Head);
    get.linkType = head.linkType = linkType;
    get.vlan = head.vlan = vlan;
    probe.feed(get);
    probe.feed(head);
    QCOMPARE(probe.reports.size(), 1);
    QCOMPARE(probe.reports[0].url, QByteArray("media.example/video.mp4"));
}

void TestMediaDetector::unsupportedLinkTypeYieldsNothing()
{
    QVERIFY(!MediaDetector::supportsLinkType(DLT_IEEE802_11));
    Probe probe;
    probe.detector.setLinkType(DLT_IEEE802_11);
    probe.feed(frames::request(Get));
    probe.feed(frames::response(Mp4Head));
    QVERIFY(probe.reports.isEmpty());
    QCOMPARE(probe.detector.pendingRequestCount(), 0u);
}

void TestMediaDetector::truncatedAtEveryOffset_data()
{
    QTest::addColumn<QByteArray>("requestPayload");
    QTest::addColumn<QByteArray>("responsePayload");
    QTest::newRow("mp4") << Get << Mp4Head + "body";
    QTest::newRow("flv") << Get
                         << QByteArray("HTTP/1.1 200 OK\r\nContent-Type: video/x-flv\r\nContent-Length: 9\r\n\r\nFLV");
    QTest::newRow("mp3") << Get << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\nID3");
}

void TestMediaDetector::truncatedAtEveryOffset()
{
    QFETCH(QByteArray, requestPayload);
    QFETCH(QByteArray, responsePayload);
    const Bytes get = frames::buildFrame(frames::request(requestPayload));
    const Bytes head = frames::buildFrame(frames::response(responsePayload));
    const std::size_t headers = 14 + 20 + 20;
    for (std::size_t cut = 0; cut <= get.size(); ++cut) {
        Probe probe;
        probe.feed(Bytes(get.begin(), get.begin() + std::ptrdiff_t(cut)));
        const std::size_t kept = probe.detector.pendingRequestCount();
        // A request is kept once its path, the blank after it and one more
        // byte are in.
        QCOMPARE(kept, cut >= headers + 16 ? 1u : 0u);
        probe.feed(head);
        QCOMPARE(probe.reports.size(), int(kept));
        if (kept) {
            const QByteArray seen = requestPayload.left(qsizetype(cut - headers));
            QCOMPARE(probe.reports[0].header, seen.endsWith("\r\n\r\n") ? seen : QByteArray());
            // The Host line counts once its line end and one more byte are in.
            const qsizetype hostEnd = requestPayload.indexOf("example\r\n") + 9;
            QCOMPARE(probe.reports[0].url, seen.size() > hostEnd ? QByteArray("media.example/video.mp4")
                                                                 : QByteArray("10.0.0.5/video.mp4"));
        }
    }
    for (std::size_t cut = 0; cut <= head.size(); ++cut) {
        Probe probe;
        probe.feed(get);
        probe.feed(Bytes(head.begin(), head.begin() + std::ptrdiff_t(cut)));
        for (const MediaReport &r : std::as_const(probe.reports)) {
            QVERIFY(responsePayload.contains(r.contentLength));
            QVERIFY(r.contentLength.isEmpty() || r.contentLength.endsWith("\r\n"));
        }
        QVERIFY(probe.reports.size() <= 1);
    }
}

void TestMediaDetector::examinedLengthLimit()
{
    // Header lines past the first 8192 payload bytes are not seen.
    Probe probe;
    const QByteArray padding = "X-Pad: " + QByteArray(8200, 'a') + "\r\n";
    probe.feed(frames::request(Get));
    probe.feed(frames::response("HTTP/1.1 200 OK\r\n" + padding + "Content-Type: video/mp4\r\n\r\n"));
    QVERIFY(probe.reports.isEmpty());

    probe.feed(frames::request(Get));
    probe.feed(frames::response("HTTP/1.1 200 OK\r\nContent-Type: video/mp4\r\n" + padding + "\r\n"));
    QCOMPARE(probe.reports.size(), 1);
}

void TestMediaDetector::framesBeyondMtu()
{
    // Loopback frames of tens of kilobytes: the blank line of an FLV header
    // is searched in the whole captured payload, past the examined part.
    Probe probe;
    probe.feed(frames::request(Get));
    const QByteArray head = "HTTP/1.1 200 OK\r\nContent-Type: video/x-flv\r\nContent-Length: 60000\r\nX-Pad: "
                            + QByteArray(20000, 'p') + "\r\n\r\n";
    FrameSpec big = frames::response(head + QByteArray(40000, 'b'));
    probe.feed(big);
    QCOMPARE(probe.reports.size(), 1);
    probe.feed(frames::request(Get));
    probe.feed(frames::response(head));
    QCOMPARE(probe.reports.size(), 1);
}

void TestMediaDetector::longUrls_data()
{
    QTest::addColumn<int>("pathLength");
    QTest::addColumn<bool>("reported");
    // "h" plus the path: 4095 characters fit, 4096 do not.
    QTest::newRow("4095") << 4094 << true;
    QTest::newRow("4096") << 4095 << false;
    QTest::newRow("8000") << 8000 << false;
}

void TestMediaDetector::longUrls()
{
    QFETCH(int, pathLength);
    QFETCH(bool, reported);
    Probe probe;
    const QByteArray path = "/" + QByteArray(pathLength - 1, 'v');
    probe.feed(frames::request("GET " + path + " HTTP/1.1\r\nHost: h\r\n\r\n"));
    probe.feed(frames::response(Mp4Head));
    QCOMPARE(probe.reports.size(), reported ? 1 : 0);
    if (reported)
        QCOMPARE(probe.reports[0].url, "h" + path);
}

void TestMediaDetector::controlBytesInUrlDropped()
{
    Probe probe;
    probe.feed(frames::request("GET /a\nb.mp4 HTTP/1.1\r\nHost: h\r\n\r\n"));
    probe.feed(frames::response(Mp4Head));
    probe.feed(frames::request("GET /a.mp4 HTTP/1.1\r\nHost: h\x01x\r\n\r\n"));
    probe.feed(frames::response(Mp4Head));
    QVERIFY(probe.reports.isEmpty());
}

void TestMediaDetector::pendingRequestsCapped()
{
    Probe probe;
    const int total = int(MediaDetector::MaxPendingRequests) + 100;
    for (int i = 0; i < total; ++i)
        probe.feed(frames::request(Get, std::uint16_t(10000 + i)));
    QCOMPARE(probe.detector.pendingRequestCount(), MediaDetector::MaxPendingRequests);
    probe.feed(frames::response(Mp4Head, 10000)); // oldest, dropped
    QVERIFY(probe.reports.isEmpty());
    probe.feed(frames::response(Mp4Head, std::uint16_t(10000 + total - 1)));
    QCOMPARE(probe.reports.size(), 1);
}

namespace {
std::atomic<int> callbackCalls{0};
void countingCallback(QByteArray url, QByteArray, QByteArray, QByteArray)
{
    if (url == "media.example/video.mp4")
        callbackCalls.fetch_add(1);
}
} // namespace

void TestMediaDetector::callbackAndIgnoreListAcrossThreads()
{
    // Several capture threads share one callback while another thread
    // fills their ignore lists.
    constexpr int Engines = 3;
    constexpr int Streams = 400;
    constexpr int Ignored = 150;
    callbackCalls = 0;
    std::vector<std::unique_ptr<MediaDetector>> detectors;
    for (int i = 0; i < Engines; ++i) {
        detectors.push_back(std::make_unique<MediaDetector>(DLT_EN10MB, Local));
        detectors.back()->setCallback(countingCallback);
    }
    const Bytes get = frames::buildFrame(frames::request(Get));
    const Bytes head = frames::buildFrame(frames::response(Mp4Head));
    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    for (int i = 0; i < Engines; ++i) {
        threads.emplace_back([&, i] {
            while (!go.load())
                std::this_thread::yield();
            for (int n = 0; n < Streams; ++n) {
                detectors[std::size_t(i)]->analyze(get, n);
                detectors[std::size_t(i)]->analyze(head, n);
            }
        });
    }
    threads.emplace_back([&] {
        go.store(true);
        for (int n = 0; n < Ignored; ++n)
            for (auto &d : detectors)
                d->addIgnoredUrl("media.example/video.mp4", 1);
    });
    for (auto &t : threads)
        t.join();
    // Every ignore entry was either used or is still there.
    int left = 0;
    for (auto &d : detectors)
        left += int(d->ignoredUrlCount());
    QCOMPARE(callbackCalls.load() + (Engines * Ignored - left), Engines * Streams);
    QVERIFY(callbackCalls.load() >= Engines * (Streams - Ignored));
}

QTEST_GUILESS_MAIN(TestMediaDetector)
#include "tst_mediadetector.moc"

#include <QtTest>

#include <atomic>

#include "FrameBuilder.h"
#include "MediaDetector.h"
#include "StreamSorter.h"
#include "TestThreads.h"

using frames::Bytes;
using frames::FrameSpec;

namespace {

const Ipv4Address Local{10, 0, 0, 1};
const QByteArray Get = "GET /video.mp4 HTTP/1.1\r\nHost: media.example\r\nUser-Agent: t\r\n\r\n";
const QByteArray Mp4Head = "HTTP/1.1 200 OK\r\nContent-Type: video/mp4\r\nContent-Length: 123456\r\n\r\n";
// A whole answer in one packet: nothing of its connection is left to follow.
const QByteArray Mp4Whole = "HTTP/1.1 200 OK\r\nContent-Type: video/mp4\r\nContent-Length: 3\r\n\r\nabc";
const QByteArray FlvHead = "HTTP/1.1 200 OK\r\nContent-Type: video/x-flv\r\nContent-Length: 150000\r\n\r\n";

// A frame sent ('>') or received ('<') on a client port, `later` seconds on,
// its layout changed by `shape`; an address ignored `port` times ('i'); or the
// link type of the frames that follow ('L').
struct Step
{
    char kind;
    QByteArray payload;
    int port = 40000; // the ignore count for 'i', the link type for 'L'
    int later = 0;
    void (*shape)(FrameSpec &) = nullptr;
};
using Steps = QList<Step>;

// A detector whose reports land in a list.
struct Probe
{
    MediaDetector detector{DLT_EN10MB, Local};
    QList<MediaReport> reports;
    std::int64_t now = 1000;

    // As in the application: manifests and their pieces go through a sorter.
    streams::StreamSorter sorter;

    Probe()
    {
        detector.setReportSink([this](const MediaReport &r) { reports.append(r); });
        detector.setStreamSorter(&sorter);
    }
    void feed(const FrameSpec &layout) { feed(frames::buildFrame(layout)); }
    // An exactly sized heap copy, so that a read past the end is caught.
    void feed(const Bytes &frame)
    {
        auto copy = std::make_unique<std::uint8_t[]>(frame.size() + 1);
        std::copy(frame.begin(), frame.end(), copy.get());
        detector.analyze({copy.get(), frame.size()}, now);
    }
    // Each direction of each connection continues where its last frame ended,
    // unless a step's shape moves it.
    QHash<QPair<char, int>, std::uint32_t> nextSequence;

    void play(const Steps &steps)
    {
        for (const Step &step : steps) {
            now += step.later;
            if (step.kind == 'i') {
                detector.addIgnoredUrl(step.payload, step.port);
            } else if (step.kind == 'L') {
                detector.setLinkType(step.port);
            } else {
                FrameSpec frame = step.kind == '>' ? frames::request(step.payload, std::uint16_t(step.port))
                                                   : frames::response(step.payload, std::uint16_t(step.port));
                frame.linkType = detector.linkType();
                std::uint32_t &next = nextSequence[{step.kind, step.port}];
                frame.sequence = next ? next : 1000;
                if (step.shape)
                    step.shape(frame);
                next = frame.sequence + std::uint32_t(frame.payload.size());
                feed(frame);
            }
        }
    }
};

// "url|length|type" of a report.
QByteArray summary(const MediaReport &r)
{
    return r.url + '|' + r.contentLength + '|' + r.contentType;
}

std::atomic<int> callbackCalls{0};
void countingCallback(QByteArray url, QByteArray, QByteArray, QByteArray)
{
    if (url == "media.example/video.mp4")
        callbackCalls.fetch_add(1);
}
} // namespace

Q_DECLARE_METATYPE(Steps)

class TestMediaDetector : public QObject
{
    Q_OBJECT

private slots:
    void streams_data()
    {
        QTest::addColumn<Steps>("steps");
        QTest::addColumn<QByteArrayList>("expected");
        QTest::addColumn<int>("pending"); // requests still waiting at the end
        QTest::addColumn<int>("followed"); // connections followed at the end; -1: not this row's concern
        const QByteArray url = "media.example/video.mp4|";
        const auto head = [](const char *type, const QByteArray &rest) -> QByteArray {
            return QByteArray("HTTP/1.1 200 OK\r\nContent-Type: ") + type + "\r\n" + rest;
        };
        const auto answered = [&](const char *name, const QByteArray &response, const QByteArray &expected,
                                  int followed = -1) {
            QTest::newRow(name) << Steps{{'>', Get}, {'<', response}}
                            << (expected.isEmpty() ? QByteArrayList() : QByteArrayList{expected}) << 0 << followed;
        };
        answered("flv without blank line", head("video/x-flv", "Content-Length: 7\r\n"), url + "7\r\n|x-flv\r\n");
        answered("flv by its body", head("application/octet-stream", "Content-Length: 5\r\n\r\nFLV"),
                 url + "5\r\n|x-flv");
        answered("type line without end", "HTTP/1.1 200 OK\r\nContent-Length: 5\r\nContent-Type: video/mp4",
                 url + "5\r\n|");
        answered("examined part holds the type", head("video/mp4", "X-Pad: " + QByteArray(8200, 'a') + "\r\n\r\n"),
                 url + "|mp4\r\n");
        answered("type past the examined part",
                 "HTTP/1.1 200 OK\r\nX-Pad: " + QByteArray(8200, 'a') + "\r\nContent-Type: video/mp4\r\n\r\n", {});
        // Loopback frames of tens of kB: an FLV header's blank line is searched in the whole payload.
        const QByteArray bigFlv = head("video/x-flv", "X-Pad: " + QByteArray(20000, 'p') + "\r\n\r\n");
        answered("flv header beyond the mtu with body", bigFlv + "b", url + "|x-flv\r\n");
        answered("flv header beyond the mtu alone", bigFlv, {}, 1);
        answered("html", head("text/html", "\r\n<html>"), {});
        answered("mpeg frames without a tag or a type", head("application/octet-stream", "\r\n\xff\xfb\x90\x64"), {});
        // Header names in any case, only at the start of a line, with or without blanks.
        const QByteArray ok = "HTTP/1.1 200 OK\r\n";
        answered("names in capitals", ok + "CONTENT-LENGTH: 123456\r\nCONTENT-TYPE: VIDEO/MP4\r\n\r\n",
                 url + "123456\r\n|mp4\r\n");
        answered("Content-type", ok + "Content-type: video/webm\r\nContent-length:123456\r\n\r\n",
                 url + "123456\r\n|webm\r\n");
        answered("tabs and parameters", ok + "Content-Type:\tvideo/mp4; codecs=\"avc1\"\r\n\r\n", url + "|mp4\r\n");
        answered("X-Content-Type is not Content-Type", ok + "X-Content-Type: video/mp4\r\n\r\n<html>", {});
        answered("X-Original-Content-Length is not Content-Length",
                 ok + "X-Original-Content-Length: 999999\r\nContent-Length: 123456\r\nContent-Type: video/mp4\r\n\r\n",
                 url + "123456\r\n|mp4\r\n");
        answered("header lines in the body", ok + "Content-Type: text/plain\r\n\r\nContent-Type: video/mp4\r\n", {});
        // Audio: MPEG audio by its type as MP3, other audio types by their subtype.
        answered("Audio/MP3 by its type", ok + "content-type: Audio/MP3\r\n\r\n", url + "|MP3");
        for (const char *subtype : {"mp4", "aac", "ogg", "webm", "wav", "x-wav", "flac"})
            answered(qPrintable(QString("audio/%1").arg(subtype)), head(qPrintable(QString("audio/%1").arg(subtype)), "\r\n"),
                     url + "|" + subtype + "\r\n");
        answered("audio playlist: a manifest", head("audio/mpegurl", "\r\n#EXTM3U\n"), url + "|HLS");
        // Ranges: the size is the total; without one, the length.
        const QByteArray partial = "HTTP/1.1 206 Partial Content\r\nContent-Type: video/mp4\r\n";
        answered("206 later range", partial + "Content-Length: 1024\r\ncontent-range: bytes 1048576-1049599/7340032\r\n\r\n",
                 url + "7340032\r\n|mp4\r\n");
        answered("206 total too long", partial + "Content-Range: bytes 0-1/1234567890123456789012\r\nContent-Length: 2\r\n\r\n",
                 url + "2\r\n|mp4\r\n");
        answered("200 with a range", head("video/mp4", "Content-Range: bytes 0-9/300000\r\nContent-Length: 10\r\n\r\n"),
                 url + "10\r\n|mp4\r\n");
        // Chunked bodies: the magic follows the first chunk's size line.
        answered("chunked flv", head("application/octet-stream", "transfer-encoding: chunked\r\n\r\n2000\r\nFLV\x01"),
                 url + "|x-flv");

        const auto row = [](const char *name, const Steps &steps, const QByteArrayList &expected, int pending,
                            int followed = -1) {
            QTest::newRow(name) << steps << expected << pending << followed;
        };
        // Streaming manifests: listed whatever their size; their playlists and
        // segments add nothing, segments elsewhere are what they always were.
        const auto get = [](const QByteArray &path, const QByteArray &host = "media.example") -> QByteArray {
            return "GET " + path + " HTTP/1.1\r\nHost: " + host + "\r\n\r\n";
        };
        const QByteArray master = head("application/vnd.apple.mpegurl", "Content-Length: 90\r\n\r\n")
                                  + "#EXTM3U\n#EXT-X-STREAM-INF:BANDWIDTH=1,RESOLUTION=1280x720\np_0.m3u8\n";
        const QByteArray segment = head("video/mp2t", "Content-Length: 500000\r\n\r\nG");
        const Steps listed{{'>', get("/hls/master.m3u8"), 40001}, {'<', master, 40001}};
        row("HLS by its body", {{'>', get("/live?channel=1")}, {'<', head("text/plain", "\r\n\xEF\xBB\xBF#EXTM3U\n")}},
            {"media.example/live?channel=1||HLS"}, 0);
        row("HLS by its body in the next packet",
            {{'>', get("/live?channel=2")}, {'<', head("text/plain", "Content-Length: 30\r\n\r\n")}, {'<', "#EXTM3U\n"}},
            {"media.example/live?channel=2|30\r\n|HLS"}, 0);
        row("DASH by its chunked body in the next packet",
            {{'>', get("/d/live")}, {'<', head("application/xml", "Transfer-Encoding: chunked\r\n\r\n")},
             {'<', "7d\r\n<?xml version=\"1.0\"?>\n<MPD xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
                   "xmlns=\"urn:mpeg:dash:schema:mpd:2011\">"}},
            {"media.example/d/live||DASH"}, 0);
        row("DASH by its type", {{'>', get("/d/manifest")}, {'<', head("application/dash+xml", "\r\n<MPD")}},
            {"media.example/d/manifest||DASH"}, 0);
        row("variant and segments of a listed master", listed + Steps{{'>', get("/hls/p_0.m3u8"), 40002},
                           {'<', head("application/vnd.apple.mpegurl", "\r\n#EXTM3U\n#EXTINF:2,\ns.ts\n"), 40002},
                           {'>', get("/hls/s_0_000.ts"), 40003}, {'<', segment, 40003},
                           {'>', get("/hls/master.m3u8"), 40004}, {'<', master, 40004}},
            {"media.example/hls/master.m3u8|90\r\n|HLS"}, 0);
        row("a segment on another host", listed + Steps{{'>', get("/s_1.ts", "other.example"), 40002}, {'<', segment, 40002}},
            {"media.example/hls/master.m3u8|90\r\n|HLS", "other.example/s_1.ts|500000\r\n|mp2t\r\n"}, 0);
        row("no host: server address", {{'>', "GET /video.flv HTTP/1.0\r\n\r\n"}, {'<', Mp4Head}},
            {"10.0.0.5/video.flv|123456\r\n|mp4\r\n"}, 0);
        row("host in lower case", {{'>', "GET /v.mp4 HTTP/1.1\r\nhost: media.example\r\n\r\n"}, {'<', Mp4Head}},
            {"media.example/v.mp4|123456\r\n|mp4\r\n"}, 0);
        row("X-Forwarded-Host is not Host",
            {{'>', "GET /v.mp4 HTTP/1.1\r\nX-Forwarded-Host: proxy.example\r\nHOST:media.example\r\n\r\n"},
             {'<', Mp4Head}},
            {"media.example/v.mp4|123456\r\n|mp4\r\n"}, 0);
        // Both ends on the local address: loopback traffic to a local server.
        const auto toSelf = [](FrameSpec &f) { f.destination = f.source; };
        const auto fromSelf = [](FrameSpec &f) { f.source = f.destination; };
        row("both ends local", {{'>', Get, 40000, 0, toSelf}, {'<', Mp4Head, 40000, 0, fromSelf}},
            {url + "123456\r\n|mp4\r\n"}, 0);
        // A body that starts in the packet after its head, on the same connection only.
        const QByteArray octets = head("application/octet-stream", "Content-Length: 200000\r\n\r\n");
        row("body start split", {{'>', Get}, {'<', octets + "I"}, {'<', "D3\x04"}}, {url + "200000\r\n|MP3"}, 0);
        row("id3 body on another connection", {{'>', Get}, {'<', octets}, {'<', "ID3\x04", 40001}}, {}, 0, 1);
        row("flv body after another connection's response",
            {{'>', Get}, {'>', "GET /other.mp4 HTTP/1.1\r\nHost: h\r\n\r\n", 40001}, {'<', FlvHead},
             {'<', Mp4Head, 40001}, {'<', "FLV\x01"}},
            {"h/other.mp4|123456\r\n|mp4\r\n", url + "150000\r\n|x-flv"}, 0);
        const auto again = [](FrameSpec &f) { f.sequence -= std::uint32_t(f.payload.size()); };
        const auto skip = [](FrameSpec &f) { f.sequence += 1448; };
        row("retransmitted head", {{'>', Get}, {'<', FlvHead}, {'<', FlvHead, 40000, 0, again}, {'<', "FLV\x01"}},
            {url + "150000\r\n|x-flv"}, 0);
        row("body start missed", {{'>', Get}, {'<', octets}, {'<', "ID3\x04", 40000, 0, skip}}, {}, 0, 1);
        // Without a length, a gap ends the following: later heads are looked for again.
        row("body start missed, no length",
            {{'>', Get}, {'<', head("application/octet-stream", "\r\n")}, {'<', "ID3\x04", 40000, 0, skip},
             {'>', Get, 40000, 1}, {'<', Mp4Head}}, {url + "123456\r\n|mp4\r\n"}, 0, 1);
        row("chunked id3 body in the next packet",
            {{'>', Get}, {'<', head("application/octet-stream", "Transfer-Encoding: chunked\r\n\r\n")},
             {'<', "1f40\r\nID3\x04"}}, {url + "|MP3"}, 0);
        // A body of known length is followed: no head is looked for inside it,
        // and the next may begin where it ends.
        const QByteArray sixBytes = head("text/html", "Content-Length: 6\r\n\r\n");
        row("next head after the body's end",
            {{'>', Get}, {'<', sixBytes}, {'>', Get, 40000, 1}, {'<', "<html>" + Mp4Head}}, {url + "123456\r\n|mp4\r\n"}, 0, 1);
        row("no head inside a body", {{'>', Get}, {'<', octets + "<html>"}, {'>', Get, 40000, 1}, {'<', Mp4Head}}, {}, 1, 1);
        row("body followed to its end", {{'>', Get}, {'<', head("text/plain", "Content-Length: 9\r\n\r\nabc")},
                                         {'<', "def"}, {'<', "ghi"}}, {}, 0, 0);
        row("blank path never reported", {{'>', "GET  /v.mp4 HTTP/1.1\r\nHost: h\r\n\r\n"}, {'<', Mp4Head}}, {}, 0);
        for (int gap : {60, 61, 300}) // ageing happens only when another request is added
            row(qPrintable(QString("answer after %1 s").arg(gap)), {{'>', Get}, {'>', Get, 40001, gap}, {'<', Mp4Head}},
                QByteArrayList(gap < 61 ? 1 : 0, url + "123456\r\n|mp4\r\n"), 1);
        row("no ageing without new requests", {{'>', Get}, {'<', Mp4Head, 40000, 10000}},
            {url + "123456\r\n|mp4\r\n"}, 0);
        row("pipelined, in order", {{'>', "GET /1.mp4 HTTP/1.1\r\nHost: h\r\n\r\n"},
                                    {'>', "GET /2.mp4 HTTP/1.1\r\nHost: h\r\n\r\n"}, {'<', Mp4Whole}, {'<', Mp4Whole}},
            {"h/1.mp4|3\r\n|mp4\r\n", "h/2.mp4|3\r\n|mp4\r\n"}, 0, 0);
        row("flv continuation only at the body's start",
            {{'>', Get}, {'<', head("video/x-flv", "\r\n")}, {'<', "xFLV"}, {'<', "FLV"}, {'<', "FLV"}}, {}, 0);
        row("each response takes one request", {{'>', Get}, {'<', head("text/html", "\r\n")}, {'<', Mp4Head}}, {}, 0);
        row("outgoing is never a response", {{'>', Get}, {'>', Mp4Head}}, {}, 1);
        row("answer on another connection", {{'>', Get}, {'<', Mp4Head, 40001}}, {}, 1);
        for (const QByteArray &tiny : {QByteArray("F"), QByteArray("FL"), QByteArray("HTTP"), QByteArray()})
            row(QByteArray("short payload " + tiny).constData(),
                {{'>', Get}, {'<', FlvHead}, {'<', tiny}, {'>', tiny}}, {}, 0);
        row("line feed in the path", {{'>', "GET /a\nb.mp4 HTTP/1.1\r\nHost: h\r\n\r\n"}, {'<', Mp4Head}}, {}, 0);
        row("control byte in the host", {{'>', "GET /a.mp4 HTTP/1.1\r\nHost: h\x01x\r\n\r\n"}, {'<', Mp4Head}}, {}, 0);
        // "h" plus the path: 4095 characters fit, 4096 do not.
        for (int length : {4094, 4095, 8000}) {
            const QByteArray path = "/" + QByteArray(length - 1, 'v');
            row(qPrintable(QString("path of %1").arg(length)), {{'>', "GET " + path + " HTTP/1.1\r\nHost: h\r\n\r\n"},
                                                                 {'<', Mp4Head}},
                length == 4094 ? QByteArrayList{"h" + path + "|123456\r\n|mp4\r\n"} : QByteArrayList{}, 0);
        }
        for (int count : {-2, 0, 1, 3}) { // the next count reports of the address are the program's own
            Steps steps{{'i', "media.example/video.mp4", count}, {'i', "media.example/other.mp4", 1}};
            for (int i = 0; i < 5; ++i)
                steps << Step{'>', Get, 40000 + i} << Step{'<', Mp4Head, 40000 + i};
            row(qPrintable(QString("ignored %1 times").arg(count)), steps,
                QByteArrayList(5 - qMax(count, 0), url + "123456\r\n|mp4\r\n"), 0);
        }
        // A request and an answer in an odd layout, among plain ones.
        const auto layout = [&](const char *name, void (*shape)(FrameSpec &), bool valid) {
            row(name, {{'>', Get, 40000, 0, shape}, {'>', Get, 40001}, {'<', Mp4Head, 40001, 0, shape}, {'<', Mp4Head}},
                QByteArrayList(valid ? 2 : 0, url + "123456\r\n|mp4\r\n"), valid ? 0 : 1);
        };
        layout("ip options", [](FrameSpec &f) { f.ipHeaderLength = 24; }, true);
        layout("tcp options", [](FrameSpec &f) { f.tcpHeaderLength = 32; }, true);
        layout("vlan tag", [](FrameSpec &f) { f.vlan = true; }, true);
        layout("ip header 16", [](FrameSpec &f) { f.ipHeaderLength = 16; }, false);
        layout("ip version 6", [](FrameSpec &f) { f.ipVersion = 6; }, false);
        layout("udp", [](FrameSpec &f) { f.protocol = 17; }, false);
        layout("later fragment", [](FrameSpec &f) { f.fragment = 0x00b9; }, false);
        for (int link : {DLT_LINUX_SLL, DLT_LINUX_SLL2, DLT_RAW, DLT_IPV4, DLT_NULL, DLT_LOOP, DLT_IEEE802_11})
            row(qPrintable(QString("link type %1").arg(link)), {{'L', {}, link}, {'>', Get}, {'<', Mp4Head}},
                link == DLT_IEEE802_11 ? QByteArrayList() : QByteArrayList{url + "123456\r\n|mp4\r\n"}, 0);
        Steps flood; // requests whose answers never come do not pile up: the oldest go
        const int newest = 10000 + int(MediaDetector::MaxPendingRequests) + 100;
        for (int port = 10000; port <= newest; ++port)
            flood << Step{'>', Get, port};
        flood << Step{'<', Mp4Head, 10000} << Step{'<', Mp4Head, newest};
        row("pending requests capped", flood, {url + "123456\r\n|mp4\r\n"}, int(MediaDetector::MaxPendingRequests) - 1);
        Steps heads; // nor do heads whose bodies never come
        const int last = 10000 + int(ConnectionTable::MaxConnections) + 100;
        for (int port = 10000; port <= last; ++port)
            heads << Step{'>', Get, port} << Step{'<', octets, port};
        heads << Step{'<', "ID3", 10000} << Step{'<', "ID3", last};
        row("followed connections capped", heads, {url + "200000\r\n|MP3"}, 0, int(ConnectionTable::MaxConnections));
        row("followed connections age", {{'>', Get}, {'<', octets}, {'>', Get, 40001, 61}, {'<', octets, 40001},
                                        {'<', "ID3"}, {'<', "ID3", 40001}},
            {url + "200000\r\n|MP3"}, 0, 1);
    }

    void streams()
    {
        QFETCH(Steps, steps);
        QFETCH(QByteArrayList, expected);
        QFETCH(int, pending);
        QFETCH(int, followed);
        Probe probe;
        probe.play(steps);
        QByteArrayList seen;
        for (const MediaReport &r : std::as_const(probe.reports)) {
            seen << summary(r);
            // The header block is the whole request when its blank line came in.
            const auto request = std::find_if(steps.cbegin(), steps.cend(), [&](const Step &s) {
                return s.kind == '>' && s.payload.contains(QByteArray(r.url.mid(r.url.indexOf('/')) + ' '));
            });
            QVERIFY(request != steps.cend());
            QCOMPARE(r.header, request->payload.endsWith("\r\n\r\n") ? request->payload : QByteArray());
        }
        QCOMPARE(seen, expected);
        QCOMPARE(probe.detector.pendingRequestCount(), std::size_t(pending));
        if (followed >= 0)
            QCOMPARE(probe.detector.connectionCount(), std::size_t(followed));
    }

    void truncatedAtEveryOffset()
    {
        const QByteArray response = FlvHead + "FLV";
        const Bytes get = frames::buildFrame(frames::request(Get));
        const Bytes head = frames::buildFrame(frames::response(response));
        const std::size_t headers = 14 + 20 + 20;
        const qsizetype hostEnd = Get.indexOf("example\r\n") + 9;
        for (std::size_t cut = 0; cut <= get.size(); ++cut) {
            Probe probe;
            probe.feed(Bytes(get.begin(), get.begin() + std::ptrdiff_t(cut)));
            // A request is kept once its path, the blank after it and one more byte are in.
            const std::size_t kept = probe.detector.pendingRequestCount();
            QCOMPARE(kept, cut >= headers + 16 ? 1u : 0u);
            probe.feed(head);
            QCOMPARE(probe.reports.size(), int(kept));
            if (kept) {
                const QByteArray seen = Get.left(qsizetype(cut - headers));
                QCOMPARE(probe.reports[0].header, seen.endsWith("\r\n\r\n") ? seen : QByteArray());
                // The Host line counts once its line end and one more byte are in.
                QCOMPARE(probe.reports[0].url, seen.size() > hostEnd ? QByteArray("media.example/video.mp4")
                                                                     : QByteArray("10.0.0.5/video.mp4"));
            }
        }
        for (std::size_t cut = 0; cut <= head.size(); ++cut) {
            Probe probe;
            probe.feed(get);
            probe.feed(Bytes(head.begin(), head.begin() + std::ptrdiff_t(cut)));
            QVERIFY(probe.reports.size() <= 1);
            for (const MediaReport &r : std::as_const(probe.reports))
                QVERIFY(r.contentLength.isEmpty()
                        || (response.contains(r.contentLength) && r.contentLength.endsWith("\r\n")));
        }
    }

    // Capture threads share one callback while another thread fills their ignore lists.
    void callbackAndIgnoreListAcrossThreads()
    {
        constexpr int Engines = 3, Streams = 400, Ignored = 150;
        callbackCalls = 0;
        std::vector<std::unique_ptr<MediaDetector>> detectors;
        for (int i = 0; i < Engines; ++i) {
            detectors.push_back(std::make_unique<MediaDetector>(DLT_EN10MB, Local));
            detectors.back()->setCallback(countingCallback);
        }
        const Bytes get = frames::buildFrame(frames::request(Get));
        const Bytes head = frames::buildFrame(frames::response(Mp4Whole));
        QVERIFY(runOnThreads(Engines + 1, [&](int t) {
            for (int n = 0; t < Engines && n < Streams; ++n) {
                detectors[t]->analyze(get, n);
                detectors[t]->analyze(head, n);
            }
            for (int n = 0; t == Engines && n < Ignored; ++n) {
                for (auto &detector : detectors)
                    detector->addIgnoredUrl("media.example/video.mp4", 1);
            }
        }));
        // Every ignore entry was either used or is still there.
        int left = 0;
        for (auto &detector : detectors)
            left += int(detector->ignoredUrlCount());
        QCOMPARE(callbackCalls.load() + (Engines * Ignored - left), Engines * Streams);
        QVERIFY(callbackCalls.load() >= Engines * (Streams - Ignored));
    }
};

QTEST_GUILESS_MAIN(TestMediaDetector)
#include "tst_mediadetector.moc"

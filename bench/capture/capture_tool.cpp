// Command-line companion of the capture library: generates capture files,
// replays them through the analysis, times the analysis against a bare read
// of the same file, writes fuzzer seeds, and measures a live loopback
// transfer.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>

#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <pcap/pcap.h>

#include "CVideoSniffer.h"
#include "CaptureFile.h"
#include "FrameBuilder.h"
#include "MediaDetector.h"
#include "StreamSorter.h"
#include "MediaFixture.h"

namespace {

using Clock = std::chrono::steady_clock;

// Writes the classic capture file format, microsecond time stamps.
class CaptureWriter
{
public:
    CaptureWriter(const std::string &path, int linkType, std::uint32_t snapLength = 65535)
        : m_file(std::fopen(path.c_str(), "wb"))
    {
        if (!m_file)
            return;
        const std::uint32_t magic = 0xa1b2c3d4;
        const std::uint16_t major = 2, minor = 4;
        const std::int32_t zone = 0;
        const std::uint32_t sigfigs = 0;
        const auto link = std::uint32_t(dltToLinkType(linkType));
        std::fwrite(&magic, 4, 1, m_file);
        std::fwrite(&major, 2, 1, m_file);
        std::fwrite(&minor, 2, 1, m_file);
        std::fwrite(&zone, 4, 1, m_file);
        std::fwrite(&sigfigs, 4, 1, m_file);
        std::fwrite(&snapLength, 4, 1, m_file);
        std::fwrite(&link, 4, 1, m_file);
    }
    ~CaptureWriter()
    {
        if (m_file)
            std::fclose(m_file);
    }
    CaptureWriter(const CaptureWriter &) = delete;
    CaptureWriter &operator=(const CaptureWriter &) = delete;

    bool isOpen() const { return m_file != nullptr; }

    void write(const std::uint8_t *data, std::size_t size, std::uint32_t seconds, std::uint32_t micros = 0)
    {
        const auto length = std::uint32_t(size);
        std::fwrite(&seconds, 4, 1, m_file);
        std::fwrite(&micros, 4, 1, m_file);
        std::fwrite(&length, 4, 1, m_file);
        std::fwrite(&length, 4, 1, m_file);
        std::fwrite(data, 1, size, m_file);
    }
    void write(const frames::Bytes &frame, std::uint32_t seconds, std::uint32_t micros = 0)
    {
        write(frame.data(), frame.size(), seconds, micros);
    }

    bool close()
    {
        const bool ok = m_file && std::fclose(m_file) == 0;
        m_file = nullptr;
        return ok;
    }

private:
    static int dltToLinkType(int dlt)
    {
        switch (dlt) {
        case DLT_RAW:
            return 101;
        case DLT_LOOP:
            return 108;
        default:
            return dlt;
        }
    }

    std::FILE *m_file;
};

void quietHandler(QtMsgType, const QMessageLogContext &, const QString &) {}

int usage()
{
    std::fprintf(stderr,
                 "usage: capture_tool generate OUT.pcap MEGABYTES [segments]\n"
                 "       capture_tool replay FILE [LOCAL_ADDRESS]\n"
                 "       capture_tool bench FILE [LOCAL_ADDRESS]\n"
                 "       capture_tool seeds DIR [FILE.pcap ...]\n"
                 "       capture_tool live MEGABYTES\n"
                 "       capture_tool flood CONNECTIONS\n");
    return 2;
}

// Mixed traffic of a machine at 10.1.0.2: HTTP media and page fetches with
// their bodies and acknowledgements, and encrypted-looking traffic on 443.
int generate(const char *path, long megabytes, bool segments)
{
    const int linkType = DLT_EN10MB;
    CaptureWriter out(path, linkType);
    if (!out.isOpen()) {
        std::perror(path);
        return 1;
    }
    std::mt19937 random(20260);
    QByteArray pool(1 << 16, Qt::Uninitialized);
    for (char &c : pool)
        c = char(random());
    const auto poolSlice = [&](std::size_t size) {
        const std::size_t at = random() % (std::size_t(pool.size()) - size);
        return pool.mid(qsizetype(at), qsizetype(size));
    };

    const Ipv4Address local{10, 1, 0, 2};
    const unsigned long long limit = (unsigned long long)megabytes * 1024 * 1024;
    unsigned long long written = 24;
    std::uint32_t seconds = 1700000000, micros = 0;
    std::uint16_t clientPort = 1024;
    unsigned long long sessions = 0;
    std::vector<bool> listed(256, false);
    const auto writeFrame = [&](const frames::FrameSpec &layout) {
        const frames::Bytes frame = frames::buildFrame(layout);
        out.write(frame, seconds, micros);
        written += 16 + frame.size();
        micros += 7;
        if (micros >= 1000000) {
            micros -= 1000000;
            ++seconds;
        }
    };
    static const char *const types[] = {"video/mp4", "video/x-flv", "audio/mpeg", "text/html", "image/jpeg",
                                        "video/webm"};
    while (written < limit) {
        ++sessions;
        clientPort = std::uint16_t(clientPort == 65535 ? 1024 : clientPort + 1);
        const Ipv4Address server{10, 2, std::uint8_t(random() % 200), std::uint8_t(1 + random() % 250)};
        const char *type = types[random() % std::size(types)];
        QByteArray mediaPath = "/media/" + QByteArray::number(sessions) + "/file.bin";
        if (segments) {
            // A player on each host: its manifest first, then only segments.
            if (!listed[server[2]]) {
                listed[server[2]] = true;
                type = "application/vnd.apple.mpegurl";
                mediaPath = "/live/index.m3u8";
            } else {
                type = "video/mp2t";
                mediaPath = "/live/seg" + QByteArray::number(sessions) + ".ts";
            }
        }

        frames::FrameSpec get;
        get.source = local;
        get.destination = server;
        get.sourcePort = clientPort;
        get.destinationPort = 80;
        get.payload = "GET " + mediaPath + " HTTP/1.1\r\nHost: cdn" + QByteArray::number(server[2])
                      + ".example\r\nUser-Agent: Mozilla/5.0 (X11; Linux x86_64)\r\nAccept: */*\r\n"
                        "Accept-Language: en\r\nConnection: keep-alive\r\n\r\n";
        writeFrame(get);

        frames::FrameSpec reply;
        reply.source = server;
        reply.destination = local;
        reply.sourcePort = 80;
        reply.destinationPort = clientPort;
        reply.sequence = std::uint32_t(random());
        const int bodyPackets = 20 + int(random() % 200);
        // Servers write header names in their own case.
        QByteArray head = QByteArray("HTTP/1.1 200 OK\r\nServer: edge\r\n")
                          + (sessions % 2 ? "Content-Type: " : "content-type: ") + type
                          + "\r\nContent-Length: " + QByteArray::number(bodyPackets * 1448)
                          + "\r\nCache-Control: max-age=3600\r\n\r\n";
        const bool audio = qstrcmp(type, "audio/mpeg") == 0;
        const bool flv = qstrcmp(type, "video/x-flv") == 0;
        reply.payload = head + (flv ? QByteArray() : (audio ? QByteArray("ID3\x04") : poolSlice(600)));
        const auto writeReply = [&] {
            writeFrame(reply);
            reply.sequence += std::uint32_t(reply.payload.size());
        };
        writeReply();

        frames::FrameSpec ack;
        ack.source = local;
        ack.destination = server;
        ack.sourcePort = clientPort;
        ack.destinationPort = 80;
        for (int i = 0; i < bodyPackets && written < limit; ++i) {
            reply.payload = (i == 0 && flv) ? "FLV\x01\x05" + poolSlice(1443) : poolSlice(1448);
            writeReply();
            if (i % 2)
                writeFrame(ack);
            if (i % 16 == 0) {
                frames::FrameSpec tls;
                tls.source = (i % 32) ? local : Ipv4Address{10, 3, 0, 9};
                tls.destination = (i % 32) ? Ipv4Address{10, 3, 0, 9} : local;
                tls.sourcePort = (i % 32) ? 50000 : 443;
                tls.destinationPort = (i % 32) ? 443 : 50000;
                tls.payload = poolSlice(100 + random() % 1300);
                writeFrame(tls);
            }
        }
        if (sessions % 50 == 0) {
            // Loopback-sized frame from segmentation offload.
            reply.payload = poolSlice(16000);
            writeReply();
        }
    }
    if (!out.close()) {
        std::perror(path);
        return 1;
    }
    std::printf("wrote %s: %llu bytes, %llu sessions\n", path, written, sessions);
    return 0;
}

std::optional<Ipv4Address> localArgument(int argc, char **argv, int at, const char *fallback)
{
    return parseIpv4(QByteArray(at < argc ? argv[at] : fallback));
}

int replay(const char *path, const Ipv4Address &local)
{
    // As the application analyses: a stream's manifest is its row, its playlists and segments none.
    MediaDetector detector(MediaDetector::defaultLinkType(), local);
    streams::StreamSorter sorter;
    detector.setStreamSorter(&sorter);
    const CaptureFileResult result = readCaptureFile(QFile::decodeName(path), detector);
    if (!result.ok) {
        std::fprintf(stderr, "%s\n", qPrintable(result.error));
        return 1;
    }
    for (const MediaReport &r : result.reports)
        std::printf("%s\t%s\t%s\n", r.url.constData(), r.contentLength.trimmed().constData(),
                    r.contentType.trimmed().constData());
    std::printf("%llu packets, %lld reports\n", (unsigned long long)result.packets, (long long)result.reports.size());
    return 0;
}

struct Pass
{
    double seconds = 0;
    unsigned long long packets = 0;
    unsigned long long bytes = 0;
    unsigned long long reports = 0;
};

Pass runPass(const char *path, MediaDetector *detector)
{
    Pass pass;
    char error[PCAP_ERRBUF_SIZE];
    pcap_t *file = pcap_open_offline(path, error);
    if (!file) {
        std::fprintf(stderr, "%s\n", error);
        std::exit(1);
    }
    if (detector)
        detector->setLinkType(pcap_datalink(file));
    pcap_pkthdr *header;
    const u_char *data;
    const auto start = Clock::now();
    unsigned long long checksum = 0;
    while (pcap_next_ex(file, &header, &data) > 0) {
        ++pass.packets;
        pass.bytes += header->caplen;
        if (detector)
            detector->analyze({data, header->caplen}, header->ts.tv_sec);
        else
            checksum += data[header->caplen / 2];
    }
    pass.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    pcap_close(file);
    if (detector)
        pass.reports = detector->reportCount();
    if (checksum == 1)
        std::printf(" ");
    return pass;
}

int bench(const char *path, const Ipv4Address &local)
{
    qInstallMessageHandler(quietHandler);
    // Warm the page cache, then keep the best of three passes each.
    runPass(path, nullptr);
    Pass bare, ours;
    for (int round = 0; round < 3; ++round) {
        const Pass b = runPass(path, nullptr);
        if (round == 0 || b.seconds < bare.seconds)
            bare = b;
        MediaDetector detector(DLT_EN10MB, local);
        detector.setReportSink([](const MediaReport &) {});
        // As in the application: manifests and their segments are sorted.
        streams::StreamSorter sorter;
        detector.setStreamSorter(&sorter);
        const Pass o = runPass(path, &detector);
        if (round == 0 || o.seconds < ours.seconds)
            ours = o;
    }
    const double barePps = double(bare.packets) / bare.seconds;
    const double oursPps = double(ours.packets) / ours.seconds;
    std::printf("packets %llu, bytes %llu, reports %llu\n", bare.packets, bare.bytes, ours.reports);
    std::printf("bare pcap_next_ex loop: %.3f s, %.0f packets/s, %.0f MB/s\n", bare.seconds, barePps,
                double(bare.bytes) / bare.seconds / 1e6);
    std::printf("media analysis:         %.3f s, %.0f packets/s, %.0f MB/s\n", ours.seconds, oursPps,
                double(ours.bytes) / ours.seconds / 1e6);
    std::printf("ratio analysis/bare: %.3f\n", oursPps / barePps);
    return 0;
}

// Heads of 100000 connections whose bodies never come, one new connection a
// millisecond of capture time: the table of waiting connections must stay
// within its bound, and the analysis must not slow down as it fills.
int flood(long connections)
{
    qInstallMessageHandler(quietHandler);
    const Ipv4Address local{10, 1, 0, 2};
    MediaDetector detector(DLT_EN10MB, local);
    detector.setReportSink([](const MediaReport &) {});
    std::size_t peak = 0;
    const auto start = Clock::now();
    for (long n = 0; n < connections; ++n) {
        frames::FrameSpec get = frames::request("GET /f/" + QByteArray::number(qlonglong(n))
                                                    + " HTTP/1.1\r\nHost: flood.example\r\n\r\n",
                                                std::uint16_t(1024 + n % 60000));
        get.source = local;
        get.destination = {10, 2, std::uint8_t(n / 60000), 1};
        frames::FrameSpec head = frames::response("HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\n"
                                                  "Content-Length: 500000\r\n\r\n",
                                                  get.sourcePort);
        head.source = get.destination;
        head.destination = local;
        const std::int64_t now = 1700000000 + n / 1000;
        detector.analyze(frames::buildFrame(get), now);
        detector.analyze(frames::buildFrame(head), now);
        peak = std::max(peak, detector.connectionCount());
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::printf("flood of %ld connections waiting for a body: peak table size %zu (bound %zu), %.2f us a connection\n",
                connections, peak, ConnectionTable::MaxConnections, seconds * 1e6 / double(connections));
    return peak <= ConnectionTable::MaxConnections ? 0 : 1;
}

// Each seed is a fuzzer input: one link-type byte (high bit for a local
// address of 127.0.0.1), then records of a time
// step byte, a two-byte little-endian length and the frame.
void appendRecord(QByteArray &seed, const frames::Bytes &frame, std::uint8_t step)
{
    const std::size_t size = std::min<std::size_t>(frame.size(), 65535);
    seed.append(char(step));
    seed.append(char(size & 0xff));
    seed.append(char(size >> 8));
    seed.append(reinterpret_cast<const char *>(frame.data()), qsizetype(size));
}

bool writeSeed(const QString &dir, const QString &name, const QByteArray &seed)
{
    QFile file(dir + QLatin1Char('/') + name);
    return file.open(QIODevice::WriteOnly) && file.write(seed) == seed.size();
}

int seeds(const char *dir, int argc, char **argv)
{
    QDir().mkpath(QFile::decodeName(dir));
    const QString out = QFile::decodeName(dir);
    using frames::request;
    using frames::response;
    const QByteArray get = "GET /v.mp4 HTTP/1.1\r\nHost: h.example\r\nAccept: */*\r\n\r\n";
    struct Crafted
    {
        const char *name;
        QList<QByteArray> responses;
    };
    const QList<Crafted> crafted = {
        {"mp4", {"HTTP/1.1 200 OK\r\nContent-Type: video/mp4\r\nContent-Length: 1234567\r\n\r\n"}},
        {"flv-split", {"HTTP/1.1 200 OK\r\nContent-Type: video/x-flv\r\nContent-Length: 150000\r\n\r\n", "FLV\x01"}},
        {"flv-body", {"HTTP/1.1 200 OK\r\nContent-Type: video/x-flv\r\n\r\nFLV\x01"}},
        {"mp3", {"HTTP/1.1 200 OK\r\nContent-Length: 300000\r\nContent-Type: audio/mpeg\r\n\r\nID3\x04"}},
        {"html", {"HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\n<html>"}},
        {"case", {"HTTP/1.1 200 OK\r\ncontent-type: Audio/OGG; codecs=opus\r\nCONTENT-LENGTH:\t99\r\n\r\n"}},
        {"id3-split", {"HTTP/1.1 200 OK\r\nContent-type: application/octet-stream\r\n\r\nI", "D3\x04"}},
        {"chunked-split", {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n", "1f40\r\nFLV\x01"}},
        {"range", {"HTTP/1.1 206 Partial Content\r\nContent-Type: video/webm\r\nContent-Range: bytes 0-99/7340032\r\n"
                   "Content-Length: 100\r\n\r\n"}},
    };
    int count = 0;
    for (const Crafted &c : crafted) {
        QByteArray seed(1, '\0');
        appendRecord(seed, frames::buildFrame(request(get)), 0);
        // Responses continue their connection's sequence: a body after its head.
        std::uint32_t sequence = 1000;
        for (const QByteArray &r : c.responses) {
            frames::FrameSpec frame = response(r);
            frame.sequence = sequence;
            sequence += std::uint32_t(r.size());
            appendRecord(seed, frames::buildFrame(frame), 1);
        }
        count += writeSeed(out, QString::fromLatin1(c.name), seed);
    }
    // Ageing: a request, a long pause, another request, then the answer.
    QByteArray ageing(1, '\0');
    appendRecord(ageing, frames::buildFrame(request(get, 1000)), 0);
    appendRecord(ageing, frames::buildFrame(request(get, 1001)), 61);
    appendRecord(ageing, frames::buildFrame(response(crafted[0].responses[0], 1000)), 1);
    count += writeSeed(out, QStringLiteral("ageing"), ageing);
    // Other link types.
    for (int selector = 1; selector < 7; ++selector) {
        static const int links[] = {DLT_EN10MB, DLT_LINUX_SLL, DLT_LINUX_SLL2, DLT_RAW, DLT_IPV4, DLT_NULL, DLT_LOOP};
        frames::FrameSpec g = request(get), r = response(crafted[0].responses[0]);
        g.linkType = r.linkType = links[selector];
        QByteArray seed(1, char(selector));
        appendRecord(seed, frames::buildFrame(g), 0);
        appendRecord(seed, frames::buildFrame(r), 0);
        count += writeSeed(out, QStringLiteral("link-%1").arg(selector), seed);
    }
    // Real traffic: consecutive frames of each recording, shortened.
    for (int i = 0; i < argc; ++i) {
        char error[PCAP_ERRBUF_SIZE];
        pcap_t *file = pcap_open_offline(argv[i], error);
        if (!file) {
            std::fprintf(stderr, "%s\n", error);
            continue;
        }
        pcap_pkthdr *header;
        const u_char *data;
        QByteArray seed(1, '\x80');
        int frames = 0, part = 0;
        while (pcap_next_ex(file, &header, &data) > 0) {
            const std::size_t size = std::min<std::size_t>(header->caplen, 2048);
            appendRecord(seed, frames::Bytes(data, data + size), 0);
            if (++frames == 12) {
                count += writeSeed(out, QStringLiteral("real-%1-%2").arg(i).arg(part++), seed);
                seed = QByteArray(1, '\x80');
                frames = 0;
            }
        }
        if (frames)
            count += writeSeed(out, QStringLiteral("real-%1-%2").arg(i).arg(part), seed);
        pcap_close(file);
    }
    std::printf("%d seeds in %s\n", count, dir);
    return 0;
}

bool bringLoopbackUp()
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ifreq request{};
    qstrncpy(request.ifr_name, "lo", IFNAMSIZ);
    bool ok = fd >= 0 && ::ioctl(fd, SIOCGIFFLAGS, &request) == 0;
    request.ifr_flags |= IFF_UP;
    ok = ok && ::ioctl(fd, SIOCSIFFLAGS, &request) == 0;
    if (fd >= 0)
        ::close(fd);
    return ok;
}

std::atomic<int> liveReports{0};
void countReport(QByteArray, QByteArray, QByteArray, QByteArray)
{
    liveReports.fetch_add(1);
}

// A loopback transfer at full speed in a private network namespace, with
// one engine capturing it.
int live(long megabytes)
{
    if (::unshare(CLONE_NEWNET) != 0 || !bringLoopbackUp()) {
        std::perror("private network namespace");
        return 1;
    }
    qInstallMessageHandler(quietHandler);
    MediaFixture server("127.0.0.2");
    if (!server.start({.media = false})
        || !server.route("big.mp4", {.headers = {"Content-Type: video/mp4"}, .made = qint64(megabytes) << 20})) {
        std::fprintf(stderr, "%s\n", qPrintable(server.errorString()));
        return 1;
    }
    const QString url = server.url("big.mp4");

    const auto timeCurl = [&] {
        QProcess curl;
        const auto start = Clock::now();
        curl.start(QStringLiteral("curl"), {"-s", "-f", "--noproxy", "*", "-o", "/dev/null", url});
        const bool ok = curl.waitForFinished(600000) && curl.exitCode() == 0;
        return ok ? std::chrono::duration<double>(Clock::now() - start).count() : -1.0;
    };
    const double without = timeCurl();
    auto engine = std::make_unique<CVideoSniffer>("lo");
    if (!engine->isCapturing())
        return 1;
    engine->registerCallback(countReport);
    const double with = timeCurl();
    QThread::msleep(300);
    engine->requestStop();
    while (!engine->loopFinished())
        QThread::msleep(5);
    const unsigned long long captured = engine->capturedPackets(), dropped = engine->droppedPackets();
    engine.reset();
    std::printf("engine: %llu packets captured, %llu dropped by the kernel\n", captured, dropped);
    std::printf("transfer of %ld MB: %.2f s without capture (%.0f MB/s), %.2f s with capture (%.0f MB/s)\n",
                megabytes, without, megabytes / without, with, megabytes / with);
    std::printf("ratio with/without: %.3f, reports %d\n", without / with, liveReports.load());
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 3)
        return usage();
    const QByteArray command = argv[1];
    if (command == "generate" && (argc == 4 || argc == 5))
        return generate(argv[2], std::strtol(argv[3], nullptr, 10), argc > 4 && qstrcmp(argv[4], "segments") == 0);
    if (command == "replay" || command == "bench") {
        const auto local = localArgument(argc, argv, 3, command == "bench" ? "10.1.0.2" : "127.0.0.1");
        if (!local)
            return usage();
        return command == "replay" ? replay(argv[2], *local) : bench(argv[2], *local);
    }
    if (command == "seeds")
        return seeds(argv[2], argc - 3, argv + 3);
    if (command == "live")
        return live(std::strtol(argv[2], nullptr, 10));
    if (command == "flood")
        return flood(std::strtol(argv[2], nullptr, 10));
    return usage();
}

// Feeds sequences of frames to the media analysis. Input: one byte choosing
// the link type (high bit: the local address is 127.0.0.1, else 10.0.0.1),
// then records of a step byte, a two-byte little-endian length and the frame
// bytes. The step byte's low six bits move the clock; bit 6 makes an
// Ethernet frame continue the previous one's TCP sequence (so that bodies in
// the packet after their head are reached); bit 7 also ignores one URL. Each
// frame is copied to a buffer of exactly its size so that any read past the
// captured length is caught.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include <QByteArray>
#include <QtGlobal>

#include <pcap/pcap.h>

#include "MediaDetector.h"
#include "StreamSorter.h"

namespace {

void quiet(QtMsgType, const QMessageLogContext &, const QString &) {}

void check(const MediaReport &r)
{
    // What reaches the page: a bounded, printable URL and complete lines.
    if (r.url.isEmpty() || r.url.size() > MediaDetector::MaxUrlLength)
        std::abort();
    for (const char c : r.url)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            std::abort();
    if (!r.contentLength.isEmpty() && !r.contentLength.endsWith("\r\n"))
        std::abort();
    if (!r.header.isEmpty() && !r.header.endsWith("\r\n\r\n"))
        std::abort();
}

// Where the TCP header of an untagged Ethernet IPv4 frame starts, if it fits.
std::size_t tcpOffset(const std::uint8_t *frame, std::size_t size)
{
    if (size < 54 || frame[12] != 0x08 || frame[13] != 0x00)
        return 0;
    const std::size_t tcp = 14 + std::size_t(frame[14] & 15) * 4;
    return tcp >= 34 && size >= tcp + 20 ? tcp : 0;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    qInstallMessageHandler(quiet);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static const int links[] = {DLT_EN10MB, DLT_LINUX_SLL, DLT_LINUX_SLL2, DLT_RAW,
                                DLT_IPV4,   DLT_NULL,      DLT_LOOP,       DLT_IEEE802_11};
    if (size < 1)
        return 0;
    const Ipv4Address local = (data[0] & 0x80) ? Ipv4Address{127, 0, 0, 1} : Ipv4Address{10, 0, 0, 1};
    MediaDetector detector(links[(data[0] & 0x7f) % std::size(links)], local);
    detector.setReportSink(check);
    // Manifests and segments take the sorter's path, as in the application.
    streams::StreamSorter sorter(streams::StreamGroups::Limits{8, 32, 60000});
    detector.setStreamSorter(&sorter);
    std::int64_t now = 1000;
    std::uint32_t nextSequence = 0;
    std::size_t at = 1;
    while (size - at >= 3) {
        const std::uint8_t step = data[at];
        const std::size_t length = std::size_t(data[at + 1]) | (std::size_t(data[at + 2]) << 8);
        at += 3;
        const std::size_t take = length < size - at ? length : size - at;
        now += step & 0x3f;
        if (step & 0x80)
            detector.addIgnoredUrl("h.example/v.mp4", 1);
        auto frame = std::make_unique<std::uint8_t[]>(take ? take : 1);
        std::memcpy(frame.get(), data + at, take);
        if (const std::size_t tcp = tcpOffset(frame.get(), take)) {
            if (step & 0x40) {
                for (int i = 0; i < 4; ++i)
                    frame[tcp + 4 + std::size_t(i)] = std::uint8_t(nextSequence >> (24 - 8 * i));
            }
            const std::size_t payload = tcp + std::size_t(frame[tcp + 12] >> 4) * 4;
            nextSequence = (std::uint32_t(frame[tcp + 4]) << 24 | std::uint32_t(frame[tcp + 5]) << 16
                            | std::uint32_t(frame[tcp + 6]) << 8 | frame[tcp + 7])
                           + std::uint32_t(payload < take ? take - payload : 0);
        }
        detector.analyze({frame.get(), take}, now);
        // Both tables stay within their bounds whatever comes.
        if (detector.connectionCount() > ConnectionTable::MaxConnections
            || detector.pendingRequestCount() > MediaDetector::MaxPendingRequests)
            std::abort();
        at += take;
    }
    return 0;
}

#pragma once

// Builds captured frames for the tests, the fuzzer's seeds and the
// benchmark's generated traffic.

#include <cstdint>
#include <cstring>
#include <vector>

#include <QByteArray>

#include <pcap/pcap.h>

#include "Ipv4Address.h"

namespace frames {

using Bytes = std::vector<std::uint8_t>;

struct FrameSpec
{
    Ipv4Address source{10, 0, 0, 1};
    Ipv4Address destination{10, 0, 0, 5};
    std::uint16_t sourcePort = 40000;
    std::uint16_t destinationPort = 80;
    QByteArray payload;
    int linkType = DLT_EN10MB;
    std::uint16_t etherType = 0x0800;
    int ipVersion = 4;
    int ipHeaderLength = 20;  // bytes; written as length / 4
    int tcpHeaderLength = 20; // bytes; written as length / 4
    std::uint8_t protocol = 6;
    std::uint16_t fragment = 0; // flags and offset field
    bool vlan = false;
    std::uint32_t sequence = 1;
};

inline void put16(Bytes &out, std::uint16_t value)
{
    out.insert(out.end(), {std::uint8_t(value >> 8), std::uint8_t(value)});
}

inline Bytes buildFrame(const FrameSpec &layout)
{
    Bytes out;
    const std::size_t ipTotal = std::size_t(std::max(layout.ipHeaderLength, 0) + std::max(layout.tcpHeaderLength, 0))
                                + std::size_t(layout.payload.size());
    switch (layout.linkType) {
    case DLT_EN10MB:
        out.insert(out.end(), {2, 2, 2, 2, 2, 2, 4, 4, 4, 4, 4, 4});
        if (layout.vlan)
            out.insert(out.end(), {0x81, 0x00, 0x00, 0x05});
        put16(out, layout.etherType);
        break;
    case DLT_LINUX_SLL: // sent by us, Ethernet, 6 address bytes
        out.insert(out.end(), {0, 4, 0, 1, 0, 6, 0, 0, 0, 0, 0, 0, 0, 0});
        put16(out, layout.etherType);
        break;
    case DLT_LINUX_SLL2:
        put16(out, layout.etherType);
        out.insert(out.end(), {0, 0, 0, 0, 0, 0, 0, 1, 4, 6, 0, 0, 0, 0, 0, 0, 0, 0});
        break;
    case DLT_NULL: // the address family in the capturing machine's byte order
        out.insert(out.end(), {2, 0, 0, 0});
        break;
    case DLT_LOOP:
        out.insert(out.end(), {0, 0, 0, 2});
        break;
    default:
        break;
    }
    // IPv4 header, options padded with zeros.
    const std::size_t ipStart = out.size();
    out.insert(out.end(), {std::uint8_t((layout.ipVersion << 4) | ((layout.ipHeaderLength / 4) & 15)), 0});
    put16(out, std::uint16_t(ipTotal > 0xffff ? 0 : ipTotal));
    put16(out, 0x1234);
    put16(out, layout.fragment);
    out.insert(out.end(), {64, layout.protocol, 0, 0});
    out.insert(out.end(), layout.source.begin(), layout.source.end());
    out.insert(out.end(), layout.destination.begin(), layout.destination.end());
    out.resize(std::max(out.size(), ipStart + std::size_t(std::max(layout.ipHeaderLength, 20))), 0);
    // TCP header, options padded with ones.
    const std::size_t tcpStart = out.size();
    put16(out, layout.sourcePort);
    put16(out, layout.destinationPort);
    put16(out, std::uint16_t(layout.sequence >> 16));
    put16(out, std::uint16_t(layout.sequence));
    out.insert(out.end(), {0, 0, 0, 1, std::uint8_t(((layout.tcpHeaderLength / 4) & 15) << 4), 0x18,
                           0xff, 0xff, 0, 0, 0, 0});
    out.resize(std::max(out.size(), tcpStart + std::size_t(std::max(layout.tcpHeaderLength, 20))), 1);
    out.insert(out.end(), layout.payload.cbegin(), layout.payload.cend());
    return out;
}

// A request of the local machine and the response to it, on one connection.
inline FrameSpec request(const QByteArray &payload, std::uint16_t clientPort = 40000)
{
    return {.sourcePort = clientPort, .payload = payload};
}

inline FrameSpec response(const QByteArray &payload, std::uint16_t clientPort = 40000)
{
    return {.source = {10, 0, 0, 5}, .destination = {10, 0, 0, 1}, .sourcePort = 80, .destinationPort = clientPort,
            .payload = payload};
}

} // namespace frames

#pragma once

// Builds captured frames and capture files for the tests, the fuzzer's
// seeds and the benchmark's generated traffic.

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
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
};

inline void put16(Bytes &out, std::uint16_t value)
{
    out.push_back(std::uint8_t(value >> 8));
    out.push_back(std::uint8_t(value));
}

inline Bytes buildFrame(const FrameSpec &layout)
{
    Bytes out;
    const std::size_t ipTotal = std::size_t(std::max(layout.ipHeaderLength, 0) + std::max(layout.tcpHeaderLength, 0))
                                + std::size_t(layout.payload.size());
    out.reserve(ipTotal + 24);
    switch (layout.linkType) {
    case DLT_EN10MB:
        for (int i = 0; i < 6; ++i)
            out.push_back(0x02);
        for (int i = 0; i < 6; ++i)
            out.push_back(0x04);
        if (layout.vlan) {
            put16(out, 0x8100);
            put16(out, 0x0005);
        }
        put16(out, layout.etherType);
        break;
    case DLT_LINUX_SLL:
        put16(out, 4); // sent by us
        put16(out, 1);
        put16(out, 6);
        for (int i = 0; i < 8; ++i)
            out.push_back(0);
        put16(out, layout.etherType);
        break;
    case DLT_LINUX_SLL2:
        put16(out, layout.etherType);
        put16(out, 0);
        for (int i = 0; i < 4; ++i)
            out.push_back(0);
        put16(out, 1);
        out.push_back(4);
        out.push_back(6);
        for (int i = 0; i < 8; ++i)
            out.push_back(0);
        break;
    case DLT_NULL: {
        const std::uint32_t family = 2;
        const auto *p = reinterpret_cast<const std::uint8_t *>(&family);
        out.insert(out.end(), p, p + 4);
        break;
    }
    case DLT_LOOP:
        out.insert(out.end(), {0, 0, 0, 2});
        break;
    default:
        break;
    }
    // IPv4 header, options padded with zeros.
    const std::size_t ipStart = out.size();
    out.push_back(std::uint8_t((layout.ipVersion << 4) | ((layout.ipHeaderLength / 4) & 15)));
    out.push_back(0);
    put16(out, std::uint16_t(ipTotal > 0xffff ? 0 : ipTotal));
    put16(out, 0x1234);
    put16(out, layout.fragment);
    out.push_back(64);
    out.push_back(layout.protocol);
    put16(out, 0);
    out.insert(out.end(), layout.source.begin(), layout.source.end());
    out.insert(out.end(), layout.destination.begin(), layout.destination.end());
    while (out.size() - ipStart < std::size_t(std::max(layout.ipHeaderLength, 20)))
        out.push_back(0);
    // TCP header.
    const std::size_t tcpStart = out.size();
    put16(out, layout.sourcePort);
    put16(out, layout.destinationPort);
    out.insert(out.end(), {0, 0, 0, 1, 0, 0, 0, 1});
    out.push_back(std::uint8_t(((layout.tcpHeaderLength / 4) & 15) << 4));
    out.push_back(0x18);
    put16(out, 0xffff);
    put16(out, 0);
    put16(out, 0);
    while (out.size() - tcpStart < std::size_t(std::max(layout.tcpHeaderLength, 20)))
        out.push_back(1);
    out.insert(out.end(), layout.payload.cbegin(), layout.payload.cend());
    return out;
}

// A request of the local machine and the response to it, on one connection.
inline FrameSpec request(const QByteArray &payload, std::uint16_t clientPort = 40000)
{
    FrameSpec layout;
    layout.sourcePort = clientPort;
    layout.payload = payload;
    return layout;
}

inline FrameSpec response(const QByteArray &payload, std::uint16_t clientPort = 40000)
{
    FrameSpec layout;
    layout.source = {10, 0, 0, 5};
    layout.destination = {10, 0, 0, 1};
    layout.sourcePort = 80;
    layout.destinationPort = clientPort;
    layout.payload = payload;
    return layout;
}

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
    void write(const Bytes &frame, std::uint32_t seconds, std::uint32_t micros = 0)
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

} // namespace frames

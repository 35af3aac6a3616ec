#include "MediaDetector.h"

#include <algorithm>
#include <cstring>

#include <pcap/pcap.h>

#include "ByteView.h"
#include "LogLine.h"
#include "LogText.h"

using capture::ByteView;

namespace {

constexpr std::uint16_t EtherTypeIpv4 = 0x0800;
constexpr std::uint16_t EtherTypeVlan = 0x8100;
constexpr std::uint16_t EtherTypeQinQ = 0x88a8;
constexpr std::uint8_t ProtocolTcp = 6;
constexpr std::size_t MinimumHeaderLength = 20;

// Where the IPv4 header starts, or nothing for frames that carry none.
std::optional<std::size_t> ipv4Offset(int linkType, const ByteView &frame)
{
    switch (linkType) {
    case DLT_EN10MB: {
        std::size_t typeAt = 12;
        for (int tags = 0; tags <= 2; ++tags) {
            const auto type = frame.be16(typeAt);
            if (!type)
                return std::nullopt;
            if (*type == EtherTypeIpv4)
                return typeAt + 2;
            if (*type != EtherTypeVlan && *type != EtherTypeQinQ)
                return std::nullopt;
            typeAt += 4;
        }
        return std::nullopt;
    }
    case DLT_LINUX_SLL:
        if (frame.be16(14) == EtherTypeIpv4)
            return 16;
        return std::nullopt;
    case DLT_LINUX_SLL2:
        if (frame.be16(0) == EtherTypeIpv4)
            return 20;
        return std::nullopt;
    case DLT_RAW:
    case DLT_IPV4:
        return 0;
    case DLT_NULL:
    case DLT_LOOP: {
        // The family is in the byte order of the capturing machine (or
        // network order for DLT_LOOP); 2 is IPv4 everywhere.
        const auto family = frame.raw<std::uint32_t>(0);
        if (family && (*family == 2 || __builtin_bswap32(*family) == 2))
            return 4;
        return std::nullopt;
    }
    default:
        return std::nullopt;
    }
}

Ipv4Address addressAt(const std::uint8_t *at)
{
    Ipv4Address address;
    std::memcpy(address.data(), at, address.size());
    return address;
}

std::uint16_t rawPortAt(const std::uint8_t *at)
{
    std::uint16_t port;
    std::memcpy(&port, at, sizeof port);
    return port;
}

QByteArray trimmedBlanks(const QByteArray &text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin] == ' ')
        ++begin;
    while (end > begin && text[end - 1] == ' ')
        --end;
    return text.mid(begin, end - begin);
}

std::ptrdiff_t signedSize(std::size_t size)
{
    return std::ptrdiff_t(size);
}

} // namespace

MediaDetector::MediaDetector(int linkType, Ipv4Address localAddress)
    : m_linkType(linkType), m_localAddress(localAddress)
{
}

int MediaDetector::defaultLinkType()
{
    return DLT_EN10MB;
}

bool MediaDetector::supportsLinkType(int linkType)
{
    switch (linkType) {
    case DLT_EN10MB:
    case DLT_LINUX_SLL:
    case DLT_LINUX_SLL2:
    case DLT_RAW:
    case DLT_IPV4:
    case DLT_NULL:
    case DLT_LOOP:
        return true;
    default:
        return false;
    }
}

void MediaDetector::analyze(std::span<const std::uint8_t> bytes, std::int64_t now)
{
    const ByteView frame(bytes);
    const auto ip = ipv4Offset(m_linkType, frame);
    if (!ip)
        return;
    const auto versionAndLength = frame.u8(*ip);
    if (!versionAndLength || (*versionAndLength >> 4) != 4)
        return;
    const std::size_t ipHeaderLength = std::size_t(*versionAndLength & 15) * 4;
    if (ipHeaderLength < MinimumHeaderLength || !frame.has(*ip, ipHeaderLength))
        return;
    if (frame.u8(*ip + 9) != ProtocolTcp)
        return;
    // A later fragment carries no TCP header where one would be expected.
    if ((*frame.be16(*ip + 6) & 0x1fff) != 0)
        return;

    const std::size_t tcp = *ip + ipHeaderLength;
    const auto dataOffset = frame.u8(tcp + 12);
    if (!dataOffset)
        return;
    const std::size_t tcpHeaderLength = std::size_t(*dataOffset >> 4) * 4;
    if (tcpHeaderLength < MinimumHeaderLength || !frame.has(tcp, tcpHeaderLength))
        return;

    // Captured length, not the IP total length: loopback frames exceed the
    // MTU and the captured bytes are all there is to read.
    const std::size_t payloadStart = tcp + tcpHeaderLength;
    if (payloadStart >= frame.size())
        return;
    const std::span<const std::uint8_t> payload = bytes.subspan(payloadStart);

    const std::uint8_t *ipHeader = frame.data() + *ip;
    if (std::memcmp(ipHeader + 12, m_localAddress.data(), m_localAddress.size()) == 0)
        analyzeRequest(ipHeader, frame.data() + tcp, payload, now);
    else
        analyzeResponse(ipHeader, frame.data() + tcp, payload);
}

void MediaDetector::analyzeRequest(const std::uint8_t *ip, const std::uint8_t *tcp,
                                   std::span<const std::uint8_t> bytes, std::int64_t now)
{
    const ByteView examined = ByteView(bytes).first(ExaminedLength);
    const std::ptrdiff_t L = signedSize(examined.size());

    const auto get = examined.find("GET ", 0, L - 5);
    if (!get)
        return;
    const std::size_t p = *get + 4;
    if (signedSize(p) >= L - 1)
        return;
    const auto blank = examined.find(" ", p, L - 2);
    if (!blank)
        return;
    const std::size_t s = *blank;

    PendingRequest request;
    request.sourceAddress = addressAt(ip + 12);
    request.destinationAddress = addressAt(ip + 16);
    request.sourcePort = rawPortAt(tcp);
    request.destinationPort = rawPortAt(tcp + 2);
    request.path = examined.copy(p, s - p + 1);

    std::size_t q = s + 1;
    if (const auto host = examined.find("Host: ", s + 1, L - 7)) {
        const std::size_t h = *host + 6;
        if (const auto end = examined.find("\r\n", h, L - 3))
            request.host = examined.copy(h, *end - h);
        q = h;
    }
    if (const auto blankLine = examined.find("\r\n\r\n", q))
        request.header = examined.copy(0, *blankLine + 4);

    addPendingRequest(std::move(request), now);
}

void MediaDetector::analyzeResponse(const std::uint8_t *ip, const std::uint8_t *tcp,
                                    std::span<const std::uint8_t> bytes)
{
    const ByteView payload(bytes);
    const ByteView examined = payload.first(ExaminedLength);
    const std::ptrdiff_t L = signedSize(examined.size());
    const std::size_t P = payload.size();

    if (!examined.find("HTTP", 0, L - 5)) {
        // A body packet that follows a header packet which ended exactly at
        // the blank line.
        if (payload.startsWith(0, "FLV"))
            reportMedia(m_lastResponse.request, m_lastResponse.contentLength, QByteArrayLiteral("x-flv"));
        return;
    }

    const PendingRequest current =
        takePendingRequest(addressAt(ip + 16), rawPortAt(tcp + 2), addressAt(ip + 12), rawPortAt(tcp));

    QByteArray contentLength;
    if (const auto field = examined.find("Content-Length: ", 0, L - 17)) {
        const std::size_t v = *field + 16;
        if (const auto end = examined.find("\r\n", v))
            contentLength = examined.copy(v, *end + 2 - v);
    }

    if (const auto field = examined.find("Content-Type: video/", 0, L - 21)) {
        const std::size_t t = *field + 20;
        QByteArray contentType;
        if (const auto end = examined.find("\r\n", t))
            contentType = examined.copy(t, *end + 2 - t);
        bool report = true;
        if (const auto flv = examined.find("x-flv", t)) {
            // An FLV header packet that ends at its blank line leaves the
            // body to the next packet, which is recognised by its "FLV".
            const auto blankLine = payload.find("\r\n\r\n", *flv + 5);
            if (blankLine && *blankLine + 4 == P)
                report = false;
        }
        if (report)
            reportMedia(current, contentLength, contentType);
    } else if (const auto blankLine = examined.find("\r\n\r\n", 0, L - 5)) {
        const std::size_t b = *blankLine + 4;
        if (payload.startsWith(b, "FLV")) {
            reportMedia(current, contentLength, QByteArrayLiteral("x-flv"));
        } else if (payload.startsWith(b, "ID3")) {
            reportMedia(current, contentLength, QByteArrayLiteral("MP3"));
            LOG_DEBUG << "MP3!!!";
        }
    }

    m_lastResponse.request = current;
    m_lastResponse.contentLength = contentLength;
}

void MediaDetector::addPendingRequest(PendingRequest &&request, std::int64_t now)
{
    const auto aged = [now](const PendingRequest &r) { return now - r.added >= RequestLifetime; };
    if (m_pendingInOrder) {
        while (!m_pending.empty() && aged(m_pending.front()))
            m_pending.pop_front();
    } else {
        std::erase_if(m_pending, aged);
    }
    if (m_pending.empty())
        m_pendingInOrder = true;
    else if (now < m_pending.back().added)
        m_pendingInOrder = false;

    if (m_pending.size() >= MaxPendingRequests) {
        m_pending.pop_front();
        if (m_pendingDropped++ % MaxPendingRequests == 0)
            LOG_WARNING << "addPendingRequest" << ":" << "list full, oldest request dropped" << ":"
                        << qulonglong(m_pendingDropped);
    }
    request.added = now;
    m_pending.push_back(std::move(request));
}

PendingRequest MediaDetector::takePendingRequest(const Ipv4Address &destination, std::uint16_t destinationPort,
                                                 const Ipv4Address &source, std::uint16_t sourcePort)
{
    const auto match = std::find_if(m_pending.begin(), m_pending.end(), [&](const PendingRequest &r) {
        return r.sourceAddress == destination && r.destinationAddress == source
               && r.sourcePort == destinationPort && r.destinationPort == sourcePort;
    });
    if (match == m_pending.end())
        return {};
    PendingRequest found = std::move(*match);
    m_pending.erase(match);
    return found;
}

void MediaDetector::reportMedia(const PendingRequest &request, const QByteArray &contentLength,
                                const QByteArray &contentType)
{
    LOG_DEBUG << "Execute callback with type 2" << capture::logText(contentType);
    const QByteArray url = buildUrl(request);
    LOG_DEBUG << "URL:" << capture::logText(url);
    if (url.isEmpty())
        return;
    if (takeIgnoredUrl(url))
        return;
    const MediaCallback function = m_callback.load(std::memory_order_acquire);
    if (!function && !m_sink)
        return;
    LOG_DEBUG << "Execute callback with type 2" << capture::logText(contentType);
    ++m_reports;
    if (m_sink)
        m_sink(MediaReport{url, request.header, contentLength, contentType});
    if (function)
        function(url, request.header, contentLength, contentType);
}

QByteArray MediaDetector::buildUrl(const PendingRequest &request)
{
    if (request.path.isEmpty())
        return {};
    const QByteArray path = trimmedBlanks(request.path);
    // A blank path would leave a bare host that is not the stream's address.
    if (path.isEmpty())
        return {};
    const QByteArray host = trimmedBlanks(request.host);
    const QByteArray url = (host.isEmpty() ? ipv4Text(request.destinationAddress) : host) + path;
    if (url.size() > MaxUrlLength) {
        LOG_ERROR << "buildUrl" << ":" << "URL too long, dropped" << ":" << int(url.size());
        return {};
    }
    // No valid request line or Host value holds control bytes; such a URL
    // would reach a player's command line and a replayed request.
    if (std::any_of(url.cbegin(), url.cend(), [](char c) { return std::uint8_t(c) < 0x20 || c == 0x7f; })) {
        LOG_ERROR << "buildUrl" << ":" << "control character in URL, dropped" << ":" << capture::logText(url);
        return {};
    }
    return url;
}

void MediaDetector::reset()
{
    m_pending.clear();
    m_pendingInOrder = true;
    m_lastResponse = {};
}

void MediaDetector::addIgnoredUrl(const QByteArray &url, int count)
{
    if (count < 1)
        return;
    const std::lock_guard lock(m_ignoredLock);
    for (int i = 0; i < count; ++i)
        m_ignoredUrls.append(url);
}

bool MediaDetector::takeIgnoredUrl(const QByteArray &url)
{
    const std::lock_guard lock(m_ignoredLock);
    const qsizetype at = m_ignoredUrls.indexOf(url);
    if (at < 0)
        return false;
    m_ignoredUrls.removeAt(at);
    return true;
}

qsizetype MediaDetector::ignoredUrlCount() const
{
    const std::lock_guard lock(m_ignoredLock);
    return m_ignoredUrls.size();
}

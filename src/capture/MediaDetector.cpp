#include "MediaDetector.h"

#include <algorithm>
#include <cstring>

#include <pcap/pcap.h>

#include "ByteView.h"
#include "HttpHead.h"
#include "LinkLayer.h"
#include "LogLine.h"
#include "LogText.h"
#include "SafeText.h"
#include "StreamSorter.h"

using capture::ByteView;

namespace {

constexpr std::uint8_t ProtocolTcp = 6;
constexpr std::size_t MinimumHeaderLength = 20;

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

// The direction of the connection a packet travels: its source and
// destination address and port as they stand in the headers.
ConnectionKey connectionOf(const std::uint8_t *ip, const std::uint8_t *tcp)
{
    ConnectionKey key;
    std::memcpy(&key.addresses, ip + 12, 8);
    std::memcpy(&key.ports, tcp, 4);
    return key;
}

std::uint32_t sequenceOf(const std::uint8_t *tcp)
{
    return (std::uint32_t(tcp[4]) << 24) | (std::uint32_t(tcp[5]) << 16) | (std::uint32_t(tcp[6]) << 8) | tcp[7];
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
    return capture::supportsLinkType(linkType);
}

void MediaDetector::analyze(std::span<const std::uint8_t> bytes, std::int64_t now)
{
    const ByteView frame(bytes);
    const auto ip = capture::ipv4Offset(m_linkType, frame);
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
    const std::uint8_t *tcpHeader = frame.data() + tcp;
    const bool fromLocal = std::memcmp(ipHeader + 12, m_localAddress.data(), m_localAddress.size()) == 0;
    // Loopback traffic to a local server has the local address at both
    // ends: there an answer is told by its status line or by the body it
    // continues.
    const bool toLocal = std::memcmp(ipHeader + 16, m_localAddress.data(), m_localAddress.size()) == 0;
    const bool answer = !fromLocal
                        || (toLocal && (frame.startsWith(payloadStart, "HTTP/")
                                        || m_connections.contains(connectionOf(ipHeader, tcpHeader))));
    if (answer)
        analyzeResponse(ipHeader, tcpHeader, payload, now);
    else
        analyzeRequest(ipHeader, tcpHeader, payload, now);
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

    request.host = capture::requestHost(examined, s + 1);
    if (const auto blankLine = examined.find("\r\n\r\n", s + 1))
        request.header = examined.copy(0, *blankLine + 4);

    addPendingRequest(std::move(request), now);
}

void MediaDetector::analyzeResponse(const std::uint8_t *ip, const std::uint8_t *tcp,
                                    std::span<const std::uint8_t> bytes, std::int64_t now)
{
    const ConnectionKey connection = connectionOf(ip, tcp);
    const std::uint32_t sequence = sequenceOf(tcp);
    std::size_t from = 0;
    if (!m_connections.empty()) {
        const auto rest = followConnection(connection, sequence, bytes, now);
        if (!rest)
            return;
        from = *rest;
    }

    const ByteView payload(bytes);
    const ByteView examined = payload.first(ExaminedLength);
    const auto http = examined.find("HTTP", from, signedSize(examined.size()) - 5);
    if (!http)
        return;

    const PendingRequest current =
        takePendingRequest(addressAt(ip + 16), rawPortAt(tcp + 2), addressAt(ip + 12), rawPortAt(tcp));
    const capture::ResponseHead head = capture::readResponseHead(examined, *http);
    std::optional<std::size_t> bodyAt = head.bodyStart;
    if (!bodyAt) {
        // A head longer than the examined part: its end is still in the packet.
        if (const auto blankLine = payload.find("\r\n\r\n", *http))
            bodyAt = *blankLine + 4;
    }
    // Follows the body of an answered GET (a HEAD's answer looks alike but
    // has none): while its first bytes are awaited, and through its length,
    // in which no head is looked for.
    const auto follow = [&](bool waiting, bool flvOnly) {
        if (!bodyAt || current.path.isEmpty() || !head.hasBody())
            return;
        const std::size_t inPacket = payload.size() - *bodyAt;
        const auto length = head.bodyLength();
        ConnectionState state;
        state.nextSequence = sequence + std::uint32_t(payload.size());
        state.bodyLeft = !length ? ConnectionState::UnknownLength : *length > inPacket ? *length - inPacket : 0;
        state.waiting = waiting;
        if (!waiting && (state.bodyLeft == 0 || state.bodyLeft == ConnectionState::UnknownLength))
            return;
        state.flvOnly = flvOnly;
        state.chunked = head.chunked;
        if (waiting) {
            state.request = current;
            state.contentLength = head.size();
            state.start = payload.copy(*bodyAt, capture::BodyPeekLength);
            state.head = head;
        }
        m_connections.insert(connection, std::move(state), now);
    };

    if (streams::StreamSorter *sorter = m_streams.load(std::memory_order_acquire)) {
        if (sortStream(*sorter, current, head, payload, bodyAt) != StreamVerdict::Usual) {
            follow(false, false);
            return;
        }
    }

    switch (head.media) {
    case capture::ResponseHead::Media::Video:
        // An FLV head that ends at its blank line leaves the body to the next
        // packet of its connection, which must begin with "FLV".
        if (head.subtype == "x-flv" && bodyAt == payload.size()) {
            follow(true, true);
            return;
        }
        reportMedia(current, head.size(), head.typeText());
        follow(false, false);
        return;
    case capture::ResponseHead::Media::Audio:
        if (capture::isMpegAudio(head.subtype)) {
            reportMedia(current, head.size(), QByteArrayLiteral("MP3"));
            LOG_DEBUG << "MP3!!!";
        } else {
            reportMedia(current, head.size(), head.typeText());
        }
        follow(false, false);
        return;
    case capture::ResponseHead::Media::None:
        break;
    }
    // Any other type: the body's first bytes decide, here or in the next
    // packet of the same connection.
    const capture::BodyMagic magic =
        head.bodyStart ? capture::bodyMagic(payload.from(*head.bodyStart), head.chunked) : capture::BodyMagic::None;
    if (magic == capture::BodyMagic::Flv) {
        reportMedia(current, head.size(), QByteArrayLiteral("x-flv"));
    } else if (magic == capture::BodyMagic::Id3) {
        reportMedia(current, head.size(), QByteArrayLiteral("MP3"));
        LOG_DEBUG << "MP3!!!";
    }
    follow(magic == capture::BodyMagic::NeedMore, false);
}

std::optional<std::size_t> MediaDetector::followConnection(const ConnectionKey &connection, std::uint32_t sequence,
                                                           std::span<const std::uint8_t> bytes, std::int64_t now)
{
    ConnectionState *state = m_connections.touch(connection, now);
    if (!state)
        return 0;
    const std::uint32_t ahead = sequence - state->nextSequence;
    // A repeat of what was seen holds nothing new.
    if (std::int32_t(ahead) < 0)
        return std::nullopt;
    if (ahead > 0) {
        // Packets were missed: with them the body's start, or all of the body.
        state->waiting = false;
        if (state->bodyLeft == ConnectionState::UnknownLength || ahead >= state->bodyLeft) {
            m_connections.erase(connection);
            return 0;
        }
        state->bodyLeft -= ahead;
    }
    const ByteView payload(bytes);
    bool reported = false;
    if (state->waiting) {
        const QByteArray start = state->start + payload.copy(0, capture::BodyPeekLength - state->start.size());
        const capture::BodyMagic magic = capture::bodyMagic(
            ByteView(reinterpret_cast<const std::uint8_t *>(start.constData()), std::size_t(start.size())),
            state->chunked);
        if (magic == capture::BodyMagic::NeedMore && std::size_t(start.size()) < capture::BodyPeekLength) {
            state->start = start;
        } else {
            state->waiting = false;
            if (magic == capture::BodyMagic::Flv) {
                reportMedia(state->request, state->contentLength, QByteArrayLiteral("x-flv"));
                reported = true;
            } else if (magic == capture::BodyMagic::Id3 && !state->flvOnly) {
                reportMedia(state->request, state->contentLength, QByteArrayLiteral("MP3"));
                LOG_DEBUG << "MP3!!!";
                reported = true;
            } else if (streams::StreamSorter *sorter = m_streams.load(std::memory_order_acquire);
                       sorter && !state->flvOnly) {
                // A manifest served as text, known by its first lines only.
                const QByteArray body = state->start + payload.copy(0, ExaminedLength);
                const ByteView bodyView(reinterpret_cast<const std::uint8_t *>(body.constData()), std::size_t(body.size()));
                reported = sortStream(*sorter, state->request, state->head, bodyView, 0) == StreamVerdict::Reported;
            }
        }
    }
    state->nextSequence = sequence + std::uint32_t(payload.size());
    if (state->bodyLeft == ConnectionState::UnknownLength) {
        // Without a length the body is followed no further than its start.
        if (state->waiting)
            return std::nullopt;
        m_connections.erase(connection);
        return reported ? std::nullopt : std::optional<std::size_t>(0);
    }
    const std::uint64_t body = std::min<std::uint64_t>(payload.size(), state->bodyLeft);
    state->bodyLeft -= body;
    if (state->bodyLeft == 0)
        m_connections.erase(connection);
    // The next head may follow the body's end in the same packet.
    if (body < payload.size())
        return std::size_t(body);
    return std::nullopt;
}

MediaDetector::StreamVerdict MediaDetector::sortStream(streams::StreamSorter &sorter, const PendingRequest &request,
                                                      const capture::ResponseHead &head, const ByteView &payload,
                                                      std::optional<std::size_t> bodyAt)
{
    QByteArrayView body;
    if (bodyAt && *bodyAt < payload.size()) {
        const ByteView start = payload.from(*bodyAt).first(ExaminedLength);
        body = QByteArrayView(start.data(), qsizetype(start.size()));
        // A chunked body starts with its size line.
        if (head.chunked) {
            const qsizetype lineEnd = body.indexOf("\r\n");
            body = lineEnd >= 0 && lineEnd <= 16 ? body.sliced(lineEnd + 2) : QByteArrayView();
        }
    }
    const QByteArrayView path = QByteArrayView(request.path).trimmed();
    const QByteArrayView ranges = "\r\nRange:";
    streams::ResponseFacts facts{path, head.contentType, body,
                                 head.status == 206 || !head.rangeTotal.isEmpty()
                                     || QByteArrayView(request.header).indexOf(ranges) >= 0};
    // Most answers are neither media, nor manifest, nor segment: they never
    // reach the shared table.
    if (path.isEmpty()
        || (head.media == capture::ResponseHead::Media::None && !streams::isManifest(facts)
            && !streams::looksLikeSegment(facts)))
        return StreamVerdict::Usual;
    const QByteArray url = buildUrl(request);
    if (url.isEmpty())
        return StreamVerdict::Usual;
    facts.address = url;
    const streams::GroupDecision decision = sorter.classify(facts);
    switch (decision.grouping) {
    case streams::Grouping::Unrelated:
        return StreamVerdict::Usual;
    case streams::Grouping::NewStream:
        reportMedia(request, head.size(),
                    streams::manifestFormat(facts) == streams::ManifestFormat::Dash ? QByteArrayLiteral("DASH")
                                                                                   : QByteArrayLiteral("HLS"));
        return StreamVerdict::Reported;
    case streams::Grouping::SameStream:
    case streams::Grouping::PartOfStream:
        break;
    }
    return StreamVerdict::Dropped;
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
    LOG_DEBUG << "URL:" << SafeText::address(QString::fromLatin1(url));
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
    m_connections.clear();
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

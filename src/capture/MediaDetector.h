#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <span>

#include <QByteArray>
#include <QList>

#include "ConnectionTable.h"
#include "Ipv4Address.h"
#include "MediaReport.h"
#include "PendingRequest.h"

namespace capture { struct ResponseHead; class ByteView; }
namespace streams { class StreamSorter; }

// The per-packet analysis of one capture: pairs the local machine's HTTP
// GET requests with their responses and reports video and audio streams,
// recognised by their type or by the first bytes of their body, which may
// come in the packet after the head.
// It owns no thread and no capture handle; whoever captures feeds it frames
// one by one from a single thread. Only the ignore list and the callback may
// be touched from other threads.
class MediaDetector
{
public:
    using ReportSink = std::function<void(const MediaReport &)>;

    // Only the first bytes of a payload are searched for header lines.
    static constexpr std::size_t ExaminedLength = 8192;
    // Responses that never come must not pile up requests without bound.
    static constexpr std::size_t MaxPendingRequests = 4096;
    static constexpr std::int64_t RequestLifetime = 61;
    static constexpr qsizetype MaxUrlLength = 4095;

    explicit MediaDetector(int linkType = defaultLinkType(), Ipv4Address localAddress = {});
    MediaDetector(const MediaDetector &) = delete;
    MediaDetector &operator=(const MediaDetector &) = delete;

    static int defaultLinkType();
    static bool supportsLinkType(int linkType);

    void setLinkType(int linkType) { m_linkType = linkType; }
    int linkType() const { return m_linkType; }
    void setLocalAddress(const Ipv4Address &address) { m_localAddress = address; }
    Ipv4Address localAddress() const { return m_localAddress; }

    // May be set from any thread while frames are being analysed.
    void setCallback(MediaCallback function) { m_callback.store(function, std::memory_order_release); }
    MediaCallback callback() const { return m_callback.load(std::memory_order_acquire); }
    // Streaming manifests and their pieces: with a sorter, a manifest is
    // reported whatever its size (type "HLS" or "DASH") and a playlist or
    // segment of a listed stream is not reported. May be set from any thread;
    // the sorter must outlive the analysis.
    void setStreamSorter(streams::StreamSorter *sorter) { m_streams.store(sorter, std::memory_order_release); }
    // Receives every report too; set it before the first frame.
    void setReportSink(ReportSink sink) { m_sink = std::move(sink); }

    // One captured frame (its size is the captured length) seen at now,
    // in whole seconds.
    void analyze(std::span<const std::uint8_t> frame, std::int64_t now);

    // Forgets pending requests and waiting bodies (a new capture loop).
    void reset();

    void addIgnoredUrl(const QByteArray &url, int count);
    bool takeIgnoredUrl(const QByteArray &url);
    qsizetype ignoredUrlCount() const;

    std::size_t pendingRequestCount() const { return m_pending.size(); }
    // Connections whose response is being followed through its body.
    std::size_t connectionCount() const { return m_connections.size(); }
    std::uint64_t reportCount() const { return m_reports; }

    // Host (or dotted server address) followed by the trimmed path; empty
    // when there is no path, or when the result would be unsafe or too long.
    static QByteArray buildUrl(const PendingRequest &request);

private:
    void analyzeRequest(const std::uint8_t *ip, const std::uint8_t *tcp, std::span<const std::uint8_t> payload,
                        std::int64_t now);
    void analyzeResponse(const std::uint8_t *ip, const std::uint8_t *tcp, std::span<const std::uint8_t> payload,
                         std::int64_t now);
    // A packet of a followed connection: examines the body's first bytes
    // when they are due, and answers where a head may begin in the packet,
    // or nothing when it is all body or a repeat.
    std::optional<std::size_t> followConnection(const ConnectionKey &key, std::uint32_t sequence,
                                                std::span<const std::uint8_t> payload, std::int64_t now);
    enum class StreamVerdict { Usual, Reported, Dropped };
    StreamVerdict sortStream(streams::StreamSorter &sorter, const PendingRequest &request,
                             const capture::ResponseHead &head, const capture::ByteView &payload,
                             std::optional<std::size_t> bodyAt);
    void addPendingRequest(PendingRequest &&request, std::int64_t now);
    PendingRequest takePendingRequest(const Ipv4Address &destination, std::uint16_t destinationPort,
                                      const Ipv4Address &source, std::uint16_t sourcePort);
    void reportMedia(const PendingRequest &request, const QByteArray &contentLength,
                     const QByteArray &contentType);

    int m_linkType;
    Ipv4Address m_localAddress;
    std::atomic<MediaCallback> m_callback{nullptr};
    std::atomic<streams::StreamSorter *> m_streams{nullptr};
    ReportSink m_sink;

    std::deque<PendingRequest> m_pending;
    // While requests are added in time order, the aged ones are a prefix.
    bool m_pendingInOrder = true;
    std::uint64_t m_pendingDropped = 0;
    ConnectionTable m_connections;
    std::uint64_t m_reports = 0;

    mutable std::mutex m_ignoredLock;
    QList<QByteArray> m_ignoredUrls;
};

#pragma once

#include <cstdint>
#include <limits>
#include <list>
#include <unordered_map>

#include <QByteArray>

#include "HttpHead.h"
#include "PendingRequest.h"

// One direction of one TCP connection: the sender's and the receiver's
// address and port, ports in network byte order.
struct ConnectionKey
{
    std::uint64_t addresses = 0;
    std::uint32_t ports = 0;

    friend bool operator==(const ConnectionKey &, const ConnectionKey &) = default;
};

struct ConnectionKeyHash
{
    std::size_t operator()(const ConnectionKey &key) const
    {
        std::uint64_t h = key.addresses * 0x9e3779b97f4a7c15ull ^ (std::uint64_t(key.ports) << 1);
        h ^= h >> 29;
        return std::size_t(h * 0xbf58476d1ce4e5b9ull);
    }
};

// A response being followed through its body: while its first bytes are
// awaited (they may come in the packet after the head), and while body
// bytes of a known length remain, in which no head can begin.
struct ConnectionState
{
    static constexpr std::uint64_t UnknownLength = std::numeric_limits<std::uint64_t>::max();

    std::uint32_t nextSequence = 0; // where the connection's next payload begins
    std::uint64_t bodyLeft = 0;     // body bytes still to come
    bool waiting = false;           // the body's first bytes are still to be examined
    bool flvOnly = false;           // an FLV head: only an FLV body is reported
    bool chunked = false;
    // For the report, while waiting.
    PendingRequest request;
    QByteArray contentLength;
    QByteArray start; // body bytes already seen (a few at most)
    // The head, for a manifest known only by its body.
    capture::ResponseHead head;
};

// The connections being followed, least recently used first. Bounded like
// the pending requests: entries unused for 61 s go when another is added,
// and the least recently used goes when the table is full. A connection
// pushed out is only no longer followed: its packets are searched again.
class ConnectionTable
{
public:
    static constexpr std::size_t MaxConnections = 4096;
    static constexpr std::int64_t Lifetime = 61;

    bool empty() const { return m_index.empty(); }
    bool contains(const ConnectionKey &key) const { return m_index.count(key) != 0; }
    std::size_t size() const { return m_index.size(); }

    // The state of the connection, marked as used at now; nullptr when absent.
    ConnectionState *touch(const ConnectionKey &key, std::int64_t now);
    // Adds or replaces the state of the connection.
    void insert(const ConnectionKey &key, ConnectionState &&state, std::int64_t now);
    void erase(const ConnectionKey &key);
    void clear();

private:
    struct Entry
    {
        ConnectionKey key;
        ConnectionState state;
        std::int64_t used = 0;
    };

    std::list<Entry> m_order; // least recently used first
    std::unordered_map<ConnectionKey, std::list<Entry>::iterator, ConnectionKeyHash> m_index;
    std::uint64_t m_dropped = 0;
};

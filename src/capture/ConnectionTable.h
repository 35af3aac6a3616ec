#pragma once

#include <cstdint>
#include <list>
#include <optional>
#include <unordered_map>

#include <QByteArray>

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

// A response whose body has not begun in the packets seen so far: its
// first bytes are looked for in the next packet of the same connection.
struct WaitingBody
{
    PendingRequest request;
    QByteArray contentLength;
    QByteArray start;              // body bytes already seen (a few at most)
    std::uint32_t nextSequence = 0; // where the connection's next payload begins
    bool flvOnly = false;          // an FLV head: only an FLV body is reported
    bool chunked = false;
    std::int64_t added = 0;
};

// The connections waiting for a body, oldest first. Bounded like the
// pending requests: entries 61 s old go when another is added, and the
// oldest goes when the table is full.
class ConnectionTable
{
public:
    static constexpr std::size_t MaxConnections = 4096;
    static constexpr std::int64_t Lifetime = 61;

    bool empty() const { return m_index.empty(); }
    std::size_t size() const { return m_index.size(); }
    // Entries pushed out to make room, since the table was made.
    std::uint64_t dropped() const { return m_dropped; }

    WaitingBody *find(const ConnectionKey &key);
    // Adds or replaces the entry of the connection.
    void insert(const ConnectionKey &key, WaitingBody &&body, std::int64_t now);
    std::optional<WaitingBody> take(const ConnectionKey &key);
    void clear();

private:
    struct Entry
    {
        ConnectionKey key;
        WaitingBody body;
    };

    std::list<Entry> m_order;
    std::unordered_map<ConnectionKey, std::list<Entry>::iterator, ConnectionKeyHash> m_index;
    std::uint64_t m_dropped = 0;
};

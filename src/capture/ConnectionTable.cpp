#include "ConnectionTable.h"

#include "LogLine.h"

WaitingBody *ConnectionTable::find(const ConnectionKey &key)
{
    const auto found = m_index.find(key);
    return found == m_index.end() ? nullptr : &found->second->body;
}

void ConnectionTable::insert(const ConnectionKey &key, WaitingBody &&body, std::int64_t now)
{
    if (const auto found = m_index.find(key); found != m_index.end()) {
        m_order.erase(found->second);
        m_index.erase(found);
    }
    // Capture time rarely runs backwards; an entry stamped later than its
    // successors only ages a little later.
    while (!m_order.empty() && now - m_order.front().body.added >= Lifetime) {
        m_index.erase(m_order.front().key);
        m_order.pop_front();
    }
    if (m_index.size() >= MaxConnections) {
        m_index.erase(m_order.front().key);
        m_order.pop_front();
        if (m_dropped++ % MaxConnections == 0)
            LOG_WARNING << "ConnectionTable" << ":" << "table full, oldest connection dropped" << ":"
                        << qulonglong(m_dropped);
    }
    body.added = now;
    m_order.push_back({key, std::move(body)});
    m_index.emplace(key, std::prev(m_order.end()));
}

std::optional<WaitingBody> ConnectionTable::take(const ConnectionKey &key)
{
    const auto found = m_index.find(key);
    if (found == m_index.end())
        return std::nullopt;
    WaitingBody body = std::move(found->second->body);
    m_order.erase(found->second);
    m_index.erase(found);
    return body;
}

void ConnectionTable::clear()
{
    m_index.clear();
    m_order.clear();
}

#include "ConnectionTable.h"

#include "LogLine.h"

ConnectionState *ConnectionTable::touch(const ConnectionKey &key, std::int64_t now)
{
    const auto found = m_index.find(key);
    if (found == m_index.end())
        return nullptr;
    found->second->used = now;
    m_order.splice(m_order.end(), m_order, found->second);
    return &found->second->state;
}

void ConnectionTable::insert(const ConnectionKey &key, ConnectionState &&state, std::int64_t now)
{
    erase(key);
    // Capture time rarely runs backwards; an entry used later than its
    // successors only ages a little later.
    while (!m_order.empty() && now - m_order.front().used >= Lifetime) {
        m_index.erase(m_order.front().key);
        m_order.pop_front();
    }
    if (m_index.size() >= MaxConnections) {
        m_index.erase(m_order.front().key);
        m_order.pop_front();
        if (m_dropped++ % MaxConnections == 0)
            LOG_WARNING << "ConnectionTable" << ":" << "table full, least recently used connection dropped" << ":"
                        << qulonglong(m_dropped);
    }
    m_order.push_back({key, std::move(state), now});
    m_index.emplace(key, std::prev(m_order.end()));
}

void ConnectionTable::erase(const ConnectionKey &key)
{
    if (const auto found = m_index.find(key); found != m_index.end()) {
        m_order.erase(found->second);
        m_index.erase(found);
    }
}

void ConnectionTable::clear()
{
    m_index.clear();
    m_order.clear();
}

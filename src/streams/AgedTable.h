#pragma once

#include <list>

#include <QByteArray>
#include <QHash>

namespace streams {

// A map with a size bound and an idle age: the least recently used entry
// goes first when the table is full, and entries unused for longer than the
// idle age go when the clock moves on. Lookups and inserts are O(1).
template<typename Value>
class AgedTable
{
public:
    AgedTable(qsizetype capacity, qint64 idle) : m_capacity(capacity > 0 ? capacity : 1), m_idle(idle) {}

    // The value under key, marked as used now; nullptr when absent.
    Value *touch(const QByteArray &key, qint64 now)
    {
        const auto it = m_entries.find(key);
        if (it == m_entries.end())
            return nullptr;
        it->used = now;
        m_order.splice(m_order.begin(), m_order, it->order);
        return &it->value;
    }

    const Value *peek(const QByteArray &key) const
    {
        const auto it = m_entries.constFind(key);
        return it == m_entries.cend() ? nullptr : &it->value;
    }

    // Inserts or replaces; onDrop sees every entry pushed out to make room.
    template<typename Dropped>
    Value &insert(const QByteArray &key, Value value, qint64 now, Dropped onDrop)
    {
        if (Value *existing = touch(key, now)) {
            *existing = std::move(value);
            return *existing;
        }
        while (m_entries.size() >= m_capacity)
            dropOldest(onDrop);
        m_order.push_front(key);
        auto it = m_entries.insert(key, Entry{std::move(value), now, m_order.begin()});
        return it->value;
    }

    // Drops entries whose last use is older than the idle age.
    template<typename Dropped>
    void expire(qint64 now, Dropped onDrop)
    {
        while (!m_order.empty() && now - m_entries.constFind(m_order.back())->used > m_idle)
            dropOldest(onDrop);
    }

    template<typename Visit>
    void forEach(Visit visit) const
    {
        for (auto it = m_entries.cbegin(); it != m_entries.cend(); ++it)
            visit(it.key(), it->value);
    }

    qsizetype size() const { return m_entries.size(); }

private:
    struct Entry
    {
        Value value;
        qint64 used = 0;
        std::list<QByteArray>::iterator order;
    };

    template<typename Dropped>
    void dropOldest(Dropped onDrop)
    {
        const QByteArray key = m_order.back();
        m_order.pop_back();
        const auto it = m_entries.find(key);
        onDrop(key, it->value);
        m_entries.erase(it);
    }

    QHash<QByteArray, Entry> m_entries;
    std::list<QByteArray> m_order;     // most recently used first
    qsizetype m_capacity;
    qint64 m_idle;
};

} // namespace streams

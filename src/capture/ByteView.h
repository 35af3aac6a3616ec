#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <string_view>

#include <QByteArray>

namespace capture {

// A non-owning view of captured bytes. Every read is checked against the
// bytes that were captured; a position is compared by subtracting from the
// size, so no offset arithmetic can run past the end.
class ByteView
{
public:
    ByteView() = default;
    ByteView(const std::uint8_t *data, std::size_t size) : m_data(data), m_size(data ? size : 0) {}
    explicit ByteView(std::span<const std::uint8_t> bytes) : ByteView(bytes.data(), bytes.size()) {}

    const std::uint8_t *data() const { return m_data; }
    std::size_t size() const { return m_size; }
    bool empty() const { return m_size == 0; }

    bool has(std::size_t offset, std::size_t count) const
    {
        return offset <= m_size && count <= m_size - offset;
    }

    std::optional<std::uint8_t> u8(std::size_t offset) const
    {
        if (!has(offset, 1))
            return std::nullopt;
        return m_data[offset];
    }

    std::optional<std::uint16_t> be16(std::size_t offset) const
    {
        if (!has(offset, 2))
            return std::nullopt;
        return std::uint16_t((m_data[offset] << 8) | m_data[offset + 1]);
    }

    // The count bytes at offset, as they are in memory (no byte swapping).
    template<typename T>
    std::optional<T> raw(std::size_t offset) const
    {
        if (!has(offset, sizeof(T)))
            return std::nullopt;
        T value;
        std::memcpy(&value, m_data + offset, sizeof(T));
        return value;
    }

    // The bytes from offset to the end; empty when offset is past the end.
    ByteView from(std::size_t offset) const
    {
        if (offset >= m_size)
            return {};
        return ByteView(m_data + offset, m_size - offset);
    }

    // At most the first count bytes.
    ByteView first(std::size_t count) const
    {
        return ByteView(m_data, count < m_size ? count : m_size);
    }

    bool startsWith(std::size_t offset, std::string_view pattern) const
    {
        return has(offset, pattern.size()) && std::memcmp(m_data + offset, pattern.data(), pattern.size()) == 0;
    }

    // First offset in [from, lastStart] where pattern starts and fits in the
    // view. lastStart is signed so that ranges like "0 to L - 5" with a
    // short L come out empty instead of wrapping.
    std::optional<std::size_t> find(std::string_view pattern, std::size_t from, std::ptrdiff_t lastStart) const
    {
        const std::size_t n = pattern.size();
        if (n == 0 || lastStart < 0 || n > m_size)
            return std::nullopt;
        std::size_t last = std::size_t(lastStart);
        if (last > m_size - n)
            last = m_size - n;
        if (from > last)
            return std::nullopt;
        const auto first = std::uint8_t(pattern[0]);
        std::size_t at = from;
        while (at <= last) {
            const void *hit = std::memchr(m_data + at, first, last - at + 1);
            if (!hit)
                return std::nullopt;
            at = std::size_t(static_cast<const std::uint8_t *>(hit) - m_data);
            if (std::memcmp(m_data + at + 1, pattern.data() + 1, n - 1) == 0)
                return at;
            ++at;
        }
        return std::nullopt;
    }

    // First offset at from or later where pattern lies wholly in the view.
    std::optional<std::size_t> find(std::string_view pattern, std::size_t from = 0) const
    {
        return find(pattern, from, std::ptrdiff_t(m_size) - std::ptrdiff_t(pattern.size()));
    }

    // A copy of [offset, offset + count), clamped to the view.
    QByteArray copy(std::size_t offset, std::size_t count) const
    {
        if (offset >= m_size)
            return {};
        if (count > m_size - offset)
            count = m_size - offset;
        return QByteArray(reinterpret_cast<const char *>(m_data + offset), qsizetype(count));
    }

private:
    const std::uint8_t *m_data = nullptr;
    std::size_t m_size = 0;
};

} // namespace capture

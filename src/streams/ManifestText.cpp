#include "ManifestText.h"

#include "StreamInfo.h"

namespace streams {

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

char lower(char c)
{
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

bool equalNoCase(QByteArrayView a, QByteArrayView b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i]))
            return false;
    return true;
}

} // namespace

QByteArrayView trimmed(QByteArrayView text)
{
    while (!text.isEmpty() && isBlank(text.front()))
        text = text.sliced(1);
    while (!text.isEmpty() && isBlank(text.back()))
        text.chop(1);
    return text;
}

bool startsWithNoCase(QByteArrayView text, QByteArrayView prefix)
{
    return text.size() >= prefix.size() && equalNoCase(text.first(prefix.size()), prefix);
}

bool endsWithNoCase(QByteArrayView text, QByteArrayView suffix)
{
    return text.size() >= suffix.size() && equalNoCase(text.last(suffix.size()), suffix);
}

bool containsNoCase(QByteArrayView text, QByteArrayView needle)
{
    if (needle.isEmpty())
        return true;
    for (qsizetype i = 0; text.size() - i >= needle.size(); ++i)
        if (equalNoCase(text.sliced(i, needle.size()), needle))
            return true;
    return false;
}

std::optional<qint64> decimal(QByteArrayView text)
{
    if (text.isEmpty() || text.size() > 18)
        return std::nullopt;
    qint64 value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

LineReader::LineReader(QByteArrayView text) : m_rest(text)
{
    if (m_rest.startsWith("\xEF\xBB\xBF"))
        m_rest = m_rest.sliced(3);
}

std::optional<LineReader::Line> LineReader::next()
{
    if (m_rest.isEmpty())
        return std::nullopt;
    const qsizetype end = m_rest.indexOf('\n');
    const QByteArrayView raw = end < 0 ? m_rest : m_rest.first(end);
    m_rest = end < 0 ? QByteArrayView() : m_rest.sliced(end + 1);
    Line line;
    line.number = ++m_number;
    if (raw.size() > MaxLineBytes)
        line.overlong = true;
    else
        line.text = trimmed(raw);
    return line;
}

AttributeList::AttributeList(QByteArrayView text)
{
    qsizetype at = 0;
    const qsizetype size = text.size();
    while (at < size && m_pairs.size() < MaxAttributes) {
        while (at < size && (text[at] == ' ' || text[at] == ','))
            ++at;
        const qsizetype nameStart = at;
        while (at < size && text[at] != '=' && text[at] != ',')
            ++at;
        const QByteArrayView name = trimmed(text.sliced(nameStart, at - nameStart));
        if (at >= size || text[at] == ',')
            continue;     // a name without a value is skipped
        ++at;             // past '='
        QByteArrayView value;
        if (at < size && text[at] == '"') {
            const qsizetype close = text.indexOf('"', at + 1);
            const qsizetype stop = close < 0 ? size : close;
            value = text.sliced(at + 1, stop - at - 1);
            at = close < 0 ? size : close + 1;
            while (at < size && text[at] != ',')
                ++at;
        } else {
            const qsizetype valueStart = at;
            while (at < size && text[at] != ',')
                ++at;
            value = trimmed(text.sliced(valueStart, at - valueStart));
        }
        if (!name.isEmpty())
            m_pairs.append({name, value});
    }
}

std::optional<QByteArrayView> AttributeList::value(QByteArrayView name) const
{
    for (const auto &pair : m_pairs)
        if (equalNoCase(pair.first, name))
            return pair.second;
    return std::nullopt;
}

} // namespace streams

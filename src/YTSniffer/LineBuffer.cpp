#include "LineBuffer.h"

#include <QString>

LineBuffer::LineBuffer(qsizetype maxLineBytes)
    : m_maxLineBytes(maxLineBytes)
{
}

QStringList LineBuffer::feed(QByteArrayView bytes)
{
    QStringList lines;
    qsizetype at = 0;
    while (at < bytes.size()) {
        const char c = bytes.at(at);
        if (c == '\n' || c == '\r') {
            if (!(c == '\n' && m_afterReturn))
                endLine(lines);
            m_afterReturn = c == '\r';
            ++at;
            continue;
        }
        m_afterReturn = false;
        // The run of bytes up to the next line end, taken at once.
        qsizetype end = at;
        while (end < bytes.size() && bytes.at(end) != '\n' && bytes.at(end) != '\r')
            ++end;
        const qsizetype length = end - at;
        if (!m_skipping) {
            if (length > m_maxLineBytes - m_partial.size()) {
                m_skipping = true;
                ++m_dropped;
                m_partial.clear();
                m_partial.squeeze();
            } else {
                m_partial.append(bytes.sliced(at, length));
            }
        }
        at = end;
    }
    return lines;
}

QStringList LineBuffer::finish()
{
    QStringList lines;
    if (!m_partial.isEmpty())
        endLine(lines);
    m_skipping = false;
    m_afterReturn = false;
    return lines;
}

void LineBuffer::endLine(QStringList &lines)
{
    if (!m_skipping)
        lines.append(QString::fromUtf8(m_partial));
    m_skipping = false;
    m_partial.clear();
}

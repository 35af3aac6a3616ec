#include "BrowserFrame.h"

#include <QtEndian>

#include <algorithm>

namespace BrowserFrame {

Step decode(QByteArrayView input)
{
    Step step;
    if (input.size() < headerSize)
        return step;
    step.length = qFromUnaligned<quint32>(input.data());
    if (step.length > maxPayload) {
        step.kind = Step::Kind::TooLarge;
        step.consumed = headerSize;
        return step;
    }
    // Compare against what remains, never by adding to the length.
    if (input.size() - headerSize < qsizetype(step.length))
        return step;
    step.kind = Step::Kind::Frame;
    step.consumed = headerSize + qsizetype(step.length);
    step.payload = input.sliced(headerSize, step.length);
    return step;
}

QByteArray encode(QByteArrayView payload)
{
    Q_ASSERT(payload.size() <= qsizetype(maxPayload));
    QByteArray frame(headerSize, Qt::Uninitialized);
    qToUnaligned(quint32(payload.size()), frame.data());
    frame.append(payload);
    return frame;
}

} // namespace BrowserFrame

void FrameReader::append(QByteArrayView bytes)
{
    if (m_skip > 0) {
        const qsizetype skipped = qsizetype(std::min<quint64>(m_skip, quint64(bytes.size())));
        m_skip -= quint64(skipped);
        bytes = bytes.sliced(skipped);
    }
    m_buffer.append(bytes);
}

std::optional<FrameReader::Frame> FrameReader::next()
{
    if (m_offset > 0 && m_offset >= m_buffer.size() / 2) {
        m_buffer.remove(0, m_offset);
        m_offset = 0;
    }
    const BrowserFrame::Step step = BrowserFrame::decode(QByteArrayView(m_buffer).sliced(m_offset));
    switch (step.kind) {
    case BrowserFrame::Step::Kind::NeedMore:
        return std::nullopt;
    case BrowserFrame::Step::Kind::Frame: {
        Frame frame{false, step.length, step.payload.toByteArray()};
        m_offset += step.consumed;
        return frame;
    }
    case BrowserFrame::Step::Kind::TooLarge:
        m_offset += step.consumed;
        m_skip = step.length;
        skipBuffered();
        return Frame{true, step.length, {}};
    }
    return std::nullopt;
}

void FrameReader::skipBuffered()
{
    const qsizetype skipped = qsizetype(std::min<quint64>(m_skip, quint64(buffered())));
    m_offset += skipped;
    m_skip -= quint64(skipped);
}

#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <optional>

// Native-messaging frames: a 32-bit payload length in the machine's own
// byte order, then that many bytes of UTF-8 JSON. The same framing carries
// messages from the host to the window.
namespace BrowserFrame {

inline constexpr quint32 maxPayload = 1024 * 1024;
inline constexpr qsizetype headerSize = 4;

struct Step
{
    enum class Kind { NeedMore, Frame, TooLarge };
    Kind kind = Kind::NeedMore;
    qsizetype consumed = 0;   // bytes of the input this step used up
    quint32 length = 0;       // the declared payload length (Frame, TooLarge)
    QByteArrayView payload;   // Frame: a view into the input
};

// Looks at the start of input: a whole frame; a frame over maxPayload, of
// which only the length is consumed; or the need for more bytes. Pure.
Step decode(QByteArrayView input);

// The length in native order, then the payload (at most maxPayload bytes).
QByteArray encode(QByteArrayView payload);

} // namespace BrowserFrame

// Turns a byte stream (stdin, a socket) into frames. The payload of a frame
// over the limit is skipped as it arrives, never kept, so the stream stays
// in step after a refusal.
class FrameReader
{
public:
    struct Frame
    {
        bool tooLarge = false;
        quint32 length = 0;
        QByteArray payload;   // empty when tooLarge
    };

    void append(QByteArrayView bytes);
    std::optional<Frame> next();
    qsizetype buffered() const { return m_buffer.size() - m_offset; }

private:
    void skipBuffered();

    QByteArray m_buffer;
    qsizetype m_offset = 0;
    quint64 m_skip = 0;   // payload bytes of a refused frame still to come
};

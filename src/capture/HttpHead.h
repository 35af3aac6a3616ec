#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include <QByteArray>

#include "ByteView.h"

namespace capture {

// What the analysis takes from one HTTP response head. Header names match in
// any case (RFC 9110) and only at the start of a header line, so
// "X-Content-Type:" is no "Content-Type:". Values keep the forms the page
// reads: through their line end ("123456\r\n"), and empty when the line end
// is not among the examined bytes.
struct ResponseHead
{
    enum class Media { None, Video, Audio };

    int status = 0;            // 0 when the status line cannot be read
    QByteArray contentLength;  // Content-Length value
    QByteArray rangeTotal;     // TOTAL of "Content-Range: bytes a-b/TOTAL"
    Media media = Media::None; // a "video/" or "audio/" Content-Type
    QByteArray subtype;        // its subtype, lower case, without parameters
    QByteArray contentType;    // the whole Content-Type value as sent, at most MaxTypeValue bytes
    bool typeLineEnded = false;
    bool chunked = false;      // Transfer-Encoding ends in "chunked"
    std::size_t typeLine = 0;  // where the Content-Type line starts
    std::optional<std::size_t> bodyStart; // just past the blank line

    // The type text of a report: "mp4\r\n", or empty without the line end.
    QByteArray typeText() const { return typeLineEnded ? QByteArray(subtype).append("\r\n") : QByteArray(); }
    // The total of a 206 answer when it names one, else Content-Length.
    QByteArray size() const { return status == 206 && !rangeTotal.isEmpty() ? rangeTotal : contentLength; }
    bool hasBody() const { return status >= 200 && status != 204 && status != 304 && contentLength != "0\r\n"; }
    // Content-Length as a number: the body's length on the wire unless chunked.
    std::optional<std::uint64_t> bodyLength() const;
};

// Longest Content-Type value kept: types with parameters fit well within it.
inline constexpr std::size_t MaxTypeValue = 128;

// The head whose status line ("HTTP/1.1 200 OK") starts at offset at.
ResponseHead readResponseHead(const ByteView &examined, std::size_t at);

// The Host value (blanks trimmed) of the request head whose request line
// ends at or after offset from; empty unless its line end and one more byte
// were captured.
QByteArray requestHost(const ByteView &examined, std::size_t from);

// What the first bytes of a body are, skipping the size line of a chunked
// body. NeedMore: too few bytes to tell yet.
enum class BodyMagic { None, Flv, Id3, NeedMore };
BodyMagic bodyMagic(const ByteView &body, bool chunked);

// Enough body bytes to decide, chunk size line included.
inline constexpr std::size_t BodyPeekLength = 64;

// "mpeg" and its aliases: a stream reported as "MP3".
bool isMpegAudio(const QByteArray &subtype);

} // namespace capture

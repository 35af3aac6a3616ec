#include "HttpHead.h"

#include <algorithm>
#include <string_view>

namespace capture {

namespace {

constexpr std::size_t MaxTotalDigits = 18; // fits a signed 64-bit size

char lower(std::uint8_t c)
{
    return char(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c);
}

bool isDigit(std::optional<std::uint8_t> c)
{
    return c && *c >= '0' && *c <= '9';
}

bool isHexDigit(std::uint8_t c)
{
    return (c >= '0' && c <= '9') || (lower(c) >= 'a' && lower(c) <= 'f');
}

// pattern (lower case) at offset, letters compared without case.
bool startsWithNoCase(const ByteView &v, std::size_t offset, std::string_view pattern)
{
    if (!v.has(offset, pattern.size()))
        return false;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (lower(v.data()[offset + i]) != pattern[i])
            return false;
    }
    return true;
}

// Calls visit(start, end) for each header line after the line at from; end
// is empty for a last line cut off by the end of the view. Returns the
// offset past the blank line when it is in the view.
template<typename Visit>
std::optional<std::size_t> forEachHeaderLine(const ByteView &v, std::size_t from, Visit visit)
{
    std::optional<std::size_t> end = v.find("\r\n", from);
    while (end) {
        const std::size_t start = *end + 2;
        end = v.find("\r\n", start);
        if (end && *end == start)
            return start + 2;
        if (!visit(start, end))
            break;
    }
    return std::nullopt;
}

// Where the value of a line starting with name (and ":") begins, past
// optional blanks; nothing when the line has another name.
std::optional<std::size_t> valueOf(const ByteView &v, std::size_t line, std::string_view name)
{
    if (!startsWithNoCase(v, line, name))
        return std::nullopt;
    std::size_t at = line + name.size();
    for (auto c = v.u8(at); c && (*c == ' ' || *c == '\t'); c = v.u8(++at)) {
    }
    return at;
}

// The bytes from value through the line end, or nothing without one.
QByteArray throughLineEnd(const ByteView &v, std::size_t value, std::optional<std::size_t> end)
{
    return end ? v.copy(value, *end + 2 - value) : QByteArray();
}

// TOTAL + "\r\n" of "bytes FIRST-LAST/TOTAL"; empty for "/*" or anything odd.
QByteArray rangeTotal(const ByteView &v, std::size_t at, std::optional<std::size_t> end)
{
    if (!end || !startsWithNoCase(v, at, "bytes "))
        return {};
    at += 6;
    const auto digits = [&](std::size_t from) {
        std::size_t to = from;
        while (to < *end && isDigit(v.u8(to)))
            ++to;
        return to - from;
    };
    const std::size_t first = digits(at);
    if (first == 0 || v.u8(at + first) != '-')
        return {};
    at += first + 1;
    const std::size_t last = digits(at);
    if (last == 0 || v.u8(at + last) != '/')
        return {};
    at += last + 1;
    const std::size_t total = digits(at);
    if (total == 0 || total > MaxTotalDigits)
        return {};
    for (std::size_t rest = at + total; rest < *end; ++rest) {
        if (v.u8(rest) != ' ' && v.u8(rest) != '\t')
            return {};
    }
    return v.copy(at, total).append("\r\n");
}

bool isPlaylist(const QByteArray &subtype)
{
    return subtype == "mpegurl" || subtype == "x-mpegurl" || subtype == "x-scpls";
}

} // namespace

std::optional<std::uint64_t> ResponseHead::bodyLength() const
{
    if (chunked)
        return std::nullopt;
    std::uint64_t length = 0;
    qsizetype at = 0;
    for (; at < contentLength.size() && contentLength[at] >= '0' && contentLength[at] <= '9'; ++at)
        length = length * 10 + std::uint64_t(contentLength[at] - '0');
    if (at == 0 || std::size_t(at) > MaxTotalDigits)
        return std::nullopt;
    while (at < contentLength.size() && (contentLength[at] == ' ' || contentLength[at] == '\t'))
        ++at;
    if (contentLength.mid(at) != "\r\n")
        return std::nullopt;
    return length;
}

ResponseHead readResponseHead(const ByteView &v, std::size_t at)
{
    ResponseHead head;
    // "HTTP/1.1 206": version digits, a blank and three status digits.
    if (v.startsWith(at, "HTTP/") && isDigit(v.u8(at + 5)) && v.u8(at + 6) == '.' && isDigit(v.u8(at + 7))
        && v.u8(at + 8) == ' ' && isDigit(v.u8(at + 9)) && isDigit(v.u8(at + 10)) && isDigit(v.u8(at + 11)))
        head.status = (*v.u8(at + 9) - '0') * 100 + (*v.u8(at + 10) - '0') * 10 + (*v.u8(at + 11) - '0');
    bool typeSeen = false;

    head.bodyStart = forEachHeaderLine(v, at, [&](std::size_t line, std::optional<std::size_t> end) {
        // Most lines are passed over by their first letter.
        const auto first = v.u8(line);
        if (!first)
            return false;
        if (lower(*first) != 'c' && lower(*first) != 't')
            return true;
        if (const auto value = valueOf(v, line, "content-length:")) {
            if (head.contentLength.isEmpty())
                head.contentLength = throughLineEnd(v, *value, end);
        } else if (const auto range = valueOf(v, line, "content-range:")) {
            head.rangeTotal = rangeTotal(v, *range, end);
        } else if (const auto type = valueOf(v, line, "content-type:"); type && !typeSeen) {
            typeSeen = true;
            head.typeLine = line;
            const std::size_t valueEnd = end ? *end : v.size();
            head.contentType = v.copy(*type, std::min(valueEnd - *type, MaxTypeValue));
            const bool video = startsWithNoCase(v, *type, "video/");
            if (!video && !startsWithNoCase(v, *type, "audio/"))
                return true;
            const std::size_t limit = end ? *end : v.size();
            for (std::size_t i = *type + 6; i < limit; ++i) {
                const std::uint8_t c = v.data()[i];
                if (c == ';' || c == ' ' || c == '\t')
                    break;
                head.subtype.append(lower(c));
            }
            if (!head.subtype.isEmpty() && (video || !isPlaylist(head.subtype)))
                head.media = video ? ResponseHead::Media::Video : ResponseHead::Media::Audio;
            head.typeLineEnded = end.has_value();
        } else if (const auto coding = valueOf(v, line, "transfer-encoding:"); coding && end) {
            std::size_t last = *end;
            while (last > *coding && (v.data()[last - 1] == ' ' || v.data()[last - 1] == '\t'))
                --last;
            head.chunked = last - *coding >= 7 && startsWithNoCase(v, last - 7, "chunked");
        }
        return true;
    });
    return head;
}

QByteArray requestHost(const ByteView &v, std::size_t from)
{
    QByteArray host;
    forEachHeaderLine(v, from, [&](std::size_t line, std::optional<std::size_t> end) {
        const auto value = valueOf(v, line, "host:");
        if (!value)
            return true;
        // The line end and one more byte: a value cut by the end of the
        // captured bytes may be cut short.
        if (end && *end + 2 < v.size()) {
            std::size_t last = *end;
            while (last > *value && (v.data()[last - 1] == ' ' || v.data()[last - 1] == '\t'))
                --last;
            host = v.copy(*value, last - *value);
        }
        return false;
    });
    return host;
}

BodyMagic bodyMagic(const ByteView &body, bool chunked)
{
    std::size_t at = 0;
    if (chunked) {
        while (at < body.size() && isHexDigit(body.data()[at]) && at <= 16)
            ++at;
        if (at == body.size())
            return BodyMagic::NeedMore;
        if (at == 0 || at > 16)
            return BodyMagic::None;
        const auto end = body.find("\r\n", at);
        if (!end)
            return BodyMagic::NeedMore;
        at = *end + 2;
    }
    if (!body.has(at, 3))
        return BodyMagic::NeedMore;
    if (body.startsWith(at, "FLV"))
        return BodyMagic::Flv;
    if (body.startsWith(at, "ID3"))
        return BodyMagic::Id3;
    return BodyMagic::None;
}

bool isMpegAudio(const QByteArray &subtype)
{
    for (const char *name : {"mpeg", "mp3", "mpeg3", "mpg", "x-mpeg", "x-mp3", "x-mpeg3"}) {
        if (subtype == name)
            return true;
    }
    return false;
}

} // namespace capture

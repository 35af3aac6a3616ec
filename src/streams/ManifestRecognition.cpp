#include "ManifestRecognition.h"

#include "ManifestText.h"

namespace streams {

namespace {

constexpr qsizetype BodySearchBytes = 8192;

// The media type without parameters or line end: "video/MP2T; x=y\r\n" -> "video/MP2T".
QByteArrayView mediaType(QByteArrayView contentType)
{
    const qsizetype semicolon = contentType.indexOf(';');
    return trimmed(semicolon < 0 ? contentType : contentType.first(semicolon));
}

bool typeIsOneOf(QByteArrayView type, std::initializer_list<const char *> names)
{
    for (const char *name : names)
        if (type.size() == qsizetype(qstrlen(name)) && startsWithNoCase(type, name))
            return true;
    return false;
}

// Whether the address starts with "scheme://"; a "://" further on, in a
// query for instance, does not count.
bool hasScheme(QByteArrayView address)
{
    const qsizetype at = address.indexOf("://");
    if (at <= 0)
        return false;
    for (const char c : address.first(at))
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '+' || c == '-'
              || c == '.'))
            return false;
    return true;
}

// The path of an address, without scheme, host, query or fragment.
QByteArrayView pathOf(QByteArrayView address)
{
    QByteArrayView rest = hasScheme(address) ? address.sliced(address.indexOf("://") + 3) : address;
    const qsizetype slash = rest.indexOf('/');
    if (slash < 0)
        return {};
    rest = rest.sliced(slash);
    for (const char stop : {'?', '#'}) {
        const qsizetype at = rest.indexOf(stop);
        if (at >= 0)
            rest = rest.first(at);
    }
    return rest;
}

bool pathEndsWithOneOf(QByteArrayView path, std::initializer_list<const char *> suffixes)
{
    for (const char *suffix : suffixes)
        if (endsWithNoCase(path, suffix))
            return true;
    return false;
}

} // namespace

ManifestFormat bodyFormat(QByteArrayView body)
{
    QByteArrayView start = body.first(qMin(body.size(), BodySearchBytes));
    if (start.startsWith("\xEF\xBB\xBF"))
        start = start.sliced(3);
    if (trimmed(start).startsWith("#EXTM3U"))
        return ManifestFormat::Hls;
    if (containsNoCase(start, "urn:mpeg:dash:schema:mpd"))
        return ManifestFormat::Dash;
    return ManifestFormat::None;
}

ManifestFormat manifestFormat(const ResponseFacts &response)
{
    const QByteArrayView type = mediaType(response.contentType);
    if (typeIsOneOf(type, {"application/vnd.apple.mpegurl", "application/x-mpegurl", "audio/mpegurl",
                           "audio/x-mpegurl"}))
        return ManifestFormat::Hls;
    if (typeIsOneOf(type, {"application/dash+xml"}))
        return ManifestFormat::Dash;
    const QByteArrayView path = pathOf(response.address);
    if (endsWithNoCase(path, ".m3u8"))
        return ManifestFormat::Hls;
    if (endsWithNoCase(path, ".mpd"))
        return ManifestFormat::Dash;
    return bodyFormat(response.bodyStart);
}

bool looksLikeSegment(const ResponseFacts &response)
{
    const QByteArrayView type = mediaType(response.contentType);
    if (typeIsOneOf(type, {"video/mp2t", "video/iso.segment", "audio/iso.segment", "audio/aac", "audio/mp2t",
                           "text/vtt"}))
        return true;
    const QByteArrayView path = pathOf(response.address);
    if (pathEndsWithOneOf(path, {".ts", ".m4s", ".aac", ".vtt", ".webvtt", ".m4v", ".m4a", ".cmfv", ".cmfa"}))
        return true;
    return response.byteRange
           && (startsWithNoCase(type, "video/") || startsWithNoCase(type, "audio/") || endsWithNoCase(path, ".mp4"));
}

QUrl responseUrl(QByteArrayView address)
{
    const QByteArrayView clean = trimmed(address);
    if (hasScheme(clean))
        return QUrl::fromEncoded(clean.toByteArray());
    return QUrl::fromEncoded(QByteArray("http://") + clean.toByteArray());
}

} // namespace streams

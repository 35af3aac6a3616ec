#pragma once

#include <QByteArrayView>
#include <QUrl>

namespace streams {

// What a source knows about one response when it decides what it carries.
// The packet analysis fills it from the first packet of a response, the
// browser path from the request and response headers (no body).
struct ResponseFacts
{
    QByteArrayView address;       // "http://host/path?query" or "host/path?query"
    QByteArrayView contentType;   // header value; parameters and a line end allowed
    QByteArrayView bodyStart;     // first body bytes seen, may be empty
    bool byteRange = false;       // a Range request, a 206 answer or a Content-Range header
};

enum class ManifestFormat { None, Hls, Dash };

// A manifest by type, by path (".m3u8", ".mpd"; the query does not count) or
// by its first bytes.
ManifestFormat manifestFormat(const ResponseFacts &response);
inline bool isManifest(const ResponseFacts &response)
{
    return manifestFormat(response) != ManifestFormat::None;
}

// The kind a body announces: "#EXTM3U" first (after a byte-order mark and
// blanks), or the DASH schema name within its first 8 KiB.
ManifestFormat bodyFormat(QByteArrayView body);

// A piece of a stream rather than a whole file: a segment type ("video/mp2t",
// "video/iso.segment", "audio/aac", "text/vtt" …), a segment path (".ts",
// ".m4s", ".aac", ".vtt", ".m4v", ".m4a"), or a byte range of audio or video.
// Only meaningful on a host that served a manifest.
bool looksLikeSegment(const ResponseFacts &response);

// The address as a URL; "http://" is assumed when it has no scheme, as the
// packet analysis reports host and path only.
QUrl responseUrl(QByteArrayView address);

} // namespace streams

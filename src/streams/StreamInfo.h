#pragma once

#include <optional>

#include <QList>
#include <QString>
#include <QUrl>

namespace streams {

// Bounds that every manifest reader keeps, whatever a server sends.
inline constexpr qsizetype MaxManifestBytes = 4 * 1024 * 1024;
inline constexpr qsizetype MaxLineBytes = 64 * 1024;
inline constexpr qsizetype MaxRenditions = 1000;     // qualities plus audio tracks
inline constexpr qsizetype MaxSegments = 100000;

enum class StreamKind { Hls, Dash };

// How the media is protected. Aes128 covers every key the downloader can
// fetch from an address (HLS AES-128, and SAMPLE-AES with the plain
// "identity" key format); Drm is anything that needs a licence server.
enum class Encryption { None, Aes128, Drm };

// One quality: a variant playlist (HLS) or a video Representation (DASH).
struct Variant
{
    int width = 0;
    int height = 0;
    qint64 bandwidth = 0;     // bits per second, 0 when not given
    QString codecs;
    QString audioGroup;       // HLS AUDIO group id
    QString id;               // DASH Representation id
    QUrl address;             // variant playlist or BaseURL, resolved; may be empty
};

// One audio rendition: an HLS #EXT-X-MEDIA TYPE=AUDIO or a DASH audio Representation.
struct AudioTrack
{
    QString group;
    QString name;
    QString language;
    qint64 bandwidth = 0;
    QString codecs;
    bool isDefault = false;
    QUrl address;
};

struct StreamInfo
{
    StreamKind kind = StreamKind::Hls;
    bool master = false;                      // HLS master playlist: names variant playlists
    QList<Variant> variants;
    QList<AudioTrack> audio;
    std::optional<double> durationSeconds;    // unknown for a master until a variant is read
    bool live = false;
    Encryption encryption = Encryption::None;
    QUrl keyAddress;                          // first key address of an Aes128 stream
    QString keyFormat;                        // of the key that made the stream Drm
    int periods = 0;                          // DASH
    qsizetype segmentCount = 0;
    bool byteRanges = false;                  // segments are ranges of shared files
    QList<QUrl> segments;                     // distinct segment and init addresses, resolved
    QList<QUrl> otherPlaylists;               // subtitle, alternative video and I-frame playlists
};

// Why a manifest was not read. The window maps each code to a catalogue text.
enum class ManifestError {
    None,
    Empty,
    TooLarge,
    NotManifest,
    TooManyRenditions,
    TooManySegments,
    TooDeep,
    DocumentType,        // DTD or entity declarations in an MPD
    BadXml,
    NestedMaster,        // a "variant" that is itself a master: one level only
};

struct ManifestResult
{
    std::optional<StreamInfo> info;
    ManifestError error = ManifestError::None;
    QString detail;      // where it failed, for the log

    bool ok() const { return info.has_value(); }
};

// Parses a manifest of either kind; the kind comes from the body itself.
// base resolves relative addresses (the manifest's own address).
ManifestResult parseManifest(QByteArrayView body, const QUrl &base);

// A master with one of its variant playlists read: the master gains the
// variant's length, live flag, protection and segment addresses. Refuses a
// "variant" that is a master itself, so reading never goes deeper.
ManifestResult combineLevels(const StreamInfo &master, const ManifestResult &variant);

// The variant with the most pixels, then the highest bandwidth; null when none.
const Variant *bestVariant(const StreamInfo &info);

// Whether every address the manifest names (variants, audio, segments, keys,
// other playlists) has the manifest's own scheme, host and port: a request
// header sent to all of them then reaches no other host.
bool namesOnlyItsOrigin(const StreamInfo &info, const QUrl &manifest);

} // namespace streams

#include "StreamInfo.h"

#include <algorithm>

#include "DashManifest.h"
#include "HlsPlaylist.h"
#include "ManifestRecognition.h"
#include "ManifestText.h"

namespace streams {

ManifestResult parseManifest(QByteArrayView body, const QUrl &base)
{
    if (body.size() > MaxManifestBytes)
        return {std::nullopt, ManifestError::TooLarge, QStringLiteral("%1 bytes").arg(body.size())};
    switch (bodyFormat(body)) {
    case ManifestFormat::Hls:
        return parseHls(body, base);
    case ManifestFormat::Dash:
        return parseDash(body, base);
    case ManifestFormat::None:
        break;
    }
    if (trimmed(body).isEmpty() || trimmed(body) == "\xEF\xBB\xBF")
        return {std::nullopt, ManifestError::Empty, QStringLiteral("no content")};
    return {std::nullopt, ManifestError::NotManifest, QStringLiteral("neither #EXTM3U nor an MPD")};
}

ManifestResult combineLevels(const StreamInfo &master, const ManifestResult &variant)
{
    if (!variant.ok())
        return variant;
    const StreamInfo &media = *variant.info;
    if (media.master || media.kind != StreamKind::Hls || master.kind != StreamKind::Hls)
        return {std::nullopt, ManifestError::NestedMaster, QStringLiteral("variant is not a media playlist")};
    StreamInfo combined = master;
    combined.durationSeconds = media.durationSeconds;
    combined.live = media.live;
    combined.segmentCount = media.segmentCount;
    combined.byteRanges = media.byteRanges;
    combined.segments = media.segments;
    // Protection found anywhere counts; DRM outranks a plain key.
    if (media.encryption == Encryption::Drm
        || (media.encryption == Encryption::Aes128 && combined.encryption == Encryption::None)) {
        combined.encryption = media.encryption;
        combined.keyAddress = media.keyAddress;
        combined.keyFormat = media.keyFormat;
    }
    return {std::move(combined), ManifestError::None, {}};
}

const Variant *bestVariant(const StreamInfo &info)
{
    const Variant *best = nullptr;
    for (const Variant &v : info.variants) {
        const qint64 pixels = qint64(v.width) * v.height;
        const qint64 bestPixels = best ? qint64(best->width) * best->height : -1;
        if (!best || pixels > bestPixels || (pixels == bestPixels && v.bandwidth > best->bandwidth))
            best = &v;
    }
    return best;
}

bool namesOnlyItsOrigin(const StreamInfo &info, const QUrl &manifest)
{
    const auto sameOrigin = [&manifest](const QUrl &address) {
        return address.isEmpty()
               || (address.scheme() == manifest.scheme() && address.host() == manifest.host()
                   && address.port(-1) == manifest.port(-1));
    };
    QList<QUrl> named = info.segments + info.otherPlaylists;
    named << info.keyAddress;
    for (const Variant &variant : info.variants)
        named << variant.address;
    for (const AudioTrack &track : info.audio)
        named << track.address;
    return std::all_of(named.cbegin(), named.cend(), sameOrigin);
}

} // namespace streams

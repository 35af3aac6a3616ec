#include "HlsPlaylist.h"

#include <charconv>
#include <cmath>

#include <QSet>

#include "ManifestText.h"

namespace streams {

namespace {

constexpr double MaxSegmentSeconds = 24 * 3600;

QString text(QByteArrayView bytes)
{
    return QString::fromUtf8(bytes);
}

// "1280x720"; both sides 1..65535 or nothing.
std::pair<int, int> resolution(QByteArrayView value)
{
    const qsizetype x = value.indexOf('x') >= 0 ? value.indexOf('x') : value.indexOf('X');
    if (x < 0)
        return {0, 0};
    const auto w = decimal(value.first(x));
    const auto h = decimal(value.sliced(x + 1));
    if (!w || !h || *w < 1 || *h < 1 || *w > 65535 || *h > 65535)
        return {0, 0};
    return {int(*w), int(*h)};
}

// "#EXTINF:<seconds>,<title>": the seconds if finite and sane, else 0.
double segmentSeconds(QByteArrayView value)
{
    const qsizetype comma = value.indexOf(',');
    const QByteArrayView number = trimmed(comma < 0 ? value : value.first(comma));
    double seconds = 0;
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), seconds,
                                              std::chars_format::fixed);
    if (error != std::errc() || end != number.data() + number.size() || !std::isfinite(seconds)
        || seconds < 0 || seconds > MaxSegmentSeconds)
        return 0;
    return seconds;
}

struct HlsReader
{
    QUrl base;
    StreamInfo info;
    std::optional<Variant> pendingVariant;
    std::optional<double> pendingSeconds;
    QSet<QString> named;
    bool endList = false;
    double seconds = 0;
    ManifestError error = ManifestError::None;
    QString detail;

    void fail(ManifestError code, qsizetype line)
    {
        if (error == ManifestError::None) {
            error = code;
            detail = QStringLiteral("line %1").arg(line);
        }
    }

    qsizetype renditions() const
    {
        return info.variants.size() + info.audio.size() + info.otherPlaylists.size();
    }

    void nameSegment(QByteArrayView reference)
    {
        const QUrl address = resolveAddress(base, reference);
        if (!address.isEmpty() && !named.contains(address.toString())) {
            named.insert(address.toString());
            info.segments.append(address);
        }
    }

    void key(const AttributeList &attributes)
    {
        const QByteArrayView method = attributes.value("METHOD").value_or("NONE");
        const QByteArrayView format = attributes.value("KEYFORMAT").value_or("identity");
        if (method == "NONE")
            return;
        const bool clearKey = method == "AES-128" || (method == "SAMPLE-AES" && format == "identity");
        if (!clearKey) {
            info.encryption = Encryption::Drm;
            info.keyFormat = text(format);
        } else if (info.encryption == Encryption::None) {
            info.encryption = Encryption::Aes128;
            info.keyAddress = resolveAddress(base, attributes.value("URI").value_or(QByteArrayView()));
        }
    }

    void media(const AttributeList &attributes, qsizetype line)
    {
        const auto uri = attributes.value("URI");
        if (attributes.value("TYPE") == QByteArrayView("AUDIO")) {
            AudioTrack track;
            track.group = text(attributes.value("GROUP-ID").value_or(QByteArrayView()));
            track.name = text(attributes.value("NAME").value_or(QByteArrayView()));
            track.language = text(attributes.value("LANGUAGE").value_or(QByteArrayView()));
            track.isDefault = attributes.value("DEFAULT") == QByteArrayView("YES");
            if (uri)
                track.address = resolveAddress(base, *uri);
            info.audio.append(track);
        } else if (uri) {
            info.otherPlaylists.append(resolveAddress(base, *uri));
        }
        if (renditions() > MaxRenditions)
            fail(ManifestError::TooManyRenditions, line);
    }

    void tag(QByteArrayView line, qsizetype number)
    {
        const qsizetype colon = line.indexOf(':');
        const QByteArrayView name = colon < 0 ? line : line.first(colon);
        const QByteArrayView value = colon < 0 ? QByteArrayView() : line.sliced(colon + 1);
        if (name == "#EXT-X-STREAM-INF") {
            const AttributeList attributes(value);
            Variant variant;
            variant.bandwidth = decimal(attributes.value("BANDWIDTH").value_or(QByteArrayView())).value_or(0);
            std::tie(variant.width, variant.height) = resolution(attributes.value("RESOLUTION").value_or(QByteArrayView()));
            variant.codecs = text(attributes.value("CODECS").value_or(QByteArrayView()));
            variant.audioGroup = text(attributes.value("AUDIO").value_or(QByteArrayView()));
            pendingVariant = variant;
        } else if (name == "#EXT-X-MEDIA") {
            media(AttributeList(value), number);
        } else if (name == "#EXT-X-I-FRAME-STREAM-INF") {
            if (const auto uri = AttributeList(value).value("URI"))
                info.otherPlaylists.append(resolveAddress(base, *uri));
            if (renditions() > MaxRenditions)
                fail(ManifestError::TooManyRenditions, number);
        } else if (name == "#EXTINF") {
            pendingSeconds = segmentSeconds(value);
        } else if (name == "#EXT-X-ENDLIST") {
            endList = true;
        } else if (name == "#EXT-X-KEY" || name == "#EXT-X-SESSION-KEY") {
            key(AttributeList(value));
        } else if (name == "#EXT-X-BYTERANGE") {
            info.byteRanges = true;
        } else if (name == "#EXT-X-MAP") {
            const AttributeList attributes(value);
            if (const auto uri = attributes.value("URI"))
                nameSegment(*uri);
            if (attributes.value("BYTERANGE"))
                info.byteRanges = true;
        }
    }

    // A line that is not a tag: the address of the variant or segment above it.
    void address(QByteArrayView line, qsizetype number)
    {
        if (pendingVariant) {
            pendingVariant->address = resolveAddress(base, line);
            if (!line.isEmpty())       // an unreadable address drops its variant
                info.variants.append(*pendingVariant);
            pendingVariant.reset();
            if (renditions() > MaxRenditions)
                fail(ManifestError::TooManyRenditions, number);
            return;
        }
        seconds += pendingSeconds.value_or(0);
        pendingSeconds.reset();
        if (++info.segmentCount > MaxSegments)
            fail(ManifestError::TooManySegments, number);
        else if (!line.isEmpty())
            nameSegment(line);
    }
};

} // namespace

QUrl resolveAddress(const QUrl &base, QByteArrayView reference)
{
    if (reference.isEmpty())
        return {};
    const QUrl resolved = base.resolved(QUrl(QString::fromUtf8(reference), QUrl::TolerantMode));
    const QString scheme = resolved.scheme();
    if (!resolved.isValid() || resolved.host().isEmpty() || (scheme != u"http" && scheme != u"https"))
        return {};
    return resolved;
}

ManifestResult parseHls(QByteArrayView body, const QUrl &base)
{
    if (body.size() > MaxManifestBytes)
        return {std::nullopt, ManifestError::TooLarge, QStringLiteral("%1 bytes").arg(body.size())};
    LineReader lines(body);
    HlsReader reader;
    reader.base = base;
    bool header = false;
    while (const auto line = lines.next()) {
        if (!header) {
            if (line->text.isEmpty() && !line->overlong)
                continue;
            if (!line->text.startsWith("#EXTM3U"))
                return {std::nullopt, ManifestError::NotManifest, QStringLiteral("no #EXTM3U header")};
            header = true;
            continue;
        }
        if (line->overlong)
            reader.address({}, line->number);   // an unreadable address still ends its entry
        else if (line->text.startsWith("#EXT"))
            reader.tag(line->text, line->number);
        else if (!line->text.isEmpty() && !line->text.startsWith('#'))
            reader.address(line->text, line->number);
        if (reader.error != ManifestError::None)
            return {std::nullopt, reader.error, reader.detail};
    }
    if (!header)
        return {std::nullopt, ManifestError::Empty, QStringLiteral("no lines")};

    StreamInfo &info = reader.info;
    info.kind = StreamKind::Hls;
    info.master = !info.variants.isEmpty();
    if (!info.master) {
        info.durationSeconds = reader.seconds;
        info.live = !reader.endList;
    }
    return {std::move(info), ManifestError::None, {}};
}

} // namespace streams

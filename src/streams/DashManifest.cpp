#include "DashManifest.h"

#include <cmath>

#include <QXmlStreamReader>

#include "HlsPlaylist.h"

namespace streams {

namespace {

constexpr int MaxDepth = 32;

struct Representation
{
    Variant variant;
    QString mimeType;
    QString contentType;
};

struct Level
{
    QUrl base;
    bool baseSet = false;    // the first BaseURL of an element wins
    bool representation = false;
};

int number(QStringView text)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    return ok && value > 0 && value <= 65535 ? value : 0;
}

bool isAudioCodec(QStringView codecs)
{
    for (const auto prefix : {u"mp4a", u"opus", u"ac-3", u"ec-3", u"flac", u"vorbis"})
        if (codecs.startsWith(prefix, Qt::CaseInsensitive))
            return true;
    return false;
}

class DashReader
{
public:
    DashReader(QByteArrayView body, const QUrl &base)
        : m_xml(QByteArray::fromRawData(body.data(), body.size()))
    {
        m_levels.append({base, false, false});
    }

    ManifestResult read();

private:
    void start();
    void end();
    void finishRepresentation();
    QStringView attribute(const char *name) const { return m_attributes.value(QLatin1StringView(name)); }
    void fail(ManifestError code)
    {
        if (m_error == ManifestError::None)
            m_error = code;
    }

    QXmlStreamReader m_xml;
    QXmlStreamAttributes m_attributes;       // of the element being started
    QList<Level> m_levels;
    StreamInfo m_info;
    Representation m_set;                    // AdaptationSet defaults
    std::optional<Representation> m_rep;
    bool m_sawRoot = false;
    bool m_dynamic = false;
    std::optional<double> m_declared;        // MPD@mediaPresentationDuration
    double m_periodSeconds = 0;
    bool m_allPeriodsTimed = true;
    ManifestError m_error = ManifestError::None;
};

void DashReader::start()
{
    const QStringView name = m_xml.name();
    m_attributes = m_xml.attributes();
    if (m_levels.size() > MaxDepth)
        return fail(ManifestError::TooDeep);
    m_levels.append({m_levels.last().base, false, name == u"Representation"});
    if (!m_sawRoot) {
        if (name != u"MPD")
            return fail(ManifestError::NotManifest);
        m_sawRoot = true;
        m_dynamic = attribute("type") == u"dynamic";
        m_declared = isoDuration(attribute("mediaPresentationDuration"));
    } else if (name == u"Period") {
        ++m_info.periods;
        if (const auto seconds = isoDuration(attribute("duration")))
            m_periodSeconds += *seconds;
        else
            m_allPeriodsTimed = false;
    } else if (name == u"AdaptationSet") {
        m_set = {};
        m_set.contentType = attribute("contentType").toString();
        m_set.mimeType = attribute("mimeType").toString();
        m_set.variant.width = number(attribute("width"));
        m_set.variant.height = number(attribute("height"));
        m_set.variant.codecs = attribute("codecs").toString();
    } else if (name == u"Representation") {
        Representation rep = m_set;
        rep.variant.id = attribute("id").toString();
        if (const int w = number(attribute("width")))
            rep.variant.width = w;
        if (const int h = number(attribute("height")))
            rep.variant.height = h;
        bool ok = false;
        const qint64 bandwidth = attribute("bandwidth").toLongLong(&ok);
        rep.variant.bandwidth = ok && bandwidth > 0 ? bandwidth : 0;
        if (!attribute("codecs").isEmpty())
            rep.variant.codecs = attribute("codecs").toString();
        if (!attribute("mimeType").isEmpty())
            rep.mimeType = attribute("mimeType").toString();
        m_rep = rep;
    } else if (name == u"ContentProtection") {
        // Any protection scheme means a licence server; none of them can be saved.
        m_info.encryption = Encryption::Drm;
        if (m_info.keyFormat.isEmpty() || m_info.keyFormat.startsWith(u"urn:mpeg:dash:mp4protection"))
            m_info.keyFormat = attribute("schemeIdUri").toString();
    } else if (name == u"SegmentURL") {
        if (++m_info.segmentCount > MaxSegments)
            return fail(ManifestError::TooManySegments);
        const QUrl address = resolveAddress(m_levels.last().base, attribute("media").toUtf8());
        if (!address.isEmpty())
            m_info.segments.append(address);
    } else if (name == u"BaseURL") {
        const QString reference = m_xml.readElementText(QXmlStreamReader::SkipChildElements).trimmed();
        m_levels.removeLast();               // readElementText consumed the end element
        Level &owner = m_levels.last();
        const QUrl parent = m_levels.size() > 1 ? m_levels[m_levels.size() - 2].base : owner.base;
        const QUrl resolved = resolveAddress(parent, reference.toUtf8());
        if (!owner.baseSet && !resolved.isEmpty()) {
            owner.baseSet = true;
            owner.base = resolved;
            if (m_rep && owner.representation)
                m_rep->variant.address = resolved;
        }
    }
}

void DashReader::end()
{
    if (m_xml.name() == u"Representation")
        finishRepresentation();
    if (m_levels.size() > 1)
        m_levels.removeLast();
}

void DashReader::finishRepresentation()
{
    if (!m_rep)
        return;
    const Representation rep = *std::exchange(m_rep, std::nullopt);
    const QString &type = rep.contentType;
    const bool video = type == u"video" || rep.mimeType.startsWith(u"video/")
                       || (type.isEmpty() && !rep.mimeType.startsWith(u"audio/") && rep.variant.width > 0);
    const bool audio = !video
                       && (type == u"audio" || rep.mimeType.startsWith(u"audio/")
                           || (type.isEmpty() && rep.mimeType.isEmpty() && isAudioCodec(rep.variant.codecs)));
    // The same Representation repeats in every Period; it is one quality.
    if (video) {
        for (const Variant &known : std::as_const(m_info.variants))
            if (!rep.variant.id.isEmpty() && known.id == rep.variant.id)
                return;
        m_info.variants.append(rep.variant);
    } else if (audio) {
        for (const AudioTrack &known : std::as_const(m_info.audio))
            if (!rep.variant.id.isEmpty() && known.name == rep.variant.id)
                return;
        AudioTrack track;
        track.name = rep.variant.id;
        track.bandwidth = rep.variant.bandwidth;
        track.codecs = rep.variant.codecs;
        track.address = rep.variant.address;
        m_info.audio.append(track);
    }
    if (m_info.variants.size() + m_info.audio.size() > MaxRenditions)
        fail(ManifestError::TooManyRenditions);
}

ManifestResult DashReader::read()
{
    while (!m_xml.atEnd() && m_error == ManifestError::None) {
        switch (m_xml.readNext()) {
        case QXmlStreamReader::DTD:
        case QXmlStreamReader::EntityReference:
            fail(ManifestError::DocumentType);
            break;
        case QXmlStreamReader::StartElement:
            start();
            break;
        case QXmlStreamReader::EndElement:
            end();
            break;
        default:
            break;
        }
    }
    if (m_error == ManifestError::None && m_xml.hasError())
        fail(m_sawRoot || m_xml.error() != QXmlStreamReader::PrematureEndOfDocumentError
                 ? ManifestError::BadXml : ManifestError::Empty);
    if (m_error == ManifestError::None && !m_sawRoot)
        fail(ManifestError::NotManifest);
    if (m_error != ManifestError::None) {
        const QString where = QStringLiteral("line %1").arg(m_xml.lineNumber());
        return {std::nullopt, m_error, m_xml.hasError() ? where + u": " + m_xml.errorString() : where};
    }
    m_info.kind = StreamKind::Dash;
    m_info.live = m_dynamic;
    if (m_declared)
        m_info.durationSeconds = m_declared;
    else if (m_info.periods > 0 && m_allPeriodsTimed)
        m_info.durationSeconds = m_periodSeconds;
    return {std::move(m_info), ManifestError::None, {}};
}

} // namespace

std::optional<double> isoDuration(QStringView text)
{
    text = text.trimmed();
    if (!text.startsWith(u'P') || text.size() < 3 || text.size() > 64)
        return std::nullopt;
    double total = 0;
    bool inTime = false;
    bool any = false;
    qsizetype at = 1;
    while (at < text.size()) {
        if (text[at] == u'T') {
            if (inTime)
                return std::nullopt;
            inTime = true;
            ++at;
            continue;
        }
        const qsizetype start = at;
        while (at < text.size() && (text[at].isDigit() || text[at] == u'.'))
            ++at;
        if (at == start || at >= text.size())
            return std::nullopt;
        bool ok = false;
        const double value = text.sliced(start, at - start).toDouble(&ok);
        if (!ok || !std::isfinite(value) || value > 1e9)
            return std::nullopt;
        double unit = 0;
        switch (text[at].unicode()) {
        case 'Y': unit = inTime ? 0 : 365 * 86400.0; break;
        case 'M': unit = inTime ? 60 : 30 * 86400.0; break;
        case 'W': unit = inTime ? 0 : 7 * 86400.0; break;
        case 'D': unit = inTime ? 0 : 86400; break;
        case 'H': unit = inTime ? 3600 : 0; break;
        case 'S': unit = inTime ? 1 : 0; break;
        default: break;
        }
        if (unit == 0)
            return std::nullopt;
        total += value * unit;
        any = true;
        ++at;
    }
    return any ? std::optional<double>(total) : std::nullopt;
}

ManifestResult parseDash(QByteArrayView body, const QUrl &base)
{
    if (body.size() > MaxManifestBytes)
        return {std::nullopt, ManifestError::TooLarge, QStringLiteral("%1 bytes").arg(body.size())};
    if (body.trimmed().isEmpty())
        return {std::nullopt, ManifestError::Empty, QStringLiteral("no elements")};
    return DashReader(body, base).read();
}

} // namespace streams

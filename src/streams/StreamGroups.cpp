#include "StreamGroups.h"

#include "AgedTable.h"
#include "ManifestText.h"

namespace streams {

namespace {

struct Manifest
{
    QUrl address;
    QString host;
    bool hls = false;
    bool awaitingRead = true;
};

struct Named
{
    QString manifestKey;
    QUrl manifest;
};

// Scheme and fragment do not matter: a player may ask for http and https
// alike, and the fragment never reaches the server.
QString keyOf(const QUrl &url)
{
    return url.adjusted(QUrl::RemoveScheme | QUrl::RemoveUserInfo | QUrl::RemoveFragment)
        .toString(QUrl::FullyEncoded);
}

bool isMasterBody(QByteArrayView body)
{
    return body.indexOf("#EXT-X-STREAM-INF") >= 0;
}

} // namespace

struct StreamGroups::Tables
{
    explicit Tables(Limits l)
        : limits(l), manifests(l.manifests, l.idleMs), addresses(l.addresses, l.idleMs)
    {
    }

    Limits limits;
    AgedTable<Manifest> manifests;
    AgedTable<Named> addresses;
    QHash<QString, int> manifestsPerHost;
    QHash<QString, QString> latestPerHost;   // host -> key of its most recently used manifest

    void dropped(const QString &key, const Manifest &manifest)
    {
        if (--manifestsPerHost[manifest.host] <= 0) {
            manifestsPerHost.remove(manifest.host);
            latestPerHost.remove(manifest.host);
            return;
        }
        if (latestPerHost.value(manifest.host) != key)
            return;
        // Rare: the host's latest manifest went; any other of the host will do.
        manifests.forEach([&](const QString &otherKey, const Manifest &other) {
            if (other.host == manifest.host && otherKey != key)
                latestPerHost.insert(manifest.host, otherKey);
        });
    }

    void expire(qint64 now)
    {
        manifests.expire(now, [this](const QString &k, const Manifest &m) { dropped(k, m); });
        addresses.expire(now, [](const QString &, const Named &) {});
    }

    Manifest &list(const QString &key, const QUrl &address, bool hls, qint64 now)
    {
        if (Manifest *known = manifests.touch(key, now)) {
            latestPerHost.insert(known->host, key);
            return *known;
        }
        Manifest manifest{address, address.host(), hls, true};
        ++manifestsPerHost[manifest.host];
        latestPerHost.insert(manifest.host, key);
        return manifests.insert(key, manifest, now, [this](const QString &k, const Manifest &m) { dropped(k, m); });
    }

    // A manifest of the host that was listed and not yet read, if any.
    const Manifest *awaitingOn(const QString &host) const
    {
        const Manifest *found = nullptr;
        manifests.forEach([&](const QString &, const Manifest &m) {
            if (!found && m.hls && m.awaitingRead && m.host == host)
                found = &m;
        });
        return found;
    }

    void name(const QUrl &address, const QString &manifestKey, const QUrl &manifest, qint64 now)
    {
        if (!address.isEmpty())
            addresses.insert(keyOf(address), Named{manifestKey, manifest}, now, [](const QString &, const Named &) {});
    }
};

StreamGroups::StreamGroups() : StreamGroups(Limits{}) {}
StreamGroups::StreamGroups(Limits limits) : m(std::make_unique<Tables>(limits)) {}
StreamGroups::~StreamGroups() = default;
StreamGroups::StreamGroups(StreamGroups &&) noexcept = default;
StreamGroups &StreamGroups::operator=(StreamGroups &&) noexcept = default;

GroupDecision StreamGroups::classify(const ResponseFacts &response, qint64 nowMs)
{
    m->expire(nowMs);
    const QUrl url = responseUrl(response.address);
    if (!url.isValid() || url.host().isEmpty())
        return {};
    const QString key = keyOf(url);
    if (const Manifest *listed = m->manifests.touch(key, nowMs)) {
        m->latestPerHost.insert(listed->host, key);
        return {Grouping::SameStream, listed->address};
    }
    if (const Named *named = m->addresses.touch(key, nowMs)) {
        m->manifests.touch(named->manifestKey, nowMs);
        return {Grouping::PartOfStream, named->manifest};
    }
    const QString host = url.host();
    const ManifestFormat format = manifestFormat(response);
    if (format != ManifestFormat::None) {
        if (format == ManifestFormat::Hls && !isMasterBody(response.bodyStart)) {
            if (const Manifest *master = m->awaitingOn(host)) {
                const QUrl owner = master->address;
                m->manifests.touch(keyOf(owner), nowMs);
                m->name(url, keyOf(owner), owner, nowMs);
                return {Grouping::PartOfStream, owner};
            }
        }
        m->list(key, url, format == ManifestFormat::Hls, nowMs);
        return {Grouping::NewStream, url};
    }
    if (m->manifestsPerHost.contains(host) && looksLikeSegment(response)) {
        const QString ownerKey = m->latestPerHost.value(host);
        if (const Manifest *owner = m->manifests.touch(ownerKey, nowMs))
            return {Grouping::PartOfStream, owner->address};
    }
    return {};
}

void StreamGroups::learn(const QUrl &manifest, const StreamInfo &info, qint64 nowMs)
{
    m->expire(nowMs);
    const QString key = keyOf(manifest);
    Manifest &listed = m->list(key, manifest, info.kind == StreamKind::Hls, nowMs);
    listed.awaitingRead = false;
    const QUrl owner = listed.address;
    for (const Variant &v : info.variants)
        m->name(v.address, key, owner, nowMs);
    for (const AudioTrack &a : info.audio)
        m->name(a.address, key, owner, nowMs);
    for (const QUrl &playlist : info.otherPlaylists)
        m->name(playlist, key, owner, nowMs);
    m->name(info.keyAddress, key, owner, nowMs);
    // The first segments matter first; past the bound the host rule still holds.
    const qsizetype room = m->limits.addresses / 2;
    for (qsizetype i = 0; i < info.segments.size() && i < room; ++i)
        m->name(info.segments[i], key, owner, nowMs);
}

qsizetype StreamGroups::manifestCount() const
{
    return m->manifests.size();
}

qsizetype StreamGroups::addressCount() const
{
    return m->addresses.size();
}

} // namespace streams

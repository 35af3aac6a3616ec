#include "StreamGroups.h"

#include "AgedTable.h"
#include "ManifestText.h"

namespace streams {

// Named rather than anonymous: the tables below are members of a class with linkage.
namespace grouping {

struct Manifest
{
    QUrl address;
    QByteArray host;
    bool hls = false;
    bool awaitingRead = true;
};

struct Named
{
    QByteArray manifestKey;
    QUrl manifest;
};

// Where a response came from, as the tables compare it: "//host[:port]/path?query".
// Scheme and fragment do not matter: a player may ask for http and https
// alike, and the fragment never reaches the server.
struct Place
{
    QByteArray key;
    QByteArray host;    // lower case, without port
};

Place placeOf(const QUrl &url)
{
    if (!url.isValid() || url.host().isEmpty())
        return {};
    return {url.adjusted(QUrl::RemoveScheme | QUrl::RemoveUserInfo | QUrl::RemoveFragment).toEncoded(),
            url.host(QUrl::FullyEncoded).toLatin1()};
}

bool needsQUrl(char c)
{
    switch (c) {
    case '%': case '"': case '<': case '>': case '\\': case '^': case '`': case '{': case '|': case '}':
    case '@': case '[': case ']':
        return true;
    default:
        return c <= 0x20 || c >= 0x7f;
    }
}

// Reported addresses are plain ASCII nearly always: cut them up in place,
// and leave anything QUrl would rewrite (escapes, unsafe characters, user
// info, other text) to QUrl so both sides compare alike.
Place placeOf(QByteArrayView address)
{
    address = trimmed(address);
    const qsizetype scheme = address.indexOf("://");
    const qsizetype slash = address.indexOf('/');
    QByteArrayView rest = (scheme > 0 && (slash < 0 || slash > scheme)) ? address.sliced(scheme + 3) : address;
    for (const char c : rest)
        if (needsQUrl(c))
            return placeOf(responseUrl(address));
    const qsizetype fragment = rest.indexOf('#');
    if (fragment >= 0)
        rest = rest.first(fragment);
    qsizetype end = 0;
    while (end < rest.size() && rest[end] != '/' && rest[end] != '?')
        ++end;
    const QByteArrayView authority = rest.first(end);
    const qsizetype colon = authority.indexOf(':');
    const QByteArray host = (colon < 0 ? authority : authority.first(colon)).toByteArray().toLower();
    if (host.isEmpty())
        return {};
    return {"//" + authority.toByteArray().toLower() + rest.sliced(end), host};
}

// The folder of a table key: "//host/tv/master.m3u8?t=1" gives "//host/tv/".
QByteArrayView folderOf(QByteArrayView key)
{
    const qsizetype query = key.indexOf('?');
    if (query >= 0)
        key = key.first(query);
    return key.first(key.lastIndexOf('/') + 1);
}

bool isMasterBody(QByteArrayView body)
{
    return body.indexOf("#EXT-X-STREAM-INF") >= 0;
}

} // namespace grouping

using namespace grouping;

struct StreamGroups::Tables
{
    explicit Tables(Limits l)
        : limits(l), manifests(l.manifests, l.idleMs), addresses(l.addresses, l.idleMs),
          servingHosts(l.manifests, l.idleMs)
    {
    }

    Limits limits;
    AgedTable<Manifest> manifests;
    AgedTable<Named> addresses;
    AgedTable<Named> servingHosts;                 // other hosts a read manifest sends players to
    QHash<QByteArray, int> manifestsPerHost;
    QHash<QByteArray, QByteArray> latestPerHost;   // host -> key of its most recently used manifest

    void dropped(const QByteArray &key, const Manifest &manifest)
    {
        if (--manifestsPerHost[manifest.host] <= 0) {
            manifestsPerHost.remove(manifest.host);
            latestPerHost.remove(manifest.host);
            return;
        }
        if (latestPerHost.value(manifest.host) != key)
            return;
        // Rare: the host's latest manifest went; any other of the host will do.
        manifests.forEach([&](const QByteArray &otherKey, const Manifest &other) {
            if (other.host == manifest.host && otherKey != key)
                latestPerHost.insert(manifest.host, otherKey);
        });
    }

    void expire(qint64 now)
    {
        manifests.expire(now, [this](const QByteArray &k, const Manifest &entry) { dropped(k, entry); });
        addresses.expire(now, [](const QByteArray &, const Named &) {});
        servingHosts.expire(now, [](const QByteArray &, const Named &) {});
    }

    Manifest &list(const Place &place, const QUrl &address, bool hls, qint64 now)
    {
        latestPerHost.insert(place.host, place.key);
        if (Manifest *known = manifests.touch(place.key, now))
            return *known;
        ++manifestsPerHost[place.host];
        return manifests.insert(place.key, Manifest{address, place.host, hls, true}, now,
                                [this](const QByteArray &k, const Manifest &entry) { dropped(k, entry); });
    }

    // A master listed and not yet read whose folder holds that playlist, if
    // any. Another folder of the host is another stream: a page may start
    // two at once, and a browser's report has no body to tell a master by.
    const Manifest *awaitingAbove(const Place &playlist) const
    {
        const Manifest *found = nullptr;
        manifests.forEach([&](const QByteArray &key, const Manifest &entry) {
            if (!found && entry.hls && entry.awaitingRead && entry.host == playlist.host
                && playlist.key.startsWith(folderOf(key)))
                found = &entry;
        });
        return found;
    }

    void name(const QByteArray &key, const QByteArray &manifestKey, const QUrl &manifest, qint64 now)
    {
        if (!key.isEmpty())
            addresses.insert(key, Named{manifestKey, manifest}, now, [](const QByteArray &, const Named &) {});
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
    const Place place = placeOf(response.address);
    if (place.key.isEmpty())
        return {};
    if (const Manifest *listed = m->manifests.touch(place.key, nowMs)) {
        m->latestPerHost.insert(listed->host, place.key);
        return {Grouping::SameStream, listed->address};
    }
    if (const Named *named = m->addresses.touch(place.key, nowMs)) {
        m->manifests.touch(named->manifestKey, nowMs);
        return {Grouping::PartOfStream, named->manifest};
    }
    const ManifestFormat format = manifestFormat(response);
    if (format != ManifestFormat::None) {
        if (format == ManifestFormat::Hls && !isMasterBody(response.bodyStart)) {
            if (const Manifest *master = m->awaitingAbove(place)) {
                const QUrl owner = master->address;
                const QByteArray ownerKey = placeOf(owner).key;
                m->manifests.touch(ownerKey, nowMs);
                m->name(place.key, ownerKey, owner, nowMs);
                return {Grouping::PartOfStream, owner};
            }
        }
        const QUrl url = responseUrl(response.address);
        m->list(place, url, format == ManifestFormat::Hls, nowMs);
        return {Grouping::NewStream, url};
    }
    if (!looksLikeSegment(response))
        return {};
    if (m->manifestsPerHost.contains(place.host)) {
        if (const Manifest *owner = m->manifests.touch(m->latestPerHost.value(place.host), nowMs))
            return {Grouping::PartOfStream, owner->address};
    }
    if (const Named *served = m->servingHosts.touch(place.host, nowMs)) {
        m->manifests.touch(served->manifestKey, nowMs);
        return {Grouping::PartOfStream, served->manifest};
    }
    return {};
}

void StreamGroups::learn(const QUrl &manifest, const StreamInfo &info, qint64 nowMs)
{
    m->expire(nowMs);
    const Place place = placeOf(manifest);
    if (place.key.isEmpty())
        return;
    Manifest &listed = m->list(place, manifest, info.kind == StreamKind::Hls, nowMs);
    listed.awaitingRead = false;
    const QUrl owner = listed.address;
    const auto name = [&](const QUrl &address) {
        const Place named = placeOf(address);
        m->name(named.key, place.key, owner, nowMs);
        if (!named.host.isEmpty() && named.host != place.host && !m->servingHosts.touch(named.host, nowMs))
            m->servingHosts.insert(named.host, Named{place.key, owner}, nowMs, [](const QByteArray &, const Named &) {});
    };
    for (const Variant &v : info.variants)
        name(v.address);
    for (const AudioTrack &a : info.audio)
        name(a.address);
    for (const QUrl &playlist : info.otherPlaylists)
        name(playlist);
    name(info.keyAddress);
    // The first segments matter first; past the bound the host rule still holds.
    const qsizetype room = m->limits.addresses / 2;
    for (qsizetype i = 0; i < info.segments.size() && i < room; ++i)
        name(info.segments[i]);
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

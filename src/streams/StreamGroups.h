#pragma once

#include <memory>

#include <QUrl>

#include "ManifestRecognition.h"
#include "StreamInfo.h"

namespace streams {

enum class Grouping {
    Unrelated,       // nothing to do with a listed stream: the usual rules apply
    NewStream,       // a manifest not listed before; it is listed now and wants a row
    SameStream,      // a listed manifest fetched again (a live playlist reloads)
    PartOfStream,    // a variant playlist, key or segment of a listed stream
};

struct GroupDecision
{
    Grouping grouping = Grouping::Unrelated;
    QUrl stream;     // the listed manifest it belongs to (NewStream: itself)

    bool addsRow() const { return grouping == Grouping::NewStream || grouping == Grouping::Unrelated; }
};

// Remembers the manifests that were listed and the addresses they name, so
// that the playlists and segments a player fetches after a manifest add no
// rows of their own. A segment belongs to a stream when its address was
// named, or by its type or path on the manifest's host or on a host the read
// manifest sends players to (a CDN). Bounded and aged; the caller passes the
// time. Not locked: capture threads and the window sharing one table guard
// it with one mutex (a verdict costs well under a microsecond).
class StreamGroups
{
public:
    struct Limits
    {
        qsizetype manifests = 256;
        qsizetype addresses = 4096;
        qint64 idleMs = 10 * 60 * 1000;
    };

    StreamGroups();
    explicit StreamGroups(Limits limits);
    ~StreamGroups();
    StreamGroups(StreamGroups &&) noexcept;
    StreamGroups &operator=(StreamGroups &&) noexcept;

    // Decides what one response is. A NewStream answer lists the manifest.
    // An HLS media playlist that arrives while a master in its folder (or
    // above) waits to be read joins that master: players fetch variants at once.
    GroupDecision classify(const ResponseFacts &response, qint64 nowMs);

    // The manifest was read: from now on the addresses it names (variant and
    // audio playlists, key, segments) and segments on their hosts belong to
    // it. Lists it if needed.
    void learn(const QUrl &manifest, const StreamInfo &info, qint64 nowMs);

    qsizetype manifestCount() const;
    qsizetype addressCount() const;

private:
    struct Tables;
    std::unique_ptr<Tables> m;
};

} // namespace streams

#pragma once

#include <QElapsedTimer>
#include <QMutex>

#include "StreamGroups.h"

namespace streams {

// The one place where every source of responses asks whether a response
// makes a row of its own: the packet analysis on its capture threads and the
// browser adapter on the GUI thread share one sorter, so a stream seen by
// both is grouped once. Thread-safe; the clock is its own (monotonic).
//
// A source asks before it reports a response:
//   const GroupDecision d = sorter.classify({address, contentType, bodyStart, byteRange});
//   NewStream:                 report it whatever its size, typed "HLS" or
//                              "DASH" (manifestFormat), so the page lists and reads it;
//   SameStream, PartOfStream:  report nothing;
//   Unrelated:                 the source's usual rules.
class StreamSorter
{
public:
    StreamSorter();
    explicit StreamSorter(StreamGroups::Limits limits);

    // A response's verdict (see StreamGroups::classify).
    GroupDecision classify(const ResponseFacts &response);
    // The window read the manifest: its playlists, keys and segments join it.
    void learn(const QUrl &manifest, const StreamInfo &info);

    qsizetype manifestCount() const;

private:
    mutable QMutex m_lock;
    StreamGroups m_groups;
    QElapsedTimer m_clock;
};

} // namespace streams

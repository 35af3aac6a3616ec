#include "StreamSorter.h"

namespace streams {

StreamSorter::StreamSorter() : StreamSorter(StreamGroups::Limits{}) {}

StreamSorter::StreamSorter(StreamGroups::Limits limits) : m_groups(limits)
{
    m_clock.start();
}

GroupDecision StreamSorter::classify(const ResponseFacts &response)
{
    const QMutexLocker locker(&m_lock);
    return m_groups.classify(response, m_clock.elapsed());
}

void StreamSorter::learn(const QUrl &manifest, const StreamInfo &info)
{
    const QMutexLocker locker(&m_lock);
    m_groups.learn(manifest, info, m_clock.elapsed());
}

qsizetype StreamSorter::manifestCount() const
{
    const QMutexLocker locker(&m_lock);
    return m_groups.manifestCount();
}

} // namespace streams

#include "ReportQueue.h"

bool ReportQueue::push(MediaReport report)
{
    QMutexLocker locker(&m_lock);
    if (m_reports.size() >= m_capacity) {
        ++m_dropped;
        return false;
    }
    for (const MediaReport &waiting : std::as_const(m_reports)) {
        if (waiting.url == report.url)
            return false;
    }
    m_reports.enqueue(std::move(report));
    return true;
}

std::optional<MediaReport> ReportQueue::take()
{
    QMutexLocker locker(&m_lock);
    if (m_reports.isEmpty())
        return std::nullopt;
    return m_reports.dequeue();
}

quint64 ReportQueue::takeDropped()
{
    QMutexLocker locker(&m_lock);
    return std::exchange(m_dropped, 0);
}

qsizetype ReportQueue::size() const
{
    QMutexLocker locker(&m_lock);
    return m_reports.size();
}

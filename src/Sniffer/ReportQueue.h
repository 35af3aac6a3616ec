#pragma once

#include "MediaReport.h"

#include <QMutex>
#include <QQueue>

#include <optional>

// Hands reports from the capture threads to the window. Bounded: a flood of
// reports drops the surplus (counted) instead of growing without limit, and
// a report already waiting is not queued twice.
class ReportQueue
{
public:
    explicit ReportQueue(qsizetype capacity = 1000) : m_capacity(capacity) {}

    // Any thread. False when the report was dropped.
    bool push(MediaReport report);
    std::optional<MediaReport> take();
    // Reports dropped since the last call.
    quint64 takeDropped();
    qsizetype size() const;

private:
    mutable QMutex m_lock;
    QQueue<MediaReport> m_reports;
    qsizetype m_capacity;
    quint64 m_dropped = 0;
};

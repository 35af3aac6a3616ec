#pragma once

#include <QtGlobal>

#include <optional>

// What the progress display should change after one progress notification.
struct ProgressStep
{
    std::optional<int> percent;      // a new whole percentage
    std::optional<double> rate;      // bytes per millisecond since the last refresh
    std::optional<int> secondsLeft;  // estimated time left
};

// Turns progress notifications into display changes: the percentage as soon
// as it moves, rate and time left at most once a second, so a fast transfer
// does not flood the labels. Times are milliseconds on the caller's clock.
class ProgressMeter
{
public:
    static constexpr qint64 refreshMs = 1000;

    void reset();
    ProgressStep update(quint64 bytesRead, bool sizeKnown, quint64 total, qint64 nowMs);

    int lastPercent() const { return m_lastPercent; }

private:
    quint64 m_lastBytes = 0;
    int m_lastPercent = -1;
    qint64 m_lastUpdate = 0;
    qint64 m_startTime = 0;
};

#include "ProgressMeter.h"

#include "TransferTexts.h"

void ProgressMeter::reset()
{
    m_lastPercent = -1;
    m_lastBytes = 0;
}

ProgressStep ProgressMeter::update(quint64 bytesRead, bool sizeKnown, quint64 total, qint64 nowMs)
{
    ProgressStep step;
    if (m_lastPercent == -1) {
        m_startTime = nowMs;
        m_lastUpdate = nowMs;
    }
    if (sizeKnown) {
        const std::optional<int> percent = TransferTexts::percentDone(bytesRead, total);
        if (percent && *percent != m_lastPercent) {
            step.percent = percent;
            m_lastPercent = *percent;
        }
    }
    const qint64 sinceUpdate = nowMs - m_lastUpdate;
    if (sinceUpdate <= refreshMs)
        return step;

    // A restarted count (fewer bytes than last time) shows no negative rate.
    const quint64 gained = bytesRead > m_lastBytes ? bytesRead - m_lastBytes : 0;
    step.rate = double(gained) / double(sinceUpdate);
    m_lastBytes = bytesRead;
    m_lastUpdate = nowMs;

    if (sizeKnown && bytesRead != 0)
        step.secondsLeft = TransferTexts::secondsLeft(nowMs - m_startTime, bytesRead, total);
    return step;
}

#pragma once

#include "ToolOutput.h"

// One figure for a download the tool makes in parts (the video track, then
// the audio track), each of which it counts from 0 to 100 on its own. The
// bar must not run back to 0 when the next part starts; the first part,
// the video and by far the larger, fills most of it. Amounts add up over the
// parts.
class PartsProgress
{
public:
    explicit PartsProgress(int parts = 1);

    // The whole download's progress for one line of the tool's: the figure
    // never lower than the one before.
    ToolProgress overall(const ToolProgress &line);

private:
    int m_parts;
    int m_part = 0;
    QString m_partName;
    quint64 m_before = 0;   // bytes of the parts already fetched
    quint64 m_lastDone = 0; // bytes of the current part so far
    float m_overall = 0;
};

#include "PartsProgress.h"

#include <QtGlobal>

namespace {

// Share of the bar the first part fills; the later parts share the rest.
constexpr float firstShare = 90;

} // namespace

PartsProgress::PartsProgress(int parts) : m_parts(qMax(1, parts)) {}

ToolProgress PartsProgress::overall(const ToolProgress &line)
{
    if (!line.part.isEmpty() && line.part != m_partName) {
        if (!m_partName.isEmpty() && m_part + 1 < m_parts) {
            ++m_part;
            m_before += m_lastDone;
            m_lastDone = 0;
        }
        m_partName = line.part;
    }
    float start = 0;
    float share = 100;
    if (m_parts > 1) {
        const float rest = (100 - firstShare) / float(m_parts - 1);
        start = m_part == 0 ? 0 : firstShare + rest * float(m_part - 1);
        share = m_part == 0 ? firstShare : rest;
    }
    ToolProgress whole = line;
    m_overall = qMax(m_overall, qMin(100.0f, start + share * qBound(0.0f, line.percent, 100.0f) / 100));
    whole.percent = m_overall;
    if (line.done) {
        m_lastDone = qMax(m_lastDone, *line.done);
        whole.done = m_before + *line.done;
    }
    if (line.total)
        whole.total = m_before + *line.total;
    return whole;
}

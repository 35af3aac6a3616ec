#include "UpdateSchedule.h"

namespace UpdateSchedule {

Decision decide(const QString &lastDay, const QString &lastYear, const QDate &today)
{
    Decision decision;
    decision.day = QString::number(today.dayOfYear());
    decision.year = QString::number(today.year());
    decision.due = lastDay != decision.day || lastYear != decision.year;
    return decision;
}

} // namespace UpdateSchedule

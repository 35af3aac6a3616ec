#pragma once

#include <QDate>
#include <QString>

// Once a day the downloader tool is updated. The day of the year alone
// repeats every year, so the year is kept beside it in a key of its own.
namespace UpdateSchedule {

struct Decision
{
    bool due = false;
    QString day;   // today's day of the year, to store under "last_update"
    QString year;  // today's year, to store under "last_update_year"
};

// lastYear is empty in files written before the year was kept: such a file
// updates once more, then carries the year.
Decision decide(const QString &lastDay, const QString &lastYear, const QDate &today);

} // namespace UpdateSchedule

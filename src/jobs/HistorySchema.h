#pragma once

#include "JobTypes.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariantList>

// The layout of the history's tables, the steps that make or upgrade it, and
// a row as a JobRecord. Used on the history's own thread and connection.
namespace HistorySchema {

// Version 1: the jobs table and the meta table that holds this number.
// Version 2: a job's further choices, one JSON object in "choices".
constexpr int version = 2;

// Longest texts stored; longer ones are cut (a name or an error text of a
// megabyte is a fault, never something worth keeping).
constexpr int maxName = 1024;
constexpr int maxAddress = 32 * 1024;
constexpr int maxPath = 4096;
constexpr int maxText = 4096;
constexpr int maxHeader = 64 * 1024;
constexpr int maxShort = 256;
constexpr int maxChoices = 64 * 1024;

struct Prepared
{
    bool ok = false;
    int found = 0;          // the version the file had; 0 for a new or an unversioned one
    bool upgraded = false;  // an older layout was brought up to this version
    QSqlError error;        // when not ok and the database failed
};

// Creates the tables in an empty database or brings an older layout up to
// this version, inside the caller's transaction. A newer version is left as
// it is: not ok, with no error.
Prepared prepare(QSqlDatabase &db);

// "SELECT <every column> FROM jobs " for read().
QString selectAll();
// The prepared statements' texts: an insert of every column, an update of
// every column but the id (bound last).
QString insertStatement();
QString updateStatement();

// The values bound to insertStatement() and to updateStatement(). Texts
// are cut to their maxima; a job ended for good keeps no secret; an invalid
// creation time is stored as now.
QVariantList values(const JobRecord &record);
QVariantList updateValues(const JobRecord &record);

// The record of the current row of a selectAll() query.
JobRecord read(const QSqlQuery &query);

// Whether the state ends a job for good, so its request header and cookie
// source are erased. A failed job may be retried and keeps them.
bool erasesSecrets(JobState state);

} // namespace HistorySchema

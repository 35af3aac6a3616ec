#include "HistorySchema.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QStringList>

namespace {

struct Column
{
    const char *name;
    const char *declaration;
};

// Every column of the jobs table, in the order values() and read() use. id
// and created come first: an update leaves both as they are. A column added
// in a later version goes at the end with a default, so the upgrade of an
// older table can add it.
constexpr Column columns[] = {
    {"id", "INTEGER PRIMARY KEY AUTOINCREMENT"},   // never given twice
    {"created", "INTEGER NOT NULL DEFAULT 0"},   // ms since the epoch, UTC
    {"position", "INTEGER NOT NULL DEFAULT 0"},
    {"state", "INTEGER NOT NULL DEFAULT 0"},
    {"source", "INTEGER NOT NULL DEFAULT 0"},
    {"kind", "INTEGER NOT NULL DEFAULT 0"},
    {"name", "TEXT DEFAULT ''"},
    {"name_key", "TEXT DEFAULT ''"},              // the name case-folded, for search
    {"address", "TEXT DEFAULT ''"},
    {"site", "TEXT DEFAULT ''"},
    {"request_header", "BLOB"},
    {"selector", "TEXT DEFAULT ''"},
    {"target", "TEXT DEFAULT ''"},
    {"one_origin", "INTEGER NOT NULL DEFAULT 0"},
    {"cookie_source", "TEXT DEFAULT ''"},
    {"done", "INTEGER NOT NULL DEFAULT 0"},
    {"total", "INTEGER NOT NULL DEFAULT -1"},
    {"percent", "INTEGER NOT NULL DEFAULT -1"},
    {"rate", "REAL NOT NULL DEFAULT -1"},
    {"seconds_left", "INTEGER NOT NULL DEFAULT -1"},
    {"part", "INTEGER NOT NULL DEFAULT 0"},
    {"parts", "INTEGER NOT NULL DEFAULT 1"},
    {"recorded_seconds", "INTEGER NOT NULL DEFAULT -1"},
    {"result_state", "INTEGER NOT NULL DEFAULT 3"},
    {"result_file", "TEXT DEFAULT ''"},
    {"result_size", "INTEGER NOT NULL DEFAULT 0"},
    {"error_code", "INTEGER NOT NULL DEFAULT 0"},
    {"error_text", "TEXT DEFAULT ''"},
    {"tool_line", "TEXT DEFAULT ''"},
    {"note", "TEXT DEFAULT ''"},
    {"part_file", "TEXT DEFAULT ''"},
    {"validator", "BLOB"},
    {"resume_total", "INTEGER NOT NULL DEFAULT -1"},
    {"ended", "INTEGER"},                         // ms since the epoch, UTC; NULL while unfinished
    {"folder", "TEXT DEFAULT ''"},
    {"choices", "TEXT DEFAULT '{}'"},            // JobRequest::extraChoices(), a JSON object
};
constexpr int columnCount = int(std::size(columns));
constexpr int fixedColumns = 2;   // id, created

QString columnList(int from, const char *suffix)
{
    QStringList names;
    for (int i = from; i < columnCount; ++i)
        names << QLatin1String(columns[i].name) + QLatin1String(suffix);
    return names.join(QLatin1String(", "));
}

bool run(QSqlQuery &query, const QString &statement, QSqlError &error)
{
    if (query.exec(statement))
        return true;
    error = query.lastError();
    return false;
}

// Cut at a character, never between the halves of a surrogate pair.
QString cut(const QString &text, int max)
{
    if (text.size() <= max)
        return text;
    return text.left(text.at(max - 1).isHighSurrogate() ? max - 1 : max);
}

QVariant millis(const QDateTime &time)
{
    return time.isValid() ? QVariant(time.toMSecsSinceEpoch()) : QVariant(QMetaType::fromType<qint64>());
}

QDateTime fromMillis(const QVariant &value)
{
    return value.isNull() ? QDateTime() : QDateTime::fromMSecsSinceEpoch(value.toLongLong(), Qt::UTC);
}

template<typename Enum>
Enum enumValue(const QVariant &value, Enum last, Enum fallback)
{
    const int number = value.toInt();
    return number >= 0 && number <= int(last) ? Enum(number) : fallback;
}

// Too long is a fault: the job keeps its usual choices then.
QString choicesText(const JobRequest &request)
{
    const QByteArray text = QJsonDocument(request.extraChoices()).toJson(QJsonDocument::Compact);
    return text.size() <= HistorySchema::maxChoices ? QString::fromUtf8(text) : QStringLiteral("{}");
}

bool create(QSqlQuery &query, QSqlError &error)
{
    QStringList definitions;
    for (const Column &column : columns)
        definitions << QLatin1String(column.name) + QLatin1Char(' ') + QLatin1String(column.declaration);
    return run(query, QStringLiteral("CREATE TABLE IF NOT EXISTS meta (key TEXT PRIMARY KEY, value TEXT)"), error)
        && run(query, QStringLiteral("CREATE TABLE IF NOT EXISTS jobs (%1)").arg(definitions.join(QLatin1String(", "))),
               error);
}

// Whatever columns the jobs table lacks are added with their defaults.
bool addMissingColumns(QSqlDatabase &db, QSqlError &error)
{
    QSqlQuery query(db);
    if (!run(query, QStringLiteral("PRAGMA table_info(jobs)"), error))
        return false;
    QSet<QString> present;
    while (query.next())
        present.insert(query.value(1).toString());
    for (const Column &column : columns) {
        if (!present.contains(QLatin1String(column.name))
            && !run(query, QStringLiteral("ALTER TABLE jobs ADD COLUMN %1 %2")
                               .arg(QLatin1String(column.name), QLatin1String(column.declaration)), error))
            return false;
    }
    return true;
}

// Version 0: a jobs table from before the layout had a number. Its missing
// columns are added, and the search columns are filled from the name and
// the address.
bool upgradeToOne(QSqlDatabase &db, QSqlError &error)
{
    QSqlQuery query(db);
    if (!addMissingColumns(db, error))
        return false;
    if (!run(query, QStringLiteral("SELECT id, name, address FROM jobs"), error))
        return false;
    QList<std::tuple<qint64, QString, QString>> rows;
    while (query.next()) {
        JobRequest request;
        request.address = QUrl::fromEncoded(query.value(2).toByteArray());
        rows.append({query.value(0).toLongLong(), query.value(1).toString().toCaseFolded(), request.site()});
    }
    QSqlQuery update(db);
    if (!update.prepare(QStringLiteral("UPDATE jobs SET name_key = ?, site = ? WHERE id = ?"))) {
        error = update.lastError();
        return false;
    }
    for (const auto &[id, nameKey, site] : rows) {
        update.addBindValue(nameKey);
        update.addBindValue(site);
        update.addBindValue(id);
        if (!update.exec()) {
            error = update.lastError();
            return false;
        }
    }
    return true;
}

// Version 1: the choices column, an empty object for every job so far.
bool upgradeToTwo(QSqlDatabase &db, QSqlError &error)
{
    return addMissingColumns(db, error);
}

using Upgrade = bool (*)(QSqlDatabase &, QSqlError &);
// The step that brings version n - 1 to n is steps[n - 1].
constexpr Upgrade steps[] = {upgradeToOne, upgradeToTwo};
static_assert(std::size(steps) == HistorySchema::version);

} // namespace

namespace HistorySchema {

Prepared prepare(QSqlDatabase &db)
{
    Prepared result;
    QSqlQuery query(db);
    if (!run(query, QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table'"), result.error))
        return result;
    QSet<QString> tables;
    while (query.next())
        tables.insert(query.value(0).toString());
    if (tables.contains(QStringLiteral("meta"))) {
        if (!run(query, QStringLiteral("SELECT value FROM meta WHERE key = 'schema'"), result.error))
            return result;
        result.found = query.next() ? query.value(0).toInt() : 0;
    }
    if (result.found > version)
        return result;
    const bool hadJobs = tables.contains(QStringLiteral("jobs"));
    // The usual start: nothing to write, so nothing to wait for.
    if (hadJobs && result.found == version) {
        result.ok = true;
        return result;
    }
    for (int step = result.found; hadJobs && step < version; ++step) {
        if (!steps[step](db, result.error))
            return result;
    }
    result.upgraded = hadJobs;
    result.ok = create(query, result.error)
        && run(query, QStringLiteral("CREATE INDEX IF NOT EXISTS jobs_unfinished ON jobs (position, id) WHERE state < 3"),
               result.error)
        && run(query, QStringLiteral("INSERT OR REPLACE INTO meta (key, value) VALUES ('schema', '%1')").arg(version),
               result.error);
    return result;
}

QString selectAll()
{
    return QStringLiteral("SELECT %1 FROM jobs ").arg(columnList(0, ""));
}

QString insertStatement()
{
    QStringList marks;
    for (int i = 0; i < columnCount; ++i)
        marks << QStringLiteral("?");
    return QStringLiteral("INSERT INTO jobs (%1) VALUES (%2)").arg(columnList(0, ""), marks.join(QLatin1Char(',')));
}

QString updateStatement()
{
    return QStringLiteral("UPDATE jobs SET %1 WHERE id = ?").arg(columnList(fixedColumns, " = ?"));
}

bool erasesSecrets(JobState state)
{
    return state == JobState::Finished || state == JobState::Canceled;
}

QVariantList values(const JobRecord &record)
{
    const JobRequest &request = record.request;
    const bool secretsKept = !erasesSecrets(record.state);
    const QString name = cut(request.name, maxName);
    // A password in the address is a secret like the others.
    QByteArray address = (secretsKept ? request.address : request.address.adjusted(QUrl::RemoveUserInfo)).toEncoded();
    if (address.size() > maxAddress)
        address.truncate(maxAddress);
    const QDateTime created = record.created.isValid() ? record.created : QDateTime::currentDateTimeUtc();
    const JobProgress &progress = record.progress;
    const JobResult &result = record.result;
    QVariantList values = {
        record.id, millis(created), record.position, int(record.state), int(request.source), int(request.kind),
        name, name.toCaseFolded(), QString::fromLatin1(address), cut(request.site(), maxShort),
        secretsKept ? request.requestHeader.left(maxHeader) : QVariant(QMetaType::fromType<QByteArray>()),
        cut(request.selector, maxText), cut(request.target, maxPath), int(request.oneOrigin),
        secretsKept ? cut(request.cookieSource, maxShort) : QString(),
        progress.done, progress.total, progress.percent, progress.rate, progress.secondsLeft, progress.part,
        progress.parts, progress.recordedSeconds,
        int(result.state), cut(result.file, maxPath), result.size, result.errorCode, cut(result.errorText, maxText),
        cut(result.toolLine, maxText), cut(result.note, maxText),
        cut(record.resume.partFile, maxPath), record.resume.validator.left(maxShort), record.resume.total,
        millis(record.ended), cut(request.folder, maxPath),
        choicesText(request),
    };
    Q_ASSERT(values.size() == columnCount);
    return values;
}

QVariantList updateValues(const JobRecord &record)
{
    QVariantList all = values(record);
    const QVariant id = all.at(0);
    all.remove(0, fixedColumns);
    all.append(id);
    return all;
}

JobRecord read(const QSqlQuery &query)
{
    int i = 0;
    const auto next = [&] { return query.value(i++); };
    JobRecord record;
    record.id = next().toLongLong();
    record.created = fromMillis(next());
    record.position = next().toInt();
    record.state = enumValue(next(), JobState::Canceled, JobState::Failed);
    JobRequest &request = record.request;
    request.source = enumValue(next(), JobSource::Manifest, JobSource::Address);
    request.kind = enumValue(next(), JobKind::Recording, JobKind::Video);
    request.name = next().toString();
    ++i;   // name_key
    request.address = QUrl::fromEncoded(next().toByteArray());
    ++i;   // site
    request.requestHeader = next().toByteArray();
    request.selector = next().toString();
    request.target = next().toString();
    request.oneOrigin = next().toBool();
    request.cookieSource = next().toString();
    JobProgress &progress = record.progress;
    progress.done = next().toLongLong();
    progress.total = next().toLongLong();
    progress.percent = next().toInt();
    progress.rate = next().toDouble();
    progress.secondsLeft = next().toInt();
    progress.part = next().toInt();
    progress.parts = next().toInt();
    progress.recordedSeconds = next().toLongLong();
    JobResult &result = record.result;
    result.state = enumValue(next(), JobState::Canceled, JobState::Failed);
    result.file = next().toString();
    result.size = next().toLongLong();
    result.errorCode = next().toInt();
    result.errorText = next().toString();
    result.toolLine = next().toString();
    result.note = next().toString();
    record.resume.partFile = next().toString();
    record.resume.validator = next().toByteArray();
    record.resume.total = next().toLongLong();
    record.ended = fromMillis(next());
    request.folder = next().toString();
    // An unreadable object is no choice at all, never a failed row.
    request.setExtraChoices(QJsonDocument::fromJson(next().toString().toUtf8()).object());
    return record;
}

} // namespace HistorySchema

#pragma once

#include <QString>

// The history's file before SQLite opens it: made 0600 with its companions
// (-wal, -shm), its header and length checked, and set aside when damaged.
namespace HistoryFile {

enum class Condition { Ready, Damaged, Unusable };

struct Checked
{
    Condition condition = Condition::Unusable;
    bool unclean = false;   // a write-ahead log was left: the last session did not close
    QString error;          // for the log, when not ready
};

// Creates the file 0600 when missing and sets an existing one and its
// companions to 0600. A file that is not SQLite, or shorter than its own
// header says (only checked after a clean close: a left log may still hold
// pages), is damaged. Never follows a link at the name.
Checked prepare(const QString &path);

// Renames the file and its companions to path + ".damaged"; one set aside
// before moves on to ".damaged.1" … ".damaged.9" (the first free one, else
// the last is replaced). The name now used, or empty with error.
QString setAside(const QString &path, QString &error);

} // namespace HistoryFile

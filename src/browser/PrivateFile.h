#pragma once

#include <QByteArray>
#include <QString>

// Files of the per-user folder that hold the browser's cookies, guard them
// or log about them. Whoever can write to that folder may have left a link
// or a FIFO at one of their names: a link is never followed (its target stays
// untouched) and a FIFO is never waited on or read; both are replaced by a
// regular file of the user's own, mode 0600.
namespace PrivateFile {

struct Contents
{
    QByteArray bytes;
    QString error;   // empty when read, or when nothing is at the name
};

// True when anything, a dangling link included, is at the name.
bool exists(const QString &path);

// The bytes of the regular file at path, when it holds at most maxSize.
Contents read(const QString &path, qint64 maxSize);

// Writes bytes to a new 0600 file beside path, then renames it over
// whatever is at path. Empty on success, else why not.
QString replace(const QString &path, const QByteArray &bytes);

// A descriptor of the regular file at path, made 0600 when missing,
// opened with flags (O_RDWR, O_WRONLY | O_APPEND, …); -1 with errno set
// when none can be had.
int openOwn(const QString &path, int flags);

// An exclusive lock on the file at path, released with the object or when
// the process ends, so a lock left by a crash never needs to be broken.
class Lock
{
public:
    explicit Lock(const QString &path);
    ~Lock();
    Lock(const Lock &) = delete;
    Lock &operator=(const Lock &) = delete;

    // Waits up to waitMs; false with error() when the lock cannot be had.
    bool tryLock(int waitMs);
    QString error() const { return m_error; }

private:
    QString m_path;
    int m_fd = -1;
    QString m_error;
};

} // namespace PrivateFile

#include "PrivateFile.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QThread>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr mode_t ownerOnly = S_IRUSR | S_IWUSR;
constexpr int lockPollMs = 10;

QString systemError(const char *what, int error)
{
    return QString::fromLatin1(what) + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(error));
}

// The name itself: a link at it fails with ELOOP, and a FIFO opens at once
// instead of waiting for a writer.
int openName(const QByteArray &path, int flags, mode_t mode = 0)
{
    int fd;
    do
        fd = ::open(path.constData(), flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, mode);
    while (fd < 0 && errno == EINTR);
    return fd;
}

bool sameFile(const struct stat &a, const struct stat &b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Removes what stands at the name when it is still the link, or the
// non-regular file `found` describes; a regular file another process put
// there meanwhile stays. True when the name may be opened again.
bool removeIntruder(const QByteArray &path, const struct stat *found)
{
    struct stat now = {};
    if (::lstat(path.constData(), &now) != 0)
        return errno == ENOENT;
    if (S_ISDIR(now.st_mode))
        return false;
    if (S_ISREG(now.st_mode) || (found && !sameFile(now, *found)))
        return true;   // changed meanwhile: looked at again
    return ::unlink(path.constData()) == 0 || errno == ENOENT;
}

bool writeAll(int fd, const QByteArray &bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

} // namespace

namespace PrivateFile {

bool exists(const QString &path)
{
    struct stat info = {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0;
}

Contents read(const QString &path, qint64 maxSize)
{
    Contents contents;
    const int fd = openName(QFile::encodeName(path), O_RDONLY);
    if (fd < 0) {
        if (errno != ENOENT)
            contents.error = errno == ELOOP ? QStringLiteral("a link stands at its name; it was not followed")
                                            : systemError("cannot open it", errno);
        return contents;
    }
    struct stat info = {};
    if (::fstat(fd, &info) != 0)
        contents.error = systemError("cannot inspect it", errno);
    else if (!S_ISREG(info.st_mode))
        contents.error = QStringLiteral("not a regular file; it was not read");
    else if (info.st_size > maxSize)
        contents.error = QStringLiteral("larger than %1 bytes").arg(maxSize);
    if (!contents.error.isEmpty()) {
        ::close(fd);
        return contents;
    }
    // The size may have grown since fstat: never more than maxSize.
    contents.bytes.resize(qsizetype(info.st_size));
    qsizetype done = 0;
    while (done < contents.bytes.size()) {
        const ssize_t n = ::read(fd, contents.bytes.data() + done, size_t(contents.bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            contents.error = systemError("cannot read it", errno);
        if (n <= 0)
            break;
        done += n;
    }
    contents.bytes.truncate(done);
    ::close(fd);
    return contents;
}

QString replace(const QString &path, const QByteArray &bytes)
{
    const QByteArray target = QFile::encodeName(path);
    QByteArray temporary = target + ".XXXXXX";
    // 0600 from the start: not a single cookie is ever readable by others.
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0)
        return systemError("cannot create a file beside it", errno);
    bool written = writeAll(fd, bytes) && ::fsync(fd) == 0;
    const int writeError = errno;
    written = ::close(fd) == 0 && written;
    // rename() puts the file in place of a link or a FIFO; a link's target stays as it was.
    if (!written || ::rename(temporary.constData(), target.constData()) != 0) {
        const QString error = written ? systemError("cannot put it in place", errno)
                                      : systemError("cannot write it", writeError);
        ::unlink(temporary.constData());
        return error;
    }
    return QString();
}

int openOwn(const QString &path, int flags)
{
    const QByteArray name = QFile::encodeName(path);
    for (int attempt = 0; attempt < 3; ++attempt) {
        const int fd = openName(name, flags | O_CREAT, ownerOnly);
        struct stat info = {};
        if (fd >= 0 && ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
            // Made by an older version or under a mask that took the owner's bits.
            if ((info.st_mode & 07777) != ownerOnly && info.st_uid == ::geteuid())
                ::fchmod(fd, ownerOnly);
            return fd;
        }
        const bool opened = fd >= 0;
        if (opened)
            ::close(fd);
        else if (errno != ELOOP && errno != ENXIO)   // a link; a FIFO without reader or a socket
            return -1;
        if (!removeIntruder(name, opened ? &info : nullptr))
            return -1;
    }
    errno = EEXIST;
    return -1;
}

Lock::Lock(const QString &path)
    : m_path(path)
{
}

Lock::~Lock()
{
    if (m_fd >= 0)
        ::close(m_fd);   // releases the lock
}

bool Lock::tryLock(int waitMs)
{
    if (m_fd >= 0)
        return true;
    const QDeadlineTimer deadline(waitMs);
    const QByteArray name = QFile::encodeName(m_path);
    do {
        const int fd = openOwn(m_path, O_RDWR);
        if (fd < 0) {
            m_error = systemError("cannot open the lock file", errno);
            return false;
        }
        int result;
        while ((result = ::flock(fd, LOCK_EX | LOCK_NB)) != 0 && (errno == EWOULDBLOCK || errno == EINTR)
               && !deadline.hasExpired())
            QThread::msleep(lockPollMs);
        if (result != 0) {
            m_error = errno == EWOULDBLOCK ? QStringLiteral("the lock is held by another process")
                                           : systemError("cannot lock", errno);
            ::close(fd);
            return false;
        }
        // The file locked must still be the one at the name: an intruder's link
        // or FIFO may have been replaced by another process meanwhile.
        struct stat locked = {};
        struct stat named = {};
        if (::fstat(fd, &locked) == 0 && ::lstat(name.constData(), &named) == 0 && sameFile(locked, named)) {
            m_fd = fd;
            return true;
        }
        ::close(fd);
    } while (!deadline.hasExpired());
    m_error = QStringLiteral("the lock file keeps being replaced");
    return false;
}

} // namespace PrivateFile

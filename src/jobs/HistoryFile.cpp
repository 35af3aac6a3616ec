#include "HistoryFile.h"

#include <QFile>
#include <QFileInfo>
#include <QtEndian>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr mode_t ownerOnly = S_IRUSR | S_IWUSR;
constexpr const char *companions[] = {"", "-wal", "-shm", "-journal"};
constexpr int keptDamaged = 9;
constexpr char magic[] = "SQLite format 3";   // with its NUL: 16 bytes
constexpr qsizetype headerSize = 100;

QString systemError(const char *what)
{
    return QString::fromLatin1(what) + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno));
}

// SQLite makes its -wal and -shm with the mode of the database, but one
// left by an older build or another mask keeps its own.
void ownerOnlyMode(const QByteArray &name)
{
    const int fd = ::open(name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return;
    struct stat info = {};
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == ::geteuid()
        && (info.st_mode & 07777) != ownerOnly)
        ::fchmod(fd, ownerOnly);
    ::close(fd);
}

bool present(const QByteArray &name)
{
    struct stat info = {};
    return ::lstat(name.constData(), &info) == 0;
}

// Whether the bytes start like a database and the file is as long as the
// header says. The header's page count is trusted only when the change
// counter at 24 matches the one it was written with, at 92.
bool looksWhole(const QByteArray &header, qint64 size)
{
    if (header.size() < headerSize || std::memcmp(header.constData(), magic, sizeof magic) != 0)
        return false;
    const auto *bytes = reinterpret_cast<const uchar *>(header.constData());
    const quint32 rawPage = qFromBigEndian<quint16>(bytes + 16);
    const qint64 pageSize = rawPage == 1 ? 65536 : rawPage;
    if (pageSize < 512 || (pageSize & (pageSize - 1)) != 0 || size % pageSize != 0)
        return false;
    const quint32 pages = qFromBigEndian<quint32>(bytes + 28);
    const bool countValid = pages != 0 && qFromBigEndian<quint32>(bytes + 24) == qFromBigEndian<quint32>(bytes + 92);
    return !countValid || size >= qint64(pages) * pageSize;
}

bool moveSet(const QByteArray &from, const QByteArray &to, QString &error)
{
    for (const char *suffix : companions) {
        const QByteArray source = from + suffix, target = to + suffix;
        if (::unlink(target.constData()) != 0 && errno != ENOENT) {
            error = systemError("cannot remove an older copy");
            return false;
        }
        if (present(source) && ::rename(source.constData(), target.constData()) != 0) {
            error = systemError("cannot rename");
            return false;
        }
    }
    return true;
}

} // namespace

namespace HistoryFile {

Checked prepare(const QString &path)
{
    Checked checked;
    const QByteArray name = QFile::encodeName(path);
    int fd;
    do
        fd = ::open(name.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, ownerOnly);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        checked.error = systemError("cannot open or create it");
        return checked;
    }
    struct stat info = {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        checked.error = QStringLiteral("not a regular file");
        ::close(fd);
        return checked;
    }
    if (info.st_uid == ::geteuid() && (info.st_mode & 07777) != ownerOnly)
        ::fchmod(fd, ownerOnly);
    QByteArray header(headerSize, '\0');
    const ssize_t got = ::pread(fd, header.data(), size_t(headerSize), 0);
    ::close(fd);
    header.truncate(qMax<ssize_t>(got, 0));
    for (const char *suffix : companions)
        ownerOnlyMode(name + suffix);
    checked.unclean = QFileInfo(path + QStringLiteral("-wal")).size() > 0;
    // An empty file is a new database.
    const bool whole = info.st_size == 0
        || (checked.unclean ? header.size() == headerSize && std::memcmp(header.constData(), magic, sizeof magic) == 0
                            : looksWhole(header, info.st_size));
    checked.condition = whole ? Condition::Ready : Condition::Damaged;
    if (!whole)
        checked.error = QStringLiteral("not a database, or shorter than its header says");
    return checked;
}

QString setAside(const QString &path, QString &error)
{
    const QByteArray name = QFile::encodeName(path);
    const QByteArray damaged = name + ".damaged";
    if (present(damaged)) {
        QByteArray older;
        for (int n = 1; n <= keptDamaged; ++n) {
            older = damaged + '.' + QByteArray::number(n);
            if (!present(older))
                break;
        }
        if (!moveSet(damaged, older, error))
            return {};
    }
    if (!moveSet(name, damaged, error))
        return {};
    return QFileInfo(QFile::decodeName(damaged)).fileName();
}

} // namespace HistoryFile

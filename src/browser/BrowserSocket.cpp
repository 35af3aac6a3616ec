#include "BrowserSocket.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

constexpr mode_t privateMode = S_IRWXU;

// QLocalServer binds in a new folder beside the name ("<folder>/XXXXXX/s")
// and renames the socket into place: both paths must fit an address.
bool fitsAddress(const QString &folder, const QString &name)
{
    constexpr qsizetype limit = sizeof(sockaddr_un::sun_path);
    return QFile::encodeName(folder + QLatin1Char('/') + name).size() < limit
           && QFile::encodeName(folder).size() + qsizetype(sizeof "/XXXXXX/s") <= limit;
}

// Empty when folder is a private folder of this user, else why not.
// make: created first when missing.
QString whyNotPrivate(const QString &folder, bool make, bool *missing)
{
    const QByteArray path = QFile::encodeName(folder);
    if (make && ::mkdir(path.constData(), privateMode) == 0)
        ::chmod(path.constData(), privateMode);   // the mask may have taken some of the owner's bits
    else if (make && errno != EEXIST)
        return QStringLiteral("cannot be made: ") + QString::fromLocal8Bit(std::strerror(errno));
    // The name itself, never a link's target: O_PATH needs no permission on it.
    const int fd = ::open(path.constData(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        *missing = errno == ENOENT;
        return *missing ? QStringLiteral("is missing") : QString::fromLocal8Bit(std::strerror(errno));
    }
    struct stat info = {};
    QString why;
    if (::fstat(fd, &info) != 0)
        why = QString::fromLocal8Bit(std::strerror(errno));
    else if (S_ISLNK(info.st_mode))
        why = QStringLiteral("is a link");
    else if (!S_ISDIR(info.st_mode))
        why = QStringLiteral("is not a folder");
    else if (info.st_uid != ::geteuid())
        why = QStringLiteral("belongs to another user");
    else if (info.st_mode & (S_IRWXG | S_IRWXO))
        why = QStringLiteral("is open to other users");
    else if ((info.st_mode & S_IRWXU) != S_IRWXU)
        why = QStringLiteral("is closed to its owner");
    ::close(fd);
    return why;
}

} // namespace

namespace BrowserSocket {

Places serverPlaces(const QString &perUserFolder, bool forWindow, const QString &role)
{
    const QString absoluteFolder = QDir::cleanPath(QFileInfo(perUserFolder).absoluteFilePath());
    const QString tag = QString::fromLatin1(
        QCryptographicHash::hash(absoluteFolder.toUtf8(), QCryptographicHash::Sha256).toHex().left(12));
    const QString uid = QString::number(::geteuid());
    struct Candidate
    {
        QString folder;
        QString name;
        bool ours;   // the program's own folder, made when missing
    };
    QList<Candidate> candidates;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty())
        candidates.append({QDir::cleanPath(runtime),
                           QStringLiteral("vidarro-") + role + QLatin1Char('-') + uid + QLatin1Char('-') + tag, false});
    candidates.append({QDir::cleanPath(QDir::tempPath()) + QStringLiteral("/vidarro-") + uid,
                       role + QLatin1Char('-') + tag, true});
    candidates.append(
        {absoluteFolder + QLatin1Char('/') + role + QStringLiteral("-socket"), QStringLiteral("window"), true});

    Places places;
    for (const Candidate &candidate : std::as_const(candidates)) {
        QString why;
        bool missing = false;
        if (!QDir::isAbsolutePath(candidate.folder))
            why = QStringLiteral("is not an absolute path");
        else if (!fitsAddress(candidate.folder, candidate.name))
            why = QStringLiteral("makes a socket address that is too long");
        else
            why = whyNotPrivate(candidate.folder, forWindow && candidate.ours, &missing);
        if (why.isEmpty()) {
            places.names.append(candidate.folder + QLatin1Char('/') + candidate.name);
            if (forWindow)
                break;
        } else if (!(missing && candidate.ours)) {   // not made yet: no window listens there
            places.skipped.append(candidate.folder + QLatin1Char(' ') + why);
        }
    }
    return places;
}

bool peerIsThisUser(qintptr descriptor)
{
    ucred credentials{};
    socklen_t size = sizeof credentials;
    if (::getsockopt(int(descriptor), SOL_SOCKET, SO_PEERCRED, &credentials, &size) != 0
        || size != sizeof credentials)
        return false;
    return credentials.uid == ::geteuid();
}

} // namespace BrowserSocket

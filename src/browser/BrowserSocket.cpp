#include "BrowserSocket.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>

#include <sys/socket.h>
#include <unistd.h>

namespace BrowserSocket {

QString serverName(const QString &perUserFolder)
{
    const QByteArray folderHash =
        QCryptographicHash::hash(QDir::cleanPath(QFileInfo(perUserFolder).absoluteFilePath()).toUtf8(),
                                 QCryptographicHash::Sha256).toHex().left(12);
    QString base = QDir::tempPath();
    const QFileInfo runtime(qEnvironmentVariable("XDG_RUNTIME_DIR"));
    const auto othersMask = QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup
                            | QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther;
    if (!runtime.filePath().isEmpty() && runtime.isDir() && runtime.ownerId() == ::geteuid()
        && !(runtime.permissions() & othersMask))
        base = runtime.absoluteFilePath();
    return base + QStringLiteral("/vidarro-browser-") + QString::number(::geteuid()) + QLatin1Char('-')
           + QString::fromLatin1(folderHash);
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

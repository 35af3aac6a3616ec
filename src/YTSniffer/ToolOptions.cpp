#include "ToolOptions.h"

#include "LogLine.h"
#include "NetworkRoute.h"

#include <QDir>
#include <QFile>

#include <cerrno>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

namespace ToolOptions {

QByteArray quotedWord(QByteArrayView value)
{
    return '\'' + value.toByteArray().replace('\'', "'\"'\"'") + '\'';
}

QByteArray routeLines(const NetworkRoute &route)
{
    QByteArray lines;
    if (route.proxy == NetworkRoute::Proxy::None)
        lines += "--proxy ''\n";
    else if (route.proxy == NetworkRoute::Proxy::Address)
        lines += "--proxy " + quotedWord(route.address.toString(QUrl::FullyEncoded).toUtf8()) + '\n';
    if (route.bytesPerSecond > 0)
        lines += "--limit-rate " + QByteArray::number(route.bytesPerSecond) + '\n';
    return lines;
}

QString makePrivateFolder()
{
    QByteArray pattern = QFile::encodeName(QDir::tempPath() + QStringLiteral("/vidarro-XXXXXX"));
    // mkdtemp makes the folder 0700 whatever the umask.
    if (!::mkdtemp(pattern.data()))
        return {};
    return QFile::decodeName(pattern);
}

bool writePrivateFile(const QString &path, QByteArrayView text)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    qsizetype written = 0;
    while (written < text.size()) {
        const ssize_t n = ::write(fd, text.data() + written, size_t(text.size() - written));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ::close(fd);
            QFile::remove(path);
            return false;
        }
        written += n;
    }
    return ::close(fd) == 0;
}

AddressRun addressOptions(const QString &userName, const QString &password, const QString &cookieSource)
{
    const NetworkRoute route = NetworkRoute::current();
    const QByteArray routed = routeLines(route);
    if (userName.isEmpty() && password.isEmpty() && cookieSource.isEmpty() && routed.isEmpty())
        return {};
    if (!routed.isEmpty())
        LOG_DEBUG << "ToolOptions" << ":" << "proxy" << ":" << route.shownProxy() << ":" << "rate limit"
                  << route.bytesPerSecond;
    QByteArray text = "# coding: utf-8\n";
    if (!userName.isEmpty() || !password.isEmpty())
        text += "--username " + quotedWord(userName.toUtf8()) + "\n--password " + quotedWord(password.toUtf8()) + '\n';
    if (!cookieSource.isEmpty())
        text += "--cookies-from-browser " + quotedWord(cookieSource.toUtf8()) + '\n';
    text += routed;
    const QString folder = makePrivateFolder();
    if (folder.isEmpty() || !writePrivateFile(folder + QStringLiteral("/options.conf"), text)) {
        if (!folder.isEmpty())
            QDir(folder).removeRecursively();
        LOG_ERROR << "ToolOptions" << ":" << "cannot write the tool's options";
        return {};
    }
    return {{QStringLiteral("--config-locations"), folder + QStringLiteral("/options.conf")}, folder};
}

} // namespace ToolOptions

#include "HostLog.h"

#include "PrivateFile.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

HostLog::HostLog(const QString &perUserFolder)
    : m_path(perUserFolder + QStringLiteral("/browser-host.log"))
{
}

void HostLog::write(const QString &line)
{
    int fd = PrivateFile::openOwn(m_path, O_WRONLY | O_APPEND);
    if (fd >= 0 && ::lseek(fd, 0, SEEK_END) > maxSize) {
        ::close(fd);
        const QByteArray old = QFile::encodeName(m_path + QStringLiteral(".old"));
        std::rename(QFile::encodeName(m_path).constData(), old.constData());
        fd = PrivateFile::openOwn(m_path, O_WRONLY | O_APPEND);
    }
    if (fd < 0)
        return;
    const QString text = QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs) + QStringLiteral(" [")
                         + QString::number(QCoreApplication::applicationPid()) + QStringLiteral("] ") + line
                         + QLatin1Char('\n');
    const QByteArray bytes = text.toUtf8();
    // One write per line: O_APPEND keeps the lines of several hosts whole. A
    // line that cannot be written has nowhere else to go.
    [[maybe_unused]] const ssize_t written = ::write(fd, bytes.constData(), size_t(bytes.size()));
    ::close(fd);
}

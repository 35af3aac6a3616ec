#include "PartFile.h"

#include <QFileInfo>
#include <QStorageInfo>

#include <cerrno>
#include <filesystem>
#include <system_error>

namespace {

// What a body of unknown length must leave free on the target's disk.
constexpr qint64 maxFreeMargin = 64 * 1024 * 1024;

std::filesystem::path fsPath(const QString &path)
{
    return std::filesystem::path(QFile::encodeName(path).toStdString());
}

qint64 freeBytes(const QString &path)
{
    return QStorageInfo(QFileInfo(path).absolutePath()).bytesAvailable();
}

} // namespace

std::optional<PartFile::Problem> PartFile::open(const QString &target, bool keepPart)
{
    m_target = target;
    m_written = 0;
    m_limit = -1;
    m_file.setFileName(partPath(target));
    const QIODevice::OpenMode mode = keepPart ? QIODevice::WriteOnly | QIODevice::Append
                                              : QIODevice::WriteOnly | QIODevice::Truncate;
    if (m_file.open(mode | QIODevice::Unbuffered)) {
        m_written = quint64(m_file.size());
        return std::nullopt;
    }
    return Problem{Problem::Write,
                   QStringLiteral("Could not create %1: %2").arg(m_file.fileName(), m_file.errorString())};
}

std::optional<PartFile::Problem> PartFile::restart()
{
    m_written = 0;
    m_limit = -1;
    if (m_file.resize(0) && m_file.seek(0))
        return std::nullopt;
    return Problem{Problem::Write, QStringLiteral("Could not write %1: %2").arg(m_target, m_file.errorString())};
}

void PartFile::limitToFreeSpace()
{
    const qint64 free = freeBytes(m_file.fileName());
    m_limit = qint64(m_written) + free - qMin(maxFreeMargin, free / 8);
}

std::optional<PartFile::Problem> PartFile::write(const char *data, qint64 size)
{
    if (m_limit >= 0 && qint64(m_written) + size > m_limit)
        return Problem{Problem::TooLarge, QStringLiteral("The server sent more than the disk can hold without saying "
                                                         "how much; stopped after %1 bytes")
                                              .arg(m_written)};
    errno = 0;
    if (m_file.write(data, size) == size) {
        m_written += quint64(size);
        return std::nullopt;
    }
    if (errno == ENOSPC || errno == EDQUOT || freeBytes(m_file.fileName()) < size)
        return Problem{Problem::DiskFull, QStringLiteral("The disk is full: could not write %1").arg(m_target)};
    return Problem{Problem::Write, QStringLiteral("Could not write %1: %2").arg(m_target, m_file.errorString())};
}

std::optional<PartFile::Problem> PartFile::commit()
{
    if (!m_file.flush())
        return Problem{Problem::Write, QStringLiteral("Could not write %1: %2").arg(m_target, m_file.errorString())};
    m_file.close();
    std::error_code error;
    std::filesystem::rename(fsPath(m_file.fileName()), fsPath(m_target), error);
    if (!error)
        return std::nullopt;
    return Problem{Problem::Write,
                   QStringLiteral("Could not save %1: %2").arg(m_target, QString::fromStdString(error.message()))};
}

void PartFile::keep()
{
    if (m_file.isOpen())
        m_file.close();
}

void PartFile::discard()
{
    if (m_file.isOpen())
        m_file.close();
    if (!m_target.isEmpty())
        QFile::remove(m_file.fileName());
}

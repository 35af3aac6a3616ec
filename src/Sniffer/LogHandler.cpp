#include "LogHandler.h"

#include "Platform.h"

#include <QDir>
#include <QFile>

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

char levelLetter(QtMsgType type)
{
    switch (type) {
    case QtWarningMsg: return 'W';
    case QtCriticalMsg: return 'C';
    case QtFatalMsg: return 'F';
    default: return 'D';
    }
}

// One write per line, so lines of concurrent threads never tear.
void writeAll(int fd, const QByteArray &bytes)
{
    const char *data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, size_t(left));
        if (written <= 0)
            return;
        data += written;
        left -= written;
    }
}

} // namespace

QByteArray logFileLine(QtMsgType type, const QString &text)
{
    QByteArray line;
    line.reserve(text.size() + 5);
    line += levelLetter(type);
    line += ": ";
    // One message, one line of the file, whatever the message holds.
    line += QString(text).replace(QLatin1Char('\r'), QLatin1String("\\r"))
                .replace(QLatin1Char('\n'), QLatin1String("\\n")).toUtf8();
    line += "\r\n";
    return line;
}

QString logFilePath(const QDate &day)
{
    return QDir::toNativeSeparators(Platform::perUserFolder() + QStringLiteral("/log_")
                                    + QString::number(day.dayOfYear()) + QStringLiteral(".txt"));
}

void logMessageHandler(QtMsgType type, const QMessageLogContext &, const QString &text)
{
    const bool toError = type == QtCriticalMsg || type == QtFatalMsg;
    writeAll(toError ? STDERR_FILENO : STDOUT_FILENO, text.toUtf8() + '\n');

    Platform::ensurePerUserFolder();

    // The log holds addresses and paths: readable by the user alone.
    const QByteArray path = QFile::encodeName(logFilePath(QDate::currentDate()));
    const int fd = ::open(path.constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    writeAll(fd, logFileLine(type, text));
    ::close(fd);
}

#include "LogHandler.h"

#include "Platform.h"

#include <QDir>
#include <QFile>

#include <cstdio>
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
    line += text.toUtf8();
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

    QFile file(logFilePath(QDate::currentDate()));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        return;
    file.write(logFileLine(type, text));
}

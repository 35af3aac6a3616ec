#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

// Builds one trace line: the source file name, the line number, then the
// items streamed in, each followed by a blank. Literal texts (const char*)
// are written as they are; run-time texts (QString, QByteArray) between
// double quotes; a QStringList as ("a", "b"). The line goes to the message
// handler when the builder is destroyed, at the end of the statement.
class LogLine
{
public:
    enum Mark { Plain, ErrorMark };

    LogLine(QtMsgType type, const char *file, int line, Mark mark = Plain);
    ~LogLine();
    LogLine(const LogLine &) = delete;
    LogLine &operator=(const LogLine &) = delete;

    LogLine &operator<<(const char *literal);
    LogLine &operator<<(const QString &value);
    LogLine &operator<<(const QByteArray &value);
    LogLine &operator<<(const QStringList &values);
    LogLine &operator<<(int value);
    LogLine &operator<<(long value);
    LogLine &operator<<(long long value);
    LogLine &operator<<(unsigned value);
    LogLine &operator<<(unsigned long value);
    LogLine &operator<<(unsigned long long value);
    LogLine &operator<<(double value);
    LogLine &operator<<(bool value);

    // A run-time text written without quotes (for example pre-formatted data).
    LogLine &raw(const QString &text);

    QString text() const { return m_text; }

    static QString sourceName(const char *file);
    // Between double quotes; quotes, backslashes and control characters
    // (CR, LF, TAB, NUL, line separators ...) escaped, so that a value read
    // from outside never starts a log line of its own.
    static QString quoted(const QString &value);
    static QString listText(const QStringList &values);

private:
    void append(const QString &item);

    QtMsgType m_type;
    const char *m_file;
    int m_line;
    QString m_text;
};

#define LOG_DEBUG LogLine(QtDebugMsg, __FILE__, __LINE__)
#define LOG_WARNING LogLine(QtWarningMsg, __FILE__, __LINE__)
#define LOG_CRITICAL LogLine(QtCriticalMsg, __FILE__, __LINE__)
#define LOG_ERROR LogLine(QtCriticalMsg, __FILE__, __LINE__, LogLine::ErrorMark)
#define TRACE(operation) LOG_DEBUG << operation << ":" << "OK"

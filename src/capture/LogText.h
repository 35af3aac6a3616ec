#pragma once

#include <QByteArray>
#include <QString>

#include "LogLine.h"

namespace capture {

// Captured bytes on their way into a log line: quoted like any run-time
// text, with control and non-ASCII bytes escaped so that a packet can never
// break or forge a line of the log.
struct LogText
{
    QString text;
};

inline LogText logText(const QByteArray &bytes)
{
    static const char hex[] = "0123456789abcdef";
    QString text;
    text.reserve(bytes.size() + 2);
    text += QLatin1Char('"');
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '\r')
            text += QLatin1String("\\r");
        else if (c == '\n')
            text += QLatin1String("\\n");
        else if (c == '"' || c == '\\') {
            text += QLatin1Char('\\');
            text += QLatin1Char(c);
        } else if (u < 0x20 || u >= 0x7f) {
            text += QLatin1String("\\x");
            text += QLatin1Char(hex[u >> 4]);
            text += QLatin1Char(hex[u & 15]);
        } else
            text += QLatin1Char(c);
    }
    text += QLatin1Char('"');
    return {text};
}

inline LogLine &operator<<(LogLine &line, const LogText &value)
{
    return line.raw(value.text);
}

} // namespace capture

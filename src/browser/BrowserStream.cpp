#include "BrowserStream.h"

#include <QRegularExpression>

qint64 BrowserStream::totalLength() const
{
    static const QRegularExpression range(QStringLiteral("^bytes\\s+\\d+-\\d+/(\\d{1,15})$"),
                                          QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = range.match(contentRange.trimmed());
    return match.hasMatch() ? match.captured(1).toLongLong() : contentLength;
}

bool isSensitiveHeader(QByteArrayView name)
{
    const QByteArray lower = name.toByteArray().toLower();
    if (lower == "cookie" || lower == "authorization" || lower == "proxy-authorization")
        return true;
    for (const char *word : {"token", "key", "secret", "auth", "session", "password"})
        if (lower.contains(word))
            return true;
    return false;
}

QString headersForLog(const BrowserHeaders &headers)
{
    QStringList lines;
    for (const auto &[name, value] : headers) {
        const QString shown = isSensitiveHeader(name)
                                  ? QStringLiteral("(%1 bytes)").arg(value.size())
                                  : QString::fromUtf8(value);
        lines << QString::fromLatin1(name) + QStringLiteral(": ") + shown;
    }
    return lines.join(QStringLiteral("; "));
}

#include "ServerAnswer.h"

#include <QList>

namespace ServerAnswer {

namespace {

// Lengths beyond this are no file anyone serves; the bound keeps every
// sum and comparison far from overflow.
constexpr qsizetype maxLengthDigits = 18;
// Real ones are a few dozen bytes; this keeps a request head small.
constexpr qsizetype maxValidatorBytes = 512;

std::optional<quint64> number(QByteArrayView text)
{
    if (text.isEmpty() || text.size() > maxLengthDigits)
        return std::nullopt;
    quint64 value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + quint64(c - '0');
    }
    return value;
}

QString shown(QByteArrayView text)
{
    return shortText(QString::fromLatin1(text));
}

} // namespace

QString shortText(const QString &text)
{
    QString out = text.left(120);
    for (QChar &c : out)
        if (c.category() == QChar::Other_Control)
            c = QLatin1Char(' ');
    return out.simplified();
}

Verdict check(int status, QByteArrayView reason, QByteArrayView contentRange, QByteArrayView contentLength,
              QByteArrayView contentEncoding, quint64 from)
{
    Verdict verdict;
    std::optional<quint64> length;
    for (const QByteArray &part : contentLength.toByteArray().split(',')) {
        if (contentLength.isEmpty())
            break;
        const auto value = number(part.trimmed());
        if (!value) {
            verdict.problem = QStringLiteral("The server announced a length that cannot be read: %1")
                                  .arg(shown(part));
            return verdict;
        }
        if (length && *length != *value) {
            verdict.problem = QStringLiteral("The server announced two different lengths: %1")
                                  .arg(shown(contentLength));
            return verdict;
        }
        length = value;
    }
    const QByteArray coding = contentEncoding.trimmed().toByteArray().toLower();
    if (!coding.isEmpty() && coding != "identity") {
        verdict.problem = QStringLiteral("The server sent the file encoded (%1), not as it is").arg(shown(coding));
        return verdict;
    }
    if (status == 206) {
        // "bytes FROM-LAST/TOTAL" with LAST + 1 = TOTAL: the stream from
        // where it was asked to its end.
        const QByteArray range = contentRange.trimmed().toByteArray();
        const qsizetype dash = range.indexOf('-'), slash = range.indexOf('/');
        const auto first = range.startsWith("bytes ") && dash > 6 ? number(range.mid(6, dash - 6)) : std::nullopt;
        const auto last = dash > 0 && slash > dash ? number(range.mid(dash + 1, slash - dash - 1)) : std::nullopt;
        const auto total = slash > 0 ? number(range.mid(slash + 1)) : std::nullopt;
        if (first != from || !last || !total || *last + 1 != *total || *first > *last
            || (length && *length != *total - *first)) {
            verdict.problem = QStringLiteral("The server sent only a part of the file (Content-Range: %1)")
                                  .arg(range.isEmpty() ? QStringLiteral("none") : shown(range));
            return verdict;
        }
        length = total;
    } else if (status != 200) {
        verdict.problem = QStringLiteral("HTTP %1 %2: the answer is not the file").arg(status).arg(shown(reason));
        return verdict;
    }
    verdict.length = length;
    return verdict;
}

bool isUsableValidator(QByteArrayView validator)
{
    // Sent back as it came: printable ASCII only, and short.
    if (validator.isEmpty() || validator.size() > maxValidatorBytes)
        return false;
    for (char c : validator)
        if (c < 0x20 || c > 0x7e)
            return false;
    return true;
}

QByteArray validator(QByteArrayView etag, QByteArrayView lastModified, QByteArrayView acceptRanges)
{
    bool ranges = false;
    for (const QByteArray &unit : acceptRanges.toByteArray().split(','))
        ranges = ranges || unit.trimmed().compare("bytes", Qt::CaseInsensitive) == 0;
    if (!ranges)
        return {};
    // A weak tag may not stand in If-Range: the server would never match it.
    const QByteArrayView tag = etag.trimmed();
    if (!tag.startsWith("W/") && isUsableValidator(tag))
        return tag.toByteArray();
    const QByteArrayView date = lastModified.trimmed();
    return isUsableValidator(date) ? date.toByteArray() : QByteArray();
}

} // namespace ServerAnswer

#include "SafeText.h"

#include <QRegularExpression>
#include <QUrlQuery>

namespace SafeText {

namespace {

const QString mask = QStringLiteral("***");

} // namespace

QString address(const QString &address)
{
    QUrl url(address, QUrl::TolerantMode);
    if (url.isValid() && !url.host().isEmpty()) {
        if (url.hasQuery()) {
            QUrlQuery query(url);
            QList<QPair<QString, QString>> items = query.queryItems(QUrl::FullyEncoded);
            // A bare item may be a token itself; of the others only the name stays.
            for (QPair<QString, QString> &item : items)
                (item.second.isEmpty() ? item.first : item.second) = mask;
            query.setQueryItems(items);
            url.setQuery(query);
        }
        if (url.hasFragment())
            url.setFragment(mask);
        return url.toString(QUrl::RemoveUserInfo);
    }
    // No host to be sure of: drop what may be user information, and
    // everything from the query on.
    QString text = address;
    const qsizetype cut = text.indexOf(QRegularExpression(QStringLiteral("[?#]")));
    if (cut >= 0)
        text = text.left(cut) + QLatin1Char('?') + mask;
    const qsizetype slashes = text.indexOf(QLatin1String("//"));
    const qsizetype start = slashes < 0 ? 0 : slashes + 2;
    const qsizetype at = text.lastIndexOf(QLatin1Char('@'), text.indexOf(QLatin1Char('/'), start));
    if (at >= start)
        text.remove(start, at + 1 - start);
    return text;
}

QString address(const QUrl &url)
{
    return url.isValid() ? address(url.toString()) : QStringLiteral("(not an address)");
}

QString line(const QString &text)
{
    static const QRegularExpression addresses(QStringLiteral("[A-Za-z][A-Za-z0-9+.-]*://[^\\s\"'<>]+"));
    QString safe;
    qsizetype done = 0;
    for (QRegularExpressionMatchIterator it = addresses.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        safe += text.mid(done, match.capturedStart() - done);
        safe += address(QUrl(match.captured(), QUrl::TolerantMode));
        done = match.capturedEnd();
    }
    safe += text.mid(done);
    for (QChar &c : safe) {
        if (c.category() == QChar::Other_Control || c.category() == QChar::Other_Format)
            c = QLatin1Char(' ');
    }
    return safe;
}

} // namespace SafeText

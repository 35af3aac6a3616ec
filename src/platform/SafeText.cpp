#include "SafeText.h"

#include <QRegularExpression>

namespace SafeText {

namespace {

const QString mask = QStringLiteral("***");

} // namespace

QString address(const QUrl &url)
{
    if (!url.isValid())
        return QStringLiteral("(not an address)");
    QUrl safe = url.adjusted(QUrl::RemoveUserInfo);
    if (safe.hasQuery()) {
        QStringList items = safe.query(QUrl::FullyEncoded).split(QLatin1Char('&'));
        for (QString &item : items) {
            const qsizetype equals = item.indexOf(QLatin1Char('='));
            if (equals >= 0 && equals + 1 < item.size())
                item = item.left(equals + 1) + mask;
        }
        safe.setQuery(items.join(QLatin1Char('&')));
    }
    if (safe.hasFragment())
        safe.setFragment(mask);
    return safe.toString();
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

#include "PlaylistOutput.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

namespace PlaylistOutput {

namespace {

// Printable, one line, at most `limit` characters (whole code points).
QString printable(const QJsonValue &value, int limit)
{
    QString text = value.toString();
    for (QChar &c : text) {
        if (c.category() == QChar::Other_Control || c == QChar::LineSeparator || c == QChar::ParagraphSeparator)
            c = QLatin1Char(' ');
    }
    text = text.simplified();
    qsizetype end = 0;
    for (int kept = 0; kept < limit && end < text.size(); ++kept)
        end += text.at(end).isHighSurrogate() && end + 1 < text.size() ? 2 : 1;
    return text.left(end);
}

int count(const QJsonValue &value)
{
    const double n = value.toDouble(0);
    return n >= 1 && n <= maxNumber ? int(n) : 0;
}

} // namespace

ListingLine parseLine(const QString &line)
{
    ListingLine parsed;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(line.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return parsed;
    const QJsonObject object = document.object();
    const QString kind = object.value(QLatin1String("kind")).toString();
    if (kind == QLatin1String("single")) {
        parsed.kind = ListingLine::Kind::Single;
    } else if (kind == QLatin1String("playlist")) {
        parsed.kind = ListingLine::Kind::Playlist;
        parsed.title = printable(object.value(QLatin1String("title")), maxTitle);
        parsed.id = printable(object.value(QLatin1String("id")), maxTitle);
        parsed.count = count(object.value(QLatin1String("count")));
    } else if (kind == QLatin1String("note")) {
        parsed.kind = ListingLine::Kind::Note;
        parsed.title = printable(object.value(QLatin1String("text")), maxTitle);
        parsed.count = count(object.value(QLatin1String("count")));
        parsed.listed = count(object.value(QLatin1String("listed")));
    } else if (kind == QLatin1String("entry")) {
        PlaylistEntry &entry = parsed.entry;
        entry.number = count(object.value(QLatin1String("number")));
        entry.address = QUrl(object.value(QLatin1String("address")).toString(), QUrl::StrictMode);
        const QString scheme = entry.address.scheme();
        if (entry.number == 0 || !entry.address.isValid() || entry.address.host().isEmpty()
            || (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
            return {};
        static const QRegularExpression lengthForm(QStringLiteral("^(\\d{1,4}:)?\\d{1,2}:\\d\\d$"));
        const QString length = object.value(QLatin1String("length")).toString();
        entry.length = lengthForm.match(length).hasMatch() ? length : QStringLiteral("0:00");
        entry.title = printable(object.value(QLatin1String("title")), maxTitle);
        entry.id = printable(object.value(QLatin1String("id")), 200);
        entry.site = printable(object.value(QLatin1String("site")), 100);
        entry.inPage = object.value(QLatin1String("inPage")).toBool();
        parsed.kind = ListingLine::Kind::Entry;
    }
    return parsed;
}

} // namespace PlaylistOutput

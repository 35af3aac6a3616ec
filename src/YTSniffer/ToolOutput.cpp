#include "ToolOutput.h"

#include <QHash>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>

namespace ToolOutput {

QString cleanTitle(const QString &title)
{
    QString cleaned = title;
    for (QChar &c : cleaned) {
        const char16_t u = c.unicode();
        const bool kept = (u >= u'0' && u <= u'9') || (u >= u'A' && u <= u'Z')
                          || (u >= u'a' && u <= u'z') || u == u'(' || u == u')' || c.isSpace();
        if (!kept)
            c = QLatin1Char(' ');
    }
    static const QRegularExpression spaces(QStringLiteral("\\s+"), QRegularExpression::UseUnicodePropertiesOption);
    cleaned.replace(spaces, QStringLiteral(" "));
    return cleaned.trimmed().left(30);
}

TitleInfo parseTitle(const QStringList &lines)
{
    TitleInfo info;
    info.title = cleanTitle(lines.isEmpty() ? QStringLiteral("default") : lines.first());
    QString duration = lines.size() > 1 ? lines.at(1) : QStringLiteral("0:00");
    for (QChar &c : duration) {
        if (c.category() == QChar::Other_Control || c.category() == QChar::Other_Format)
            c = QLatin1Char(' ');
    }
    info.duration = duration.trimmed().left(32);
    return info;
}

std::optional<float> progressFromLine(const QString &line)
{
    const qsizetype cent = line.indexOf(QLatin1Char('%'));
    if (cent < 0)
        return std::nullopt;
    const qsizetype open = line.indexOf(QLatin1Char(']'));
    // A "%" before the "]" gives a negative length: the rest of the line.
    const QString figure = line.mid(open + 1, cent - open - 1).trimmed();
    bool ok = false;
    const double value = figure.toDouble(&ok);
    if (!ok || std::isnan(value))
        return std::nullopt;
    // The figure comes from a foreign program: keep the bar inside its range.
    return float(qBound(0.0, value, 100.0));
}

std::optional<float> lastProgress(const QStringList &lines)
{
    for (auto line = lines.crbegin(); line != lines.crend(); ++line) {
        if (const std::optional<float> value = progressFromLine(*line))
            return value;
    }
    return std::nullopt;
}

std::optional<ToolProgress> progressWithAmounts(const QString &line)
{
    const std::optional<float> percent = progressFromLine(line);
    if (!percent)
        return std::nullopt;
    ToolProgress progress{*percent, std::nullopt, std::nullopt};
    const QStringList amounts = line.mid(line.indexOf(QLatin1Char('%')) + 1).trimmed().split(QLatin1Char('/'));
    // Whole bytes only; an estimate may come with decimals.
    const auto bytes = [](const QString &text) -> std::optional<quint64> {
        bool ok = false;
        const double value = text.trimmed().toDouble(&ok);
        if (!ok || std::isnan(value) || value < 0 || value > 1e18)
            return std::nullopt;
        return quint64(value);
    };
    if (amounts.size() == 2) {
        progress.done = bytes(amounts[0]);
        progress.total = bytes(amounts[1]);
    }
    return progress;
}

QString amountsTemplate()
{
    return QStringLiteral("download:[download] %(progress._percent_str)s "
                          "%(progress.downloaded_bytes)s/%(progress.total_bytes,progress.total_bytes_estimate)s");
}

QMap<int, QString> audioQualityTable()
{
    static const struct { int code; const char *text; } entries[] = {
        {5, "MP3 64 KBps"},       {6, "MP3 64 KBps"},       {13, "AAC N/A"},
        {17, "AAC 24 KBps"},      {151, "AAC 24 KBps"},     {36, "AAC 36 KBps"},
        {92, "AAC 48 KBps"},      {132, "AAC 48 KBps"},     {18, "AAC 96 KBps"},
        {82, "AAC 96 KBps"},      {83, "AAC 96 KBps"},      {127, "AAC 96 KBps"},
        {128, "AAC 96 KBps"},     {34, "AAC 128 KBps"},     {35, "AAC 128 KBps"},
        {93, "AAC 128 KBps"},     {120, "AAC 128 KBps"},    {22, "AAC 192 KBps"},
        {37, "AAC 192 KBps"},     {38, "AAC 192 KBps"},     {84, "AAC 192 KBps"},
        {85, "AAC 192 KBps"},     {95, "AAC 256 KBps"},     {96, "AAC 256 KBps"},
        {43, "Vorbis 128 KBps"},  {44, "Vorbis 128 KBps"},  {45, "Vorbis 192 KBps"},
        {46, "Vorbis 192 KBps"},  {101, "Vorbis 192 KBps"}, {102, "Vorbis 192 KBps"},
    };
    QMap<int, QString> table;
    for (const auto &entry : entries)
        table.insert(entry.code, QString::fromLatin1(entry.text));
    return table;
}

namespace {

// The first pieces of one listing line, or an empty list when the line is
// not a format line.
QStringList formatLinePieces(const QString &line)
{
    // A blank line is no format; counting it would invent an empty entry.
    if (line.trimmed().isEmpty())
        return {};
    if (line.contains(QLatin1Char('[')) || line.contains(QLatin1String("DASH")))
        return {};
    // The four columns read, split at runs of white space; a line that
    // begins with white space has an empty first piece.
    QStringList pieces;
    qsizetype start = 0;
    qsizetype at = 0;
    while (pieces.size() < 4) {
        while (at < line.size() && !line.at(at).isSpace())
            ++at;
        pieces << line.sliced(start, at - start);
        if (at == line.size())
            break;
        while (at < line.size() && line.at(at).isSpace())
            ++at;
        start = at;
    }
    if (pieces.first() == QLatin1String("format"))
        return {};
    return pieces;
}

FormatInfo formatFromPieces(const QStringList &pieces, const QMap<int, QString> &qualities)
{
    FormatInfo format;
    bool ok = false;
    const int code = pieces.value(0).toInt(&ok, 10);
    format.code = ok ? code : 0;
    format.description = qualities.value(format.code, QStringLiteral("N/A"));
    format.extension = isSafeExtension(pieces.value(1)) ? pieces.value(1) : QString();
    format.resolution = pieces.value(2);
    format.best = pieces.value(3) == QLatin1String("(best)");
    return format;
}

} // namespace

FormatListing parseFormats(const QStringList &lines, const QMap<int, QString> &qualities)
{
    // Listing order, one entry per code.
    QList<FormatInfo> found;
    QHash<int, qsizetype> position;
    for (const QString &line : lines) {
        const QStringList pieces = formatLinePieces(line);
        if (pieces.isEmpty())
            continue;
        const FormatInfo format = formatFromPieces(pieces, qualities);
        if (const auto at = position.constFind(format.code); at != position.cend()) {
            found[*at] = format;
        } else {
            position.insert(format.code, found.size());
            found.append(format);
        }
    }
    FormatListing listing;
    for (const bool best : {true, false}) {
        for (const FormatInfo &format : std::as_const(found)) {
            if (format.best != best)
                continue;
            if (listing.formats.size() < maxFormats)
                listing.formats.insert(format.code, format);
            else
                ++listing.leftOut;
        }
    }
    return listing;
}

bool isSafeExtension(const QString &extension)
{
    if (extension.isEmpty() || extension.size() > 10)
        return false;
    return std::all_of(extension.cbegin(), extension.cend(), [](QChar c) {
        const char16_t u = c.unicode();
        return (u >= u'0' && u <= u'9') || (u >= u'A' && u <= u'Z') || (u >= u'a' && u <= u'z');
    });
}

std::optional<ToolUpdate> parseUpdate(const QStringList &lines)
{
    QString last;
    for (auto line = lines.crbegin(); line != lines.crend() && last.isEmpty(); ++line)
        last = line->trimmed();
    // Names and versions are single printable words: whatever else the line
    // holds is not ours to show.
    static const QRegularExpression upToDate(
        QStringLiteral("^([A-Za-z0-9._-]{1,32}) ([A-Za-z0-9._+-]{1,40}) is up to date$"));
    static const QRegularExpression updated(QStringLiteral(
        "^([A-Za-z0-9._-]{1,32}) ([A-Za-z0-9._+-]{1,40}) was updated to ([A-Za-z0-9._+-]{1,40})$"));
    ToolUpdate update;
    if (const QRegularExpressionMatch match = upToDate.match(last); match.hasMatch()) {
        update.tool = match.captured(1);
        update.version = match.captured(2);
        return update;
    }
    if (const QRegularExpressionMatch match = updated.match(last); match.hasMatch()) {
        update.tool = match.captured(1);
        update.previous = match.captured(2);
        update.version = match.captured(3);
        update.updated = true;
        return update;
    }
    return std::nullopt;
}

} // namespace ToolOutput

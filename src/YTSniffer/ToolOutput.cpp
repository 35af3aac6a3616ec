#include "ToolOutput.h"

#include "StreamText.h"

#include <QHash>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>

namespace ToolOutput {

bool isNameBreaker(QChar c)
{
    static const QString breakers = QStringLiteral("/\\:*?\"<>|");
    return breakers.contains(c) || c.category() == QChar::Other_Control || c.unicode() == 0x7f;
}

QString cleanTitle(const QString &title)
{
    QString cleaned = title;
    for (QChar &c : cleaned) {
        // Format characters (direction marks, joiners) stay: emoji and
        // several scripts need them.
        if (isNameBreaker(c) || c.category() == QChar::Other_NotAssigned || c == QChar::ReplacementCharacter)
            c = QLatin1Char(' ');
    }
    static const QRegularExpression spaces(QStringLiteral("\\s+"), QRegularExpression::UseUnicodePropertiesOption);
    cleaned.replace(spaces, QStringLiteral(" "));
    cleaned = cleaned.trimmed();
    // Thirty code points: a cut inside a surrogate pair would leave half a
    // character.
    qsizetype end = 0;
    for (int kept = 0; kept < 30 && end < cleaned.size(); ++kept)
        end += cleaned.at(end).isHighSurrogate() && end + 1 < cleaned.size() ? 2 : 1;
    return cleaned.left(end);
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

namespace {

// The word after `label` in the part of a progress line after its figure,
// when it is a plain printable word the tool knew.
QString progressWord(const QString &rest, const QRegularExpression &label)
{
    const QRegularExpressionMatch match = label.match(rest);
    if (!match.hasMatch())
        return {};
    const QString word = match.captured(1);
    if (word.size() > 16 || word.startsWith(QLatin1String("Unknown")) || word == QLatin1String("NA")
        || word == QLatin1String("N/A"))
        return {};
    for (const QChar c : word) {
        if (c.unicode() < 0x21 || c.unicode() > 0x7e)
            return {};
    }
    return word;
}

} // namespace

std::optional<ToolProgress> progressFromLine(const QString &line)
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
    ToolProgress progress;
    // The figure comes from a foreign program: keep the bar inside its range.
    progress.percent = float(qBound(0.0, value, 100.0));
    static const QRegularExpression speed(QStringLiteral("(?:^|\\s)at\\s+(\\S+)"));
    static const QRegularExpression eta(QStringLiteral("(?:^|\\s)ETA\\s+(\\S+)"));
    static const QRegularExpression part(QStringLiteral("(?:^|\\s)part\\s+(\\S+)"));
    const QString rest = line.mid(cent + 1);
    progress.speed = progressWord(rest, speed);
    progress.eta = progressWord(rest, eta);
    progress.part = progressWord(rest, part);
    return progress;
}

std::optional<ToolProgress> lastProgress(const QStringList &lines)
{
    for (auto line = lines.crbegin(); line != lines.crend(); ++line) {
        if (std::optional<ToolProgress> value = progressFromLine(*line))
            return value;
    }
    return std::nullopt;
}

QString savedFile(const QStringList &lines)
{
    static const QLatin1String mark("[saved] ");
    for (auto line = lines.crbegin(); line != lines.crend(); ++line) {
        if (line->startsWith(mark))
            return line->mid(mark.size());
    }
    return {};
}

std::optional<ToolProgress> progressWithAmounts(const QString &line)
{
    std::optional<ToolProgress> progress = progressFromLine(line);
    if (!progress)
        return std::nullopt;
    const QStringList amounts = line.mid(line.indexOf(QLatin1Char('%')) + 1)
                                    .trimmed()
                                    .section(QLatin1Char(' '), 0, 0)
                                    .split(QLatin1Char('/'));
    // Whole bytes only; an estimate may come with decimals.
    const auto bytes = [](const QString &text) -> std::optional<quint64> {
        bool ok = false;
        const double value = text.trimmed().toDouble(&ok);
        if (!ok || std::isnan(value) || value < 0 || value > 1e18)
            return std::nullopt;
        return quint64(value);
    };
    if (amounts.size() == 2) {
        progress->done = bytes(amounts[0]);
        progress->total = bytes(amounts[1]);
    }
    return progress;
}

QString amountsTemplate()
{
    return QStringLiteral("download:[download] %(progress._percent_str)s "
                          "%(progress.downloaded_bytes)s/%(progress.total_bytes,progress.total_bytes_estimate)s"
                          " part %(info.format_id)s");
}

QMap<QString, QString> audioQualityTable()
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
    QMap<QString, QString> table;
    for (const auto &entry : entries)
        table.insert(QString::number(entry.code), QString::fromLatin1(entry.text));
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

FormatInfo formatFromPieces(const QStringList &pieces, const QMap<QString, QString> &qualities)
{
    FormatInfo format;
    format.code = pieces.value(0);
    format.description = qualities.value(format.code, QStringLiteral("N/A"));
    format.extension = isSafeExtension(pieces.value(1)) ? pieces.value(1) : QString();
    format.resolution = pieces.value(2);
    format.best = pieces.value(3) == QLatin1String("(best)");
    return format;
}

} // namespace

FormatListing parseFormats(const QStringList &lines, const QMap<QString, QString> &qualities)
{
    // Listing order, one entry per code.
    QList<FormatInfo> found;
    QHash<QString, qsizetype> position;
    for (const QString &line : lines) {
        const QStringList pieces = formatLinePieces(line);
        if (pieces.isEmpty() || !isSafeCode(pieces.first()))
            continue;
        FormatInfo format = formatFromPieces(pieces, qualities);
        // A row the tool forms from a video track and a sound track.
        if (line.trimmed().endsWith(QLatin1String(" merged")))
            format.description = QStringLiteral("video + audio");
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
                listing.formats.append(format);
            else
                ++listing.leftOut;
        }
    }
    return listing;
}

bool isSafeCode(const QString &code)
{
    if (code.isEmpty() || code.size() > maxCodeLength)
        return false;
    return std::all_of(code.cbegin(), code.cend(), [](QChar c) {
        const char16_t u = c.unicode();
        return (u >= u'0' && u <= u'9') || (u >= u'A' && u <= u'Z') || (u >= u'a' && u <= u'z') || u == u'_'
               || u == u'.' || u == u'-';
    });
}

QString selectorFor(const QString &code)
{
    static const QRegularExpression merged(QRegularExpression::anchoredPattern(QStringLiteral("m([0-9]{1,5})")));
    if (const QRegularExpressionMatch row = merged.match(code); row.hasMatch())
        return streams::formatSelector(row.captured(1).toInt());
    return code == QLatin1String("best") ? streams::formatSelector() : code;
}

bool isSafeSelector(const QString &selector)
{
    static const QRegularExpression allowed(
        QRegularExpression::anchoredPattern(QStringLiteral("[A-Za-z0-9_.*+/\\[\\]<=-]{1,128}")));
    return !selector.startsWith(QLatin1Char('-')) && allowed.match(selector).hasMatch();
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

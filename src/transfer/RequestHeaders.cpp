#include "RequestHeaders.h"

#include <QStringList>

namespace RequestHeaders {

namespace {

constexpr qsizetype maxLoggedValue = 256;
constexpr int maxLoggedLines = 100;
const QByteArray redacted = QByteArrayLiteral("<redacted>");

bool sameName(QByteArrayView a, QByteArrayView b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

bool inList(QByteArrayView name, std::initializer_list<const char *> names)
{
    for (const char *candidate : names)
        if (sameName(name, QByteArrayView(candidate)))
            return true;
    return false;
}

bool isTokenChar(char c)
{
    const auto u = static_cast<unsigned char>(c);
    if (u <= 0x20 || u >= 0x7f)
        return false;
    static constexpr QByteArrayView separators("()<>@,;:\\\"/[]?={}");
    return !separators.contains(c);
}

bool isToken(QByteArrayView name)
{
    if (name.isEmpty())
        return false;
    for (char c : name)
        if (!isTokenChar(c))
            return false;
    return true;
}

bool isCleanValue(QByteArrayView value)
{
    for (char c : value) {
        const auto u = static_cast<unsigned char>(c);
        if ((u < 0x20 && c != '\t') || u == 0x7f)
            return false;
    }
    return true;
}

// Asking again with these would get a part, a "not modified" answer, a
// compressed body the transfer cannot undo, or would break the framing.
bool isLeftOut(QByteArrayView name)
{
    if (name.size() > 3 && sameName(name.first(3), QByteArrayView("If-")))
        return true;
    return inList(name, {"Host", "Range", "Accept-Encoding", "Connection",
                         "Keep-Alive", "Proxy-Connection", "Transfer-Encoding", "TE", "Trailer",
                         "Upgrade", "Content-Length", "Expect"});
}

QByteArray printable(QByteArrayView text)
{
    QByteArray out = text.first(qMin(text.size(), maxLoggedValue)).toByteArray();
    for (char &c : out) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7f)
            c = '?';
    }
    if (text.size() > maxLoggedValue)
        out += "...(" + QByteArray::number(text.size()) + " bytes)";
    return out;
}

// Calls visit with every line of the block, empty ones too. A line ends at
// CR LF, a lone LF or a lone CR: whatever a server would take for a line
// end must never hide a header inside a value that is logged or replayed.
template<typename Visit>
void forEachLine(QByteArrayView block, Visit visit)
{
    qsizetype from = 0;
    for (qsizetype at = 0; at < block.size(); ++at) {
        if (block[at] != '\r' && block[at] != '\n')
            continue;
        visit(block.sliced(from, at - from));
        if (block[at] == '\r' && at + 1 < block.size() && block[at + 1] == '\n')
            ++at;
        from = at + 1;
    }
    visit(block.sliced(from));
}

bool isRequestLine(QByteArrayView line)
{
    const qsizetype blank = line.indexOf(' ');
    return (blank < 0 ? line : line.first(blank)) == QByteArrayView("GET");
}

} // namespace

bool isReplayed(QByteArrayView name)
{
    return isToken(name) && !isLeftOut(name);
}

bool isSecret(QByteArrayView name)
{
    const QByteArray lower = name.trimmed().toByteArray().toLower();
    if (lower == "cookie" || lower == "set-cookie")
        return true;
    // Authorization and Proxy-Authorization among them.
    for (const char *part : {"token", "key", "secret", "auth", "session", "password"})
        if (lower.contains(part))
            return true;
    return false;
}

bool isHostBound(QByteArrayView name)
{
    return isSecret(name);
}

Parsed parse(QByteArrayView block)
{
    Parsed parsed;
    forEachLine(block, [&parsed](QByteArrayView line) {
        if (line.isEmpty() || isRequestLine(line))
            return;
        const qsizetype colon = line.indexOf(QByteArrayView(": "));
        if (colon < 0 || line.size() > maxLineLength) {
            ++parsed.skippedLines;
            return;
        }
        const QByteArrayView name = line.first(colon);
        const QByteArrayView value = line.sliced(colon + 2);
        if (!isToken(name) || !isCleanValue(value) || isLeftOut(name)) {
            ++parsed.skippedLines;
            return;
        }
        for (Field &field : parsed.fields) {
            if (sameName(field.name, name)) {
                field.value = value.toByteArray();
                return;
            }
        }
        if (parsed.fields.size() >= maxFields) {
            ++parsed.skippedLines;
            return;
        }
        parsed.fields.append({name.toByteArray(), value.toByteArray()});
    });
    return parsed;
}

QByteArray loggable(QByteArrayView name, QByteArrayView value)
{
    return isSecret(name) ? redacted : printable(value);
}

QByteArray loggableBlock(QByteArrayView block)
{
    QByteArray out;
    int lines = 0;
    forEachLine(block, [&out, &lines](QByteArrayView line) {
        if (line.isEmpty() || ++lines > maxLoggedLines)
            return;
        // Secrets are hidden whether or not a blank follows the colon.
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && isSecret(line.first(colon)))
            out += printable(line.first(colon)) + ": " + redacted + '\n';
        else
            out += printable(line) + '\n';
    });
    if (lines > maxLoggedLines)
        out += "... " + QByteArray::number(lines - maxLoggedLines) + " more lines\n";
    return out;
}

} // namespace RequestHeaders

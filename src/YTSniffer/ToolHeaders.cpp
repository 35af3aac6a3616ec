#include "ToolHeaders.h"

#include "RequestHeaders.h"
#include "ToolOptions.h"

namespace {

// The names the tool's option takes: letters, digits, "_" and "-".
bool isPlainName(QByteArrayView name)
{
    if (name.isEmpty())
        return false;
    for (char c : name) {
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-'))
            return false;
    }
    return true;
}

// The tool sends values as Latin-1 and reads its options as UTF-8: printable
// ASCII is what both read alike.
bool isPlainValue(QByteArrayView value)
{
    for (char c : value) {
        const auto u = static_cast<unsigned char>(c);
        if ((u < 0x20 && c != '\t') || u > 0x7e)
            return false;
    }
    return true;
}

// Request headers the tool takes as orders to itself (a proxy for the
// request, no compression), whatever their case.
bool isToolInstruction(QByteArrayView name)
{
    const QByteArray lower = name.toByteArray().toLower();
    return lower.startsWith("ytdl-") || lower.startsWith("youtubedl-");
}

// A cookie pair fit for a line of the cookie file: fields are split at tabs,
// and a name that begins with '#' would make the line a comment.
bool isPlainCookie(QByteArrayView name, QByteArrayView value)
{
    if (name.isEmpty() || name.startsWith('#'))
        return false;
    for (QByteArrayView part : {name, value}) {
        for (char c : part) {
            const auto u = static_cast<unsigned char>(c);
            if (u <= 0x20 || u > 0x7e || c == ';')
                return false;
        }
    }
    for (char c : name)
        if (c == '=')
            return false;
    return true;
}

// One line per cookie, bound to this host alone (no domain attribute, as the
// browser holds a host's own cookies), secure when it came over HTTPS, for
// this session only.
QByteArray cookieLines(QByteArrayView header, const QUrl &address, QList<QByteArray> *dropped)
{
    QByteArray lines;
    const QByteArray host = address.host(QUrl::FullyEncoded).toLower().toLatin1();
    const QByteArray secure = address.scheme() == QLatin1String("https") ? "TRUE" : "FALSE";
    for (const QByteArray &pair : header.toByteArray().split(';')) {
        const QByteArray trimmed = pair.trimmed();
        if (trimmed.isEmpty())
            continue;
        const qsizetype equals = trimmed.indexOf('=');
        const QByteArray name = equals < 0 ? QByteArray() : trimmed.first(equals);
        const QByteArray value = equals < 0 ? trimmed : trimmed.sliced(equals + 1);
        if (!isPlainCookie(name, value)) {
            if (!dropped->contains("Cookie"))
                dropped->append("Cookie");
            continue;
        }
        lines += host + "\tFALSE\t/\t" + secure + "\t0\t" + name + '\t' + value + '\n';
    }
    return lines.isEmpty() ? lines : "# Netscape HTTP Cookie File\n" + lines;
}

} // namespace

ToolHeaders ToolHeaders::from(QByteArrayView requestHeader, const QUrl &address, bool oneOrigin)
{
    ToolHeaders headers;
    QByteArray cookies;
    for (const RequestHeaders::Field &field : RequestHeaders::parse(requestHeader).fields) {
        if (field.name.compare("Cookie", Qt::CaseInsensitive) == 0) {
            cookies += (cookies.isEmpty() ? "" : "; ") + field.value;
            continue;
        }
        if (isToolInstruction(field.name) || !isPlainName(field.name) || !isPlainValue(field.value)) {
            headers.dropped.append(field.name);
            continue;
        }
        if (RequestHeaders::isSecret(field.name) && !oneOrigin) {
            headers.heldBack.append(field.name);
            continue;
        }
        headers.options += "--add-header " + ToolOptions::quotedWord(QByteArray(field.name + ':' + field.value)) + '\n';
    }
    if (!cookies.isEmpty())
        headers.cookieFile = cookieLines(cookies, address, &headers.dropped);
    return headers;
}

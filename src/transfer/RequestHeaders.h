#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QUrl>

// The header lines of a sniffed browser request, made ready to be sent again.
namespace RequestHeaders {

struct Field
{
    QByteArray name;
    QByteArray value;
};

struct Parsed
{
    QList<Field> fields;   // in first-seen order; a later line replaces the value
    int skippedLines = 0;  // malformed, oversized or not replayed
};

// Bounds for bytes that come from captured traffic.
constexpr qsizetype maxLineLength = 64 * 1024;
constexpr int maxFields = 200;

// Splits the block at every line end (CR LF, LF or CR); skips empty lines,
// the request line and lines without ": "; splits the others at the first
// ": ". Names must be plain header tokens and values free of control
// characters. Headers that would change what the server sends back (ranges,
// conditions, encodings) or that belong to one connection are left out; so
// is Host, which the address gives.
Parsed parse(QByteArrayView block);

// Whether a header of this name is sent again: a plain token, and none of
// those parse() leaves out.
bool isReplayed(QByteArrayView name);

// Whether the value of this header is a secret: Cookie, Set-Cookie, and any
// name that speaks of a token, key, secret, auth, session or password, in
// any case (Authorization and Proxy-Authorization among them).
bool isSecret(QByteArrayView name);

// Headers that are not carried over to another host on a redirect.
bool isHostBound(QByteArrayView name);

// The value as it may be written to a log: secrets replaced, control
// characters shown as '?', long values cut.
QByteArray loggable(QByteArrayView name, QByteArrayView value);

// The whole block as it may be written to a log, lines joined by "\n".
QByteArray loggableBlock(QByteArrayView block);

} // namespace RequestHeaders

#pragma once

#include <optional>

#include <QByteArrayView>
#include <QList>
#include <QPair>

namespace streams {

// Splits untrusted text into lines: a leading UTF-8 byte-order mark is
// skipped, LF and CRLF both end a line, surrounding blanks are trimmed and a
// line longer than MaxLineBytes comes back empty and marked overlong.
class LineReader
{
public:
    struct Line
    {
        QByteArrayView text;
        bool overlong = false;
        qsizetype number = 0;
    };

    explicit LineReader(QByteArrayView text);
    std::optional<Line> next();

private:
    QByteArrayView m_rest;
    qsizetype m_number = 0;
};

// The "NAME=value,NAME="quoted, with commas"" list of an HLS tag. Keeps at
// most MaxAttributes pairs; a quoted value comes back without its quotes.
class AttributeList
{
public:
    static constexpr qsizetype MaxAttributes = 64;

    explicit AttributeList(QByteArrayView text);
    std::optional<QByteArrayView> value(QByteArrayView name) const;

private:
    QList<QPair<QByteArrayView, QByteArrayView>> m_pairs;
};

QByteArrayView trimmed(QByteArrayView text);
bool startsWithNoCase(QByteArrayView text, QByteArrayView prefix);
bool endsWithNoCase(QByteArrayView text, QByteArrayView suffix);
bool containsNoCase(QByteArrayView text, QByteArrayView needle);

// A non-negative decimal integer that fits; nothing for anything else.
std::optional<qint64> decimal(QByteArrayView text);

} // namespace streams

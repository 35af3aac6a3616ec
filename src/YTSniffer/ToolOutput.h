#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>

// Plain parsers for what the downloader tool prints. They take untrusted
// bytes and never fail: odd input yields empty or zero results.

struct FormatInfo
{
    int code = 0;
    bool best = false;
    QString extension;
    QString resolution;
    QString description;
};

namespace ToolOutput {

// Longest line kept from any tool; the rest of a longer line is dropped.
inline constexpr int maxLineLength = 4096;

// One chunk of output as text: white space stripped at both ends, cut at
// the first zero byte, invalid UTF-8 replaced.
QString chunkText(const QByteArray &chunk);

// A chunk split at "\n", empty pieces kept, each piece at most maxLineLength.
QStringList chunkLines(const QByteArray &chunk);

// Appends lines to an output list that holds at most maxLines entries;
// lines past the limit are dropped. Returns how many were dropped.
int appendBounded(QStringList &output, const QStringList &lines, int maxLines);

// Title as shown and used for file names: only blanks, digits, "(", ")",
// and the letters A-Z / a-z survive, runs of white space become one blank,
// the ends are trimmed and at most 30 characters remain.
QString cleanTitle(const QString &title);

// The progress figure between the first "]" and the first "%" of a chunk,
// clamped to 0..100; anything that is not a number reads as 0.
float progressFromChunk(const QByteArray &chunk);

// Format code to audio quality text, for the codes the listing knows.
QMap<int, QString> audioQualityTable();

// One format from the pieces of a listing line: code (0 when not a
// number), extension, resolution, "(best)" in the fourth column.
FormatInfo formatFromPieces(const QStringList &pieces, const QMap<int, QString> &qualities);

// The formats of a listing, keyed by code; header, tool messages ("[")
// and single-track ("DASH") lines are skipped.
QMap<int, FormatInfo> parseFormats(const QStringList &lines, const QMap<int, QString> &qualities);

// The pieces of one listing line split at runs of white space, or an empty
// list when the line is not a format line.
QStringList formatLinePieces(const QString &line);

} // namespace ToolOutput

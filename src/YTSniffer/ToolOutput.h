#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>

#include <optional>

// Plain parsers for what the downloader tool, ffmpeg and the update script
// print. They take untrusted text and never fail: what cannot be read gives
// an empty result or no value, never an invented one.

struct FormatInfo
{
    int code = 0;
    bool best = false;
    QString extension;
    QString resolution;
    QString description;
};

struct TitleInfo
{
    QString title;     // cleaned, see cleanTitle
    QString duration;  // "0:00" when the tool printed none
};

// The last line of the update script.
struct ToolUpdate
{
    QString tool;
    QString version;   // the version now installed
    QString previous;  // the version before, when it was updated
    bool updated = false;
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

// The title run's answer: the title on the first line ("default" when there
// is none), the duration on the second.
TitleInfo parseTitle(const QStringList &lines);

// The progress figure of one line: the text between its first "]" and its
// first "%" (everything before the "%" without a "]"), clamped to 0..100.
// No value when the line has no "%" or no number there.
std::optional<float> progressFromLine(const QString &line);
// The figure of the last line that carries one.
std::optional<float> lastProgress(const QStringList &lines);

// Format code to audio quality text, for the codes the listing knows.
QMap<int, QString> audioQualityTable();

// The formats of a listing, keyed by code (0 when the code is not a
// number, a later line replacing an earlier one of the same code): code,
// extension, resolution, "(best)" in the fourth column. Header, blank,
// tool message ("[") and single-track ("DASH") lines are skipped.
QMap<int, FormatInfo> parseFormats(const QStringList &lines, const QMap<int, QString> &qualities);

// The update script's last non-empty line: "TOOL VERSION is up to date" or
// "TOOL OLD was updated to NEW".
std::optional<ToolUpdate> parseUpdate(const QStringList &lines);

} // namespace ToolOutput

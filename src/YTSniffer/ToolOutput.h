#pragma once

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

struct FormatListing
{
    QMap<int, FormatInfo> formats;
    int leftOut = 0;   // formats past the cap, left out
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

// Longest line kept from any tool; a longer line is dropped.
inline constexpr int maxLineLength = 4096;
// Formats kept of one listing, the tool's preferred ones first.
inline constexpr int maxFormats = 200;

// Title as shown and used for file names: only blanks, digits, "(", ")",
// and the letters A-Z / a-z survive, runs of white space become one blank,
// the ends are trimmed and at most 30 characters remain.
QString cleanTitle(const QString &title);

// The title run's answer: the title on the first line ("default" when there
// is none), the duration on the second (control characters as blanks, at
// most 32 characters).
TitleInfo parseTitle(const QStringList &lines);

// The progress figure of one line: the text between its first "]" and its
// first "%" (everything before the "%" without a "]"), clamped to 0..100.
// No value when the line has no "%" or no number there.
std::optional<float> progressFromLine(const QString &line);
// The figure of the last line that carries one.
std::optional<float> lastProgress(const QStringList &lines);

// A progress line with amounts, as the stream save asks the tool to print
// them: "[download]  45.3% DONE/TOTAL", bytes; TOTAL may be an estimate or
// "NA". The percentage is read as progressFromLine reads it.
struct ToolProgress
{
    float percent = 0;
    std::optional<quint64> done;
    std::optional<quint64> total;
};
std::optional<ToolProgress> progressWithAmounts(const QString &line);
// The tool's template for such lines.
QString amountsTemplate();

// Format code to audio quality text, for the codes the listing knows.
QMap<int, QString> audioQualityTable();

// The formats of a listing, keyed by code (0 when the code is not a
// number, a later line replacing an earlier one of the same code): code,
// extension, resolution, "(best)" in the fourth column. Header, blank,
// tool message ("[") and single-track ("DASH") lines are skipped. An
// extension that is not safe is left empty: the container is unknown.
// At most maxFormats are kept, those marked best first.
FormatListing parseFormats(const QStringList &lines, const QMap<int, QString> &qualities);

// A file extension fit to end a file name: 1 to 10 ASCII letters or digits.
bool isSafeExtension(const QString &extension);

// The update script's last non-empty line: "TOOL VERSION is up to date" or
// "TOOL OLD was updated to NEW".
std::optional<ToolUpdate> parseUpdate(const QStringList &lines);

} // namespace ToolOutput

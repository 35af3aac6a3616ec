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
    QString code;      // the tool's own code, passed back as it stands
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
    QList<FormatInfo> formats;  // in listing order, one per code
    int leftOut = 0;            // formats past the cap, left out
};

// One progress line of a download: the figure, and the speed and time left
// when the tool knew them (one word each, empty otherwise).
struct ToolProgress
{
    float percent = 0;
    QString speed;
    QString eta;
    std::optional<quint64> done;  // bytes, from a line with amounts
    std::optional<quint64> total;
    QString part;                 // the track being fetched, when the tool says
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

// Longest format code kept; codes are passed back on a command line.
inline constexpr int maxCodeLength = 64;

// True for a character no file name may hold on common file systems:
// / \ : * ? " < > | and control characters.
bool isNameBreaker(QChar c);
// Title as shown and used for file names: letters and digits of every
// script stay, name breakers become blanks, runs of white space become one
// blank, the ends are trimmed and at most 30 characters (whole code
// points) remain.
QString cleanTitle(const QString &title);

// The title run's answer: the title on the first line ("default" when there
// is none), the duration on the second (control characters as blanks, at
// most 32 characters).
TitleInfo parseTitle(const QStringList &lines);

// The progress of one line: the figure is the text between its first "]"
// and its first "%" (everything before the "%" without a "]"), clamped to
// 0..100; the speed the word after "at", the time left the word after
// "ETA", the part the word after "part", each at most 16 printable
// characters and empty when unknown. No value when the line has no "%" or no
// number there.
std::optional<ToolProgress> progressFromLine(const QString &line);
// The progress of the last line that carries one.
std::optional<ToolProgress> lastProgress(const QStringList &lines);

// The file the tool says it saved: the rest of the last line that begins
// with "[saved] ". Empty when there is none.
QString savedFile(const QStringList &lines);

// A progress line with amounts, as the stream save asks the tool to print
// them: "[download]  45.3% DONE/TOTAL", bytes; TOTAL may be an estimate or
// "NA", maybe followed by " part ID". The percentage is read as
// progressFromLine reads it.
std::optional<ToolProgress> progressWithAmounts(const QString &line);
// The tool's template for such lines.
QString amountsTemplate();

// Format code to audio quality text, for the codes the listing knows.
QMap<QString, QString> audioQualityTable();

// The formats of a listing in its order, a later line replacing an earlier
// one of the same code: code, extension, resolution, "(best)" in the fourth
// column. Header, blank, tool message ("[") and single-track ("DASH") lines
// are skipped, and so is a code that is not 1 to maxCodeLength of
// A-Z a-z 0-9 _ . - (it could not be passed back). An extension that is
// not safe is left empty: the container is unknown. A row whose note ends
// in "merged" (video and sound joined) is described as such. At most
// maxFormats are kept, those marked best first.
FormatListing parseFormats(const QStringList &lines, const QMap<QString, QString> &qualities);

// A code fit to pass back to the tool, as parseFormats keeps them.
bool isSafeCode(const QString &code);

// What the tool is asked for by a code of the listing: "mHEIGHT" (a merged
// row) the best video up to that height with the best audio, "best" the
// best of all, any other code itself.
QString selectorFor(const QString &code);
// A selector the launcher passes on: 1 to 128 of A-Z a-z 0-9 _ . - * + / [ ] < =,
// not beginning with "-". The launcher holds the same rule.
bool isSafeSelector(const QString &selector);

// A file extension fit to end a file name: 1 to 10 ASCII letters or digits.
bool isSafeExtension(const QString &extension);

// The update script's last non-empty line: "TOOL VERSION is up to date" or
// "TOOL OLD was updated to NEW".
std::optional<ToolUpdate> parseUpdate(const QStringList &lines);

} // namespace ToolOutput

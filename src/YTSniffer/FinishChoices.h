#pragma once

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// What a saved file carries besides its media, and which part of the video
// it holds: subtitles, tags, chapters, a cover, a time range. Plain values
// and pure functions: the window, the command line and the jobs share them.

// One subtitle language a page offers, as the tool's format run lists it.
struct SubtitleInfo
{
    QString code;            // the page's language code, isSafeLanguage
    QString name;            // the page's name for it, maybe empty
    bool automatic = false;  // an automatic caption

    bool operator==(const SubtitleInfo &) const = default;
};

struct FinishChoices
{
    QStringList subtitles = {};     // language codes, each isSafeLanguage
    bool subtitlesBeside = false;   // .srt files beside the file, else inside it
    bool tags = false;              // title, artist, date, description
    bool chapters = false;
    bool cover = false;             // the page's picture, where the container takes one
    bool coverBeside = false;       // ... as STEM.jpg beside the file instead (for a conversion to take)
    int from = -1;                  // seconds; -1 both: the whole video
    int to = -1;

    bool hasSection() const { return from >= 0 && to > from; }
    bool operator==(const FinishChoices &) const = default;
};

namespace Finish {

// Languages kept of one listing; a page with more is a fault.
inline constexpr int maxSubtitles = 300;

// A language code fit for a file name and a command line: 1 to 32 of
// A-Z a-z 0-9 - _, beginning with a letter or digit. Codes come from the
// page: a slash, "..", a blank or a leading "-" is never one.
bool isSafeLanguage(const QString &code);

// The subtitle lines of the format run: "[subtitles] CODE NAME" for the
// page's own, "[captions] CODE NAME" for automatic ones. Own ones first,
// then captions, each code once per kind; unsafe codes are left out, names
// are made one printable line of at most 64 characters.
QList<SubtitleInfo> parseSubtitles(const QStringList &lines);

// "English", "English (automatic)": the page's name, else the language's
// name, else the code.
QString label(const SubtitleInfo &subtitle);

// "en, de" as a list of safe codes, each once, in order; anything else is
// left out.
QStringList languageList(const QString &text);

// "h:mm:ss", "m:ss" or plain seconds, at most 99 hours; no value for
// anything else.
std::optional<int> parseClock(const QString &text);
// Seconds as "h:mm:ss" (hours only when there are some: "m:ss").
QString clockText(int seconds);

// Why a range cannot be saved of a video of `duration` seconds (-1:
// unknown), or an empty text when it can.
QString sectionProblem(int from, int to, int duration);

// The launcher's options for these choices, before the address.
QStringList launcherArguments(const FinishChoices &choices);

// The choices as kept in the history and back; unknown or odd members are
// left out (an unsafe language code among them).
QJsonObject toJson(const FinishChoices &choices);
FinishChoices fromJson(const QJsonObject &object);

} // namespace Finish

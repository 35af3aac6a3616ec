#pragma once

#include <QMetaType>
#include <QString>
#include <QUrl>

// One entry of a playlist, channel or feed as the launcher's listing names
// it. Every text came from a page: untrusted, shown and cleaned, never used
// as a path as it stands.
struct PlaylistEntry
{
    int number = 0;      // its place in the playlist, from 1
    QString title;       // printable, at most maxTitle characters; may be empty
    QString length;      // "1:23" or "1:02:03"; "0:00" when unknown
    QUrl address;        // http or https
    QString id;
    QString site;
    bool inPage = false; // a video of the page itself: saved as item `number` of the page, which has its subtitles

    bool operator==(const PlaylistEntry &) const = default;
};

// One line of "run --list-entries".
struct ListingLine
{
    enum class Kind { Unreadable, Playlist, Entry, Note, Single };
    Kind kind = Kind::Unreadable;
    PlaylistEntry entry;  // Entry
    QString title;        // Playlist: its title; Note: the note's text
    QString id;           // Playlist
    int count = 0;        // Playlist, Note: entries the page has, 0 when unknown
    int listed = 0;       // Note: entries listed
};

namespace PlaylistOutput {

inline constexpr int maxTitle = 300;
inline constexpr int maxNumber = 10'000'000;

// Never fails: anything but a well-formed line of a known kind is
// Unreadable, and so is an entry without an http(s) address or a number.
ListingLine parseLine(const QString &line);

} // namespace PlaylistOutput

Q_DECLARE_METATYPE(PlaylistEntry)

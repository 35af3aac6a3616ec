#pragma once

#include "JobTypes.h"
#include "PlaylistListing.h"

#include <QList>
#include <QString>

#include <optional>

// The jobs of a playlist's chosen entries, for the window and the command
// line alike: which entries a range names, the playlist's folder, one
// request per entry under a name of its own.
namespace PlaylistJobs {

// More numbers than this in one range are refused: "1-99999999" is a slip.
inline constexpr int maxChosen = 100'000;

// "1,3-5" or "1-10, 15": the numbers named, ascending, each once. No value
// for anything else: an empty text, a 0, a range backwards, a stray word.
std::optional<QList<int>> parseRange(const QString &text);

// A name for a file or folder from an untrusted title, cleaned as titles
// are, without leading dots or blanks; `fallback` when nothing is left.
QString fitName(const QString &title, const QString &fallback);

// The playlist's folder inside `base`, named after its title; empty when
// that would not lie inside it.
QString folder(const QString &base, const QString &title);

// One request per entry, like `pattern` (kind, selector, cookie source),
// each into `folder` under its entry's title ("Entry N" without one): the
// names differ from each other and from what is in the folder, and none is
// the beginning of another's file names. An entry found in the page itself
// is saved as that item of `page`, the address listed.
QList<JobRequest> requests(const QList<PlaylistEntry> &entries, const JobRequest &pattern, const QString &folder,
                           const QUrl &page);

} // namespace PlaylistJobs

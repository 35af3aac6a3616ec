#pragma once

#include <QString>
#include <QStringList>

// The local socket between the native hosts and the window, and where the
// window's other local sockets live.
namespace BrowserSocket {

// Where the window's socket may be, best first, each in a private folder of
// this user (a real directory, not a link, owned by the effective user and
// closed to group and others): $XDG_RUNTIME_DIR when it is one, then
// "vidarro-<uid>" in the temporary folder, then "browser-socket" in the
// per-user folder, which no other user can take first. One name per user and
// per-user folder, so two accounts, or a test run and the user's own window,
// never meet. The role names the socket, so one window can listen on
// several: "browser" for the native hosts; another role's last place is
// "<role>-socket" in the per-user folder.
struct Places
{
    QStringList names;     // socket paths
    QStringList skipped;   // why a folder was passed over, for the log
};

// forWindow: the first place only, its folder made when missing (the
// window's call). Otherwise every place whose folder exists, in the same
// order, for a host to try: it finds the window whichever the window took.
Places serverPlaces(const QString &perUserFolder, bool forWindow, const QString &role = QStringLiteral("browser"));

// True when the process at the other end of a connected local socket runs
// as this user.
bool peerIsThisUser(qintptr descriptor);

} // namespace BrowserSocket

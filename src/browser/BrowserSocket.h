#pragma once

#include <QString>

// The local socket between the native hosts and the window.
namespace BrowserSocket {

// One name per user and per-user folder, so two accounts, or a test run and
// the user's own window, never meet. It lives in $XDG_RUNTIME_DIR when that
// is the user's own private folder, else in the temporary folder.
QString serverName(const QString &perUserFolder);

// True when the process at the other end of a connected local socket runs
// as this user: a name in a shared folder could have been taken first.
bool peerIsThisUser(qintptr descriptor);

} // namespace BrowserSocket

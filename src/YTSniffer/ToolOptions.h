#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>

struct NetworkRoute;

// The private files a run of the downloader tool reads its options from:
// credentials, the browser's headers and cookies, the address. They live in
// a folder only this user may enter and go with the run, so nothing of them
// stands on a command line, where every local user could read it.
namespace ToolOptions {

// A word of the tool's configuration file, read the way a POSIX shell reads
// words: single quotes, each quote written as '"'"'.
QByteArray quotedWord(QByteArrayView value);

// "--proxy" and "--limit-rate" lines for the route: an empty proxy makes
// the tool go direct, whatever the environment says; none for the system's.
QByteArray routeLines(const NetworkRoute &route);

// A new folder of mode 0700 in the temporary folder; empty when it cannot be made.
QString makePrivateFolder();

// Writes a new file of mode 0600 (never through a link); false when it cannot.
bool writePrivateFile(const QString &path, QByteArrayView text);

// What a run for an address reads beside its command line: the address's
// credentials, the cookie source ("BROWSER[:PROFILE]", or empty) and the
// current route's lines (its proxy may carry a password), in "options.conf"
// of a new private folder when there is any of them.
struct AddressRun
{
    QStringList arguments;   // to put first: "--config-locations FILE", or none
    QString folder;          // to remove when the run ends; empty: none
};
AddressRun addressOptions(const QString &userName, const QString &password, const QString &cookieSource);

} // namespace ToolOptions

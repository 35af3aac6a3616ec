#pragma once

#include <QList>
#include <QString>

// The browser whose cookies the downloader tool reads, as the settings page
// offers it ("Cookies from") and the settings file keeps it (keys
// "cookies_browser" and "cookies_profile").
namespace CookieSource {

struct Choice
{
    QString label;   // as the settings page shows it
    QString browser; // as the settings file keeps it and the tool names it; empty: none
};

// "none" first, then the browsers in the order the page lists them.
const QList<Choice> &choices();

// The value of "--cookies-from-browser": "BROWSER" or "BROWSER:PROFILE".
// Empty for none, for a browser not in the list, and for a profile with a
// control character (a stored value is untrusted text).
QString argument(const QString &browser, const QString &profile);

// Whether the cookie store the tool reads for that choice is there for this
// user, looked for where the tool looks: a Chromium-based browser's
// "Cookies" file in its folder under $XDG_CONFIG_HOME (else ~/.config) or in
// a profile folder below it (also in its "Network" folder), Firefox's
// "cookies.sqlite" in a profile folder under ~/.mozilla/firefox or the other
// places it is installed to. A profile with a "/" is a folder, looked in as
// it stands; any other names one below the browser's folder. True when
// argument() hands nothing to the tool: there is nothing to look for.
bool storeFound(const QString &browser, const QString &profile);

} // namespace CookieSource

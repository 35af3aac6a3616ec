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

} // namespace CookieSource

#pragma once

#include "SettingsFile.h"

#include <QUrl>

namespace UrlCheck {

// The host in its encoded (ASCII-compatible) form.
QString encodedHost(const QUrl &url);

// True when any entry of the list occurs in the host (case-sensitive
// substring, so "tube.com" accepts "www.youtube.com"; an empty entry accepts
// every host).
bool hostAccepted(const QString &host, const SettingsList &entries);

} // namespace UrlCheck

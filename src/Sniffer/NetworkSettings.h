#pragma once

#include "NetworkRoute.h"

#include <QString>

class SettingsFile;

// The settings page's network group as stored: "rate_limit_kib" (0: none),
// "proxy" (none, system, address) and "proxy_address".
namespace NetworkSettings {

inline QString rateKey() { return QStringLiteral("rate_limit_kib"); }
inline QString proxyKey() { return QStringLiteral("proxy"); }
inline QString addressKey() { return QStringLiteral("proxy_address"); }

// The route the settings name; a proxy address that is not one leaves the
// proxy of the system, and `problem` says why.
NetworkRoute route(const SettingsFile &settings, QString *problem = nullptr);

} // namespace NetworkSettings

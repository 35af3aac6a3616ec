#include "UrlCheck.h"

namespace UrlCheck {

QString encodedHost(const QUrl &url)
{
    return url.host(QUrl::FullyEncoded);
}

bool hostAccepted(const QString &host, const SettingsList &entries)
{
    for (const QString &entry : entries) {
        if (host.contains(entry, Qt::CaseSensitive))
            return true;
    }
    return false;
}

} // namespace UrlCheck

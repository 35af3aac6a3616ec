#include "NetworkSettings.h"

#include "SettingsFile.h"

namespace NetworkSettings {

NetworkRoute route(const SettingsFile &settings, QString *problem)
{
    NetworkRoute route;
    route.bytesPerSecond = qMax(0LL, settings.value(rateKey()).toLongLong()) * 1024;
    const QString proxy = settings.value(proxyKey());
    if (proxy == QLatin1String("none")) {
        route.proxy = NetworkRoute::Proxy::None;
    } else if (proxy == QLatin1String("address")) {
        if (const std::optional<QUrl> address = NetworkRoute::parseProxy(settings.value(addressKey()), problem)) {
            route.proxy = NetworkRoute::Proxy::Address;
            route.address = *address;
        }
    }
    return route;
}

} // namespace NetworkSettings


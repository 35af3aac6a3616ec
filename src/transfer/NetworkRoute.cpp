#include "NetworkRoute.h"

#include "SafeText.h"

#include <QMutex>
#include <QNetworkAccessManager>
#include <QNetworkProxyFactory>
#include <QRegularExpression>

namespace {

QMutex routeLock;
NetworkRoute &routeNow()
{
    static NetworkRoute route;
    return route;
}

// The proxy of the environment (http_proxy and its kin), asked per request.
class SystemProxies : public QNetworkProxyFactory
{
public:
    QList<QNetworkProxy> queryProxy(const QNetworkProxyQuery &query) override
    {
        return systemProxyForQuery(query);
    }
};

} // namespace

std::optional<QUrl> NetworkRoute::parseProxy(const QString &text, QString *why)
{
    const QUrl url(text.trimmed(), QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    QString reason;
    if (!url.isValid() || url.host().isEmpty())
        reason = QStringLiteral("not an address such as http://host:8080 or socks5://host:1080");
    else if (scheme != QLatin1String("http") && scheme != QLatin1String("socks5"))
        reason = QStringLiteral("only http:// and socks5:// proxies are supported");
    else if (url.port() <= 0)
        reason = QStringLiteral("the proxy's port is missing");
    else if ((!url.path().isEmpty() && url.path() != QLatin1String("/")) || url.hasQuery() || url.hasFragment())
        reason = QStringLiteral("a proxy address has no path");
    if (!reason.isEmpty()) {
        if (why)
            *why = reason;
        return std::nullopt;
    }
    return url.adjusted(QUrl::StripTrailingSlash);
}

std::optional<qint64> NetworkRoute::parseRate(const QString &text)
{
    static const QRegularExpression form(QStringLiteral("^([0-9]{1,9}(?:\\.[0-9]{1,3})?)([kKmM]?)$"));
    const QRegularExpressionMatch match = form.match(text.trimmed());
    if (!match.hasMatch())
        return std::nullopt;
    const QString unit = match.captured(2).toUpper();
    const double factor = unit == QLatin1String("K") ? 1024.0 : unit == QLatin1String("M") ? 1048576.0 : 1.0;
    const auto rate = qint64(match.captured(1).toDouble() * factor);
    return rate > 0 ? std::optional<qint64>(rate) : std::nullopt;
}

NetworkRoute NetworkRoute::current()
{
    QMutexLocker lock(&routeLock);
    return routeNow();
}

void NetworkRoute::setCurrent(const NetworkRoute &route)
{
    QMutexLocker lock(&routeLock);
    routeNow() = route;
}

void NetworkRoute::applyTo(QNetworkAccessManager *manager) const
{
    switch (proxy) {
    case Proxy::None:
        manager->setProxy(QNetworkProxy::NoProxy);
        break;
    case Proxy::System:
        manager->setProxyFactory(new SystemProxies);
        break;
    case Proxy::Address: {
        const bool socks = address.scheme().compare(QLatin1String("socks5"), Qt::CaseInsensitive) == 0;
        manager->setProxy(QNetworkProxy(socks ? QNetworkProxy::Socks5Proxy : QNetworkProxy::HttpProxy, address.host(),
                                        quint16(address.port()), address.userName(QUrl::FullyDecoded),
                                        address.password(QUrl::FullyDecoded)));
        break;
    }
    }
}

QString NetworkRoute::shownProxy() const
{
    switch (proxy) {
    case Proxy::None: return QStringLiteral("none");
    case Proxy::System: return QStringLiteral("system");
    case Proxy::Address: return SafeText::address(address);
    }
    return {};
}

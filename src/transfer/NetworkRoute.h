#pragma once

#include <QByteArray>
#include <QNetworkProxy>
#include <QString>
#include <QUrl>

#include <optional>

class QNetworkAccessManager;

// How this program reaches the network: through which proxy and at what
// rate. One value for the tool's runs, the HTTP transfer and the manifest
// fetch alike; the window sets it from its settings, "--get" from its
// command line. The proxy's password goes to the tool in its private
// options file and never into a log.
struct NetworkRoute
{
    enum class Proxy { None, System, Address };

    Proxy proxy = Proxy::System;
    QUrl address;             // with Proxy::Address: http:// or socks5://, user and password allowed
    qint64 bytesPerSecond = 0;  // 0: no limit

    // "http://[user:password@]host:port" or "socks5://…"; nullopt and the
    // reason when it is not such an address.
    static std::optional<QUrl> parseProxy(const QString &text, QString *why);
    // "200K", "1.5M", "50000" (bytes a second, as the tool's own option
    // reads them); nullopt when it is not such a rate.
    static std::optional<qint64> parseRate(const QString &text);

    // The one route every engine started from now on takes.
    static NetworkRoute current();
    static void setCurrent(const NetworkRoute &route);

    void applyTo(QNetworkAccessManager *manager) const;
    // The proxy as the log and the messages may show it: no password.
    QString shownProxy() const;
    bool throughProxy() const { return proxy == Proxy::Address; }

    bool operator==(const NetworkRoute &) const = default;
};

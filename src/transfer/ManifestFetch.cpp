#include "ManifestFetch.h"

#include "LogLine.h"
#include "NetworkRoute.h"
#include "SafeText.h"
#include "RequestHeaders.h"

#include <QNetworkAccessManager>
#include <QNetworkRequest>

ManifestFetch::ManifestFetch(QNetworkAccessManager *manager, QObject *parent) : QObject(parent), m_manager(manager)
{
    m_idle.setSingleShot(true);
    connect(&m_idle, &QTimer::timeout, this, [this] { fail(QStringLiteral("no answer in time")); });
}

void ManifestFetch::fetch(const QUrl &address, const QByteArray &requestHeader, qsizetype maxBytes, int timeoutMs,
                          const QUrl &headersFor)
{
    m_maxBytes = maxBytes;
    if (!address.isValid() || (address.scheme() != QLatin1String("http") && address.scheme() != QLatin1String("https"))) {
        QTimer::singleShot(0, this, [this] { fail(QStringLiteral("not an HTTP address")); });
        return;
    }
    QNetworkRequest request(address);
    const bool sameOrigin = headersFor.isEmpty()
                            || (headersFor.scheme() == address.scheme() && headersFor.host() == address.host()
                                && headersFor.port(-1) == address.port(-1));
    for (const RequestHeaders::Field &field : RequestHeaders::parse(requestHeader).fields) {
        if (sameOrigin || !RequestHeaders::isHostBound(field.name))
            request.setRawHeader(field.name, field.value);
    }
    request.setRawHeader("Accept-Encoding", "identity");
    // Secrets stay with their own origin.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::SameOriginRedirectPolicy);
    request.setMaximumRedirectsAllowed(10);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    // A manifest is small: the proxy applies, the rate limit need not.
    const NetworkRoute route = NetworkRoute::current();
    route.applyTo(m_manager);
    m_proxy = route.throughProxy() ? route.shownProxy() : QString();
    LOG_DEBUG << "ManifestFetch" << ":" << SafeText::address(address) << ":" << "proxy" << ":" << route.shownProxy();
    m_reply = m_manager->get(request);
    m_idle.setInterval(timeoutMs);
    m_idle.start();
    connect(m_reply, &QNetworkReply::readyRead, this, &ManifestFetch::readSome);
    connect(m_reply, &QNetworkReply::finished, this, &ManifestFetch::finish);
    connect(m_reply, &QNetworkReply::downloadProgress, this, [this] { m_idle.start(); });
}

void ManifestFetch::readSome()
{
    if (m_ended || !m_reply)
        return;
    const qint64 announced = m_reply->header(QNetworkRequest::ContentLengthHeader).toLongLong();
    if (announced > m_maxBytes) {
        fail(QStringLiteral("announced %1 bytes, more than a manifest may have").arg(announced));
        return;
    }
    m_body += m_reply->read(m_maxBytes + 1 - m_body.size());
    if (m_body.size() > m_maxBytes)
        fail(QStringLiteral("more than %1 bytes").arg(m_maxBytes));
}

void ManifestFetch::finish()
{
    if (m_ended || !m_reply)
        return;
    readSome();
    if (m_ended)
        return;
    const int status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (m_reply->error() != QNetworkReply::NoError || status < 200 || status > 299) {
        // No answer at all through a proxy: the proxy failed.
        fail(status == 0 && !m_proxy.isEmpty()
                 ? QStringLiteral("the proxy %1 failed: %2").arg(m_proxy, m_reply->errorString())
                 : QStringLiteral("HTTP %1: %2").arg(status).arg(m_reply->errorString()));
        return;
    }
    m_ended = true;
    m_idle.stop();
    Result result{true, m_body, m_reply->url(), {}};
    m_reply->deleteLater();
    emit done(result);
}

void ManifestFetch::fail(const QString &why)
{
    if (m_ended)
        return;
    m_ended = true;
    m_idle.stop();
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->abort();
        m_reply->deleteLater();
    }
    LOG_WARNING << "ManifestFetch" << ":" << why;
    emit done(Result{false, {}, {}, why});
}

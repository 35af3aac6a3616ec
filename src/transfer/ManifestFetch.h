#pragma once

#include <QByteArray>
#include <QNetworkReply>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QUrl>

class QNetworkAccessManager;

// Fetches one small text, a streaming manifest, into memory with the header
// lines of the browser's request (HTTP or HTTPS). Bounded: an answer longer
// than maxBytes, or silent for timeoutMs, fails. One fetch per object.
class ManifestFetch : public QObject
{
    Q_OBJECT

public:
    struct Result
    {
        bool ok = false;
        QByteArray body;
        QUrl address;      // where the text came from, after redirects
        QString error;     // for the log; never holds header values
    };

    ManifestFetch(QNetworkAccessManager *manager, QObject *parent = nullptr);

    // headersFor: where the browser sent requestHeader, when not to address:
    // its secrets (cookies, authorization) go to that origin only.
    void fetch(const QUrl &address, const QByteArray &requestHeader, qsizetype maxBytes, int timeoutMs = 15000,
               const QUrl &headersFor = {});

signals:
    // Exactly once per fetch, never from inside fetch().
    void done(const ManifestFetch::Result &result);

private:
    void readSome();
    void finish();
    void fail(const QString &why);

    QNetworkAccessManager *m_manager;
    QPointer<QNetworkReply> m_reply;
    QByteArray m_body;
    qsizetype m_maxBytes = 0;
    QTimer m_idle;
    bool m_ended = false;
    QString m_proxy;   // the proxy of this fetch as the log may show it; empty: none
};
Q_DECLARE_METATYPE(ManifestFetch::Result)

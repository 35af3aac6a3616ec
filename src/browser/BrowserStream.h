#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QList>
#include <QMetaType>
#include <QPair>
#include <QString>

// Request headers in the order the browser sent them. Names keep the
// browser's spelling (HTTP/2 gives them in lower case).
using BrowserHeaders = QList<QPair<QByteArray, QByteArray>>;

// One media response a browser saw, validated from the extension's message.
struct BrowserStream
{
    QString url;                  // http:// or https://, never another scheme
    QString method;
    int status = 0;
    BrowserHeaders requestHeaders;
    QString contentType;
    qint64 contentLength = -1;    // -1 when the response gave none
    QString contentRange;         // "bytes 0-99/1000" for a partial response, else empty
    QString tabTitle;
    QString pageUrl;              // the playing page, empty when unknown
    QDateTime seen;               // UTC

    // The whole resource's size: the total of Content-Range when the
    // response was partial, else the content length (-1 when unknown).
    qint64 totalLength() const;

    bool operator==(const BrowserStream &) const = default;
};
Q_DECLARE_METATYPE(BrowserStream)

// True for headers whose values must never reach a log: Cookie,
// Authorization, Proxy-Authorization and any name with token, key, secret,
// auth, session or password in it.
bool isSensitiveHeader(QByteArrayView name);

// "Name: value" lines for a log line, each sensitive value replaced by
// "(N bytes)".
QString headersForLog(const BrowserHeaders &headers);

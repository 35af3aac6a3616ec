#pragma once

#include <QByteArray>
#include <QMetaType>

// One media stream seen on the wire: the URL (host and path, no scheme), the
// browser's request header block, the content length text and the content
// type text, each exactly as the analysis cut it from the packets.
struct MediaReport
{
    QByteArray url;
    QByteArray header;
    QByteArray contentLength;
    QByteArray contentType;

    friend bool operator==(const MediaReport &, const MediaReport &) = default;
};

// Called on a capture thread for every reported stream; several capture
// threads may call it at the same time.
using MediaCallback = void (*)(QByteArray url, QByteArray header, QByteArray length, QByteArray type);

Q_DECLARE_METATYPE(MediaReport)

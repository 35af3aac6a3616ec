#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QUrl>

// What the downloader tool is given of a browser's request headers. The tool
// sends its header options to every host a manifest names, so a secret goes
// that way only when the manifest names no other host than its own: else the
// cookies go in a cookie file bound to the stream's host (as a browser sends
// them), and the other secrets (Authorization and the like) stay behind,
// since the tool cannot keep them to one host. Headers the tool would read as
// its own instructions, or whose name or value it cannot take, are left out.
struct ToolHeaders
{
    QByteArray options;          // "--add-header 'Name:value'" lines
    QByteArray cookieFile;       // the cookies for the stream's host alone; empty without any
    QList<QByteArray> heldBack;  // names of secrets kept to their host
    QList<QByteArray> dropped;   // names of headers the tool must not or cannot take

    static ToolHeaders from(QByteArrayView requestHeader, const QUrl &address, bool oneOrigin);
};

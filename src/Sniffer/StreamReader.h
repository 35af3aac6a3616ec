#pragma once

#include "StreamInfo.h"

#include <QByteArray>
#include <QObject>
#include <QUrl>

class QNetworkAccessManager;
namespace streams { class StreamSorter; }

// Reads a listed manifest once with the browser's request headers, and for
// an HLS master its best variant playlist too (one level, for the length and
// the protection), then tells the sorter what the stream names, so that its
// playlists and segments add no rows.
class StreamReader : public QObject
{
    Q_OBJECT

public:
    StreamReader(streams::StreamSorter *sorter, QObject *parent = nullptr);

    // number: the row's number, handed back with the answer.
    void read(int number, const QUrl &address, const QByteArray &requestHeader);

signals:
    void streamRead(int number, const streams::StreamInfo &info);
    void streamFailed(int number, const QString &why);

private:
    void fetch(const QUrl &address, const QByteArray &requestHeader,
               std::function<void(const QByteArray &, const QUrl &)> then, int number, const QUrl &headersFor = {});

    streams::StreamSorter *m_sorter;
    QNetworkAccessManager *m_network;
};

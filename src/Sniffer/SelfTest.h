#pragma once

#include <QByteArray>
#include <QObject>
#include <QTcpServer>
#include <QUrl>

class QNetworkAccessManager;
class QTcpSocket;

// The local half of the sniffer test: a small server of the program's own on
// 127.0.0.1 serves a short MP3 of silence, and the program fetches it once
// through the loopback interface, where a capture engine must see it. So the
// test proves capture end to end without the internet.
class SelfTest : public QObject
{
    Q_OBJECT

public:
    // Large enough to be listed (the page lists streams of 100000 bytes or more).
    static constexpr int baseFrames = 250;

    explicit SelfTest(QObject *parent = nullptr);

    // An address this test serves itself: plain HTTP to 127.0.0.1 or localhost.
    static bool isLocal(const QUrl &address);
    // ID3 tag and baseFrames + run silent MPEG audio frames: every run a
    // stream of its own size, so that each run adds a row.
    static QByteArray testFile(int run);

    // Serves the address's path on a free port of 127.0.0.1 and fetches it.
    // False when the server cannot listen.
    bool start(const QUrl &address);
    // What the last start fetched; empty before.
    QUrl fetchedUrl() const { return m_url; }

signals:
    void fetched(bool ok);

private:
    void serve(QTcpSocket *socket);

    QTcpServer m_server;
    QNetworkAccessManager *m_network = nullptr;
    QUrl m_url;
    QByteArray m_file;
    int m_run = 0;
};

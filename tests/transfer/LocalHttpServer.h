#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QTcpServer>

class QTcpSocket;

// A small HTTP/1.1 server on 127.0.0.1 for the transfer tests: each path
// answers as its route says, and every request head that arrives is kept.
class LocalHttpServer : public QObject
{
    Q_OBJECT

public:
    enum class Mode {
        Plain,      // Content-Length and the whole body
        NoLength,   // no Content-Length; the close ends the body
        Chunked,    // chunked transfer coding
        CutHalfway, // Content-Length, then half the body and a close
        Slow,       // Content-Length, the body in small pieces on a timer
        Stall,      // Content-Length and the first piece, then nothing
    };

    struct Route
    {
        QByteArray status = "200 OK";
        QList<QByteArray> headers; // whole lines without "\r\n"
        QByteArray body;
        Mode mode = Mode::Plain;
        int pieceBytes = 4096;
        int pieceIntervalMs = 20;
    };

    explicit LocalHttpServer(QObject *parent = nullptr);

    bool listen();
    quint16 port() const { return m_server.serverPort(); }
    QByteArray url(const QByteArray &path) const;

    void route(const QByteArray &path, const Route &route);
    QList<QByteArray> requestHeads() const { return m_heads; }
    QByteArray lastHead() const { return m_heads.isEmpty() ? QByteArray() : m_heads.last(); }
    // The value of one header of the last request, empty when it was absent.
    QByteArray lastHeader(const QByteArray &name) const;
    int headerCount(const QByteArray &name) const;

    static QByteArray pattern(int size);

signals:
    void requestArrived(QByteArray path);

private:
    void onConnection();
    void answer(QTcpSocket *socket, const QByteArray &head);
    void sendSlowly(QTcpSocket *socket, const Route &route, int from);

    QTcpServer m_server;
    QHash<QByteArray, Route> m_routes;
    QList<QByteArray> m_heads;
};

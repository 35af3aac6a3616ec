#include "LocalHttpServer.h"

#include <QHostAddress>
#include <QPointer>
#include <QTcpSocket>
#include <QTimer>

LocalHttpServer::LocalHttpServer(QObject *parent) : QObject(parent)
{
    connect(&m_server, &QTcpServer::newConnection, this, &LocalHttpServer::onConnection);
}

bool LocalHttpServer::listen()
{
    return m_server.listen(QHostAddress::LocalHost, 0);
}

QByteArray LocalHttpServer::url(const QByteArray &path) const
{
    return "http://127.0.0.1:" + QByteArray::number(port()) + path;
}

void LocalHttpServer::route(const QByteArray &path, const Route &route)
{
    m_routes.insert(path, route);
}

QByteArray LocalHttpServer::pattern(int size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    quint32 x = 2463534242u;
    for (int i = 0; i < size; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        bytes[i] = char(x & 0xff);
    }
    return bytes;
}

int LocalHttpServer::headerCount(const QByteArray &name) const
{
    int count = 0;
    for (const QByteArray &line : lastHead().split('\n'))
        if (line.toLower().startsWith(QByteArray(name.toLower() + ":")))
            ++count;
    return count;
}

QByteArray LocalHttpServer::lastHeader(const QByteArray &name) const
{
    for (QByteArray line : lastHead().split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.toLower().startsWith(QByteArray(name.toLower() + ":")))
            return line.mid(name.size() + 1).trimmed();
    }
    return QByteArray();
}

void LocalHttpServer::onConnection()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
            QByteArray pending = socket->property("pending").toByteArray() + socket->readAll();
            // One request per connection is all the tests need; keep-alive
            // requests that follow are answered the same way.
            for (;;) {
                const qsizetype end = pending.indexOf("\r\n\r\n");
                if (end < 0)
                    break;
                const QByteArray head = pending.left(end + 4);
                pending.remove(0, end + 4);
                answer(socket, head);
            }
            socket->setProperty("pending", pending);
        });
    }
}

void LocalHttpServer::answer(QTcpSocket *socket, const QByteArray &head)
{
    m_heads.append(head);
    const QList<QByteArray> requestLine = head.left(head.indexOf("\r\n")).split(' ');
    const QByteArray path = requestLine.value(1);
    emit requestArrived(path);

    const auto found = m_routes.constFind(path);
    const Route route = found == m_routes.constEnd()
                            ? Route{"404 Not Found", {}, "no such file", Mode::Plain, 4096, 20}
                            : *found;
    QByteArray out = "HTTP/1.1 " + route.status + "\r\n";
    for (const QByteArray &line : route.headers)
        out += line + "\r\n";
    switch (route.mode) {
    case Mode::NoLength:
        out += "Connection: close\r\n\r\n" + route.body;
        socket->write(out);
        socket->disconnectFromHost();
        return;
    case Mode::Chunked: {
        out += "Transfer-Encoding: chunked\r\n\r\n";
        for (qsizetype at = 0; at < route.body.size(); at += 7000) {
            const QByteArray piece = route.body.mid(at, 7000);
            out += QByteArray::number(piece.size(), 16) + "\r\n" + piece + "\r\n";
        }
        out += "0\r\n\r\n";
        socket->write(out);
        return;
    }
    case Mode::CutHalfway:
        out += "Content-Length: " + QByteArray::number(route.body.size()) + "\r\n\r\n";
        out += route.body.left(route.body.size() / 2);
        socket->write(out);
        socket->disconnectFromHost();
        return;
    case Mode::Slow:
    case Mode::Stall:
        out += "Content-Length: " + QByteArray::number(route.body.size()) + "\r\n\r\n";
        socket->write(out);
        sendSlowly(socket, route, 0);
        return;
    case Mode::Plain:
        break;
    }
    out += "Content-Length: " + QByteArray::number(route.body.size()) + "\r\n\r\n" + route.body;
    socket->write(out);
}

void LocalHttpServer::sendSlowly(QTcpSocket *socket, const Route &route, int from)
{
    if (from >= route.body.size())
        return;
    socket->write(route.body.mid(from, route.pieceBytes));
    if (route.mode == Mode::Stall)
        return; // the client has to give up by itself
    QPointer<QTcpSocket> guard(socket);
    QTimer::singleShot(route.pieceIntervalMs, this, [this, guard, route, from] {
        if (guard && guard->state() == QAbstractSocket::ConnectedState)
            sendSlowly(guard, route, from + route.pieceBytes);
    });
}

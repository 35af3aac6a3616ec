#include "SelfTest.h"

#include "LogLine.h"

#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QTcpSocket>
#include <QUrlQuery>

#include <memory>

namespace {

constexpr qsizetype maxRequestHead = 16384;
// MPEG-1 layer III, 128 kbit/s, 44.1 kHz, mono: 417 bytes a frame, and a
// frame of zeros after its header plays as silence.
constexpr char frameHeader[] = {char(0xff), char(0xfb), char(0x90), char(0xc4)};
constexpr int frameLength = 417;

} // namespace

SelfTest::SelfTest(QObject *parent) : QObject(parent)
{
    connect(&m_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket *socket = m_server.nextPendingConnection())
            serve(socket);
    });
}

bool SelfTest::isLocal(const QUrl &address)
{
    return address.scheme() == QLatin1String("http")
           && (address.host() == QLatin1String("127.0.0.1") || address.host() == QLatin1String("localhost"));
}

QByteArray SelfTest::testFile(int run)
{
    QByteArray file("ID3\x03\x00\x00\x00\x00\x00\x00", 10);
    QByteArray frame(frameHeader, sizeof frameHeader);
    frame.resize(frameLength, '\0');
    for (int i = 0; i < baseFrames + run; ++i)
        file += frame;
    return file;
}

bool SelfTest::start(const QUrl &address)
{
    if (!m_server.isListening() && !m_server.listen(QHostAddress::LocalHost, 0)) {
        LOG_WARNING << "SelfTest" << ":" << "cannot listen" << ":" << m_server.errorString();
        return false;
    }
    ++m_run;
    m_url = QUrl(QStringLiteral("http://127.0.0.1"));
    m_url.setPort(m_server.serverPort());
    m_url.setPath(address.path().isEmpty() ? QStringLiteral("/") : address.path());
    m_url.setQuery(QStringLiteral("run=%1").arg(m_run));
    if (!m_network) {
        m_network = new QNetworkAccessManager(this);
        // Straight through the loopback interface, whatever proxy is set.
        m_network->setProxy(QNetworkProxy::NoProxy);
    }
    LOG_DEBUG << "SelfTest" << ":" << "fetching" << m_url.toString();
    QNetworkReply *reply = m_network->get(QNetworkRequest(m_url));
    connect(reply, &QNetworkReply::finished, this, [this, reply] {
        const bool ok = reply->error() == QNetworkReply::NoError && reply->readAll().size() > 0;
        if (!ok)
            LOG_WARNING << "SelfTest" << ":" << "fetch failed" << ":" << reply->errorString();
        reply->deleteLater();
        emit fetched(ok);
    });
    return true;
}

void SelfTest::serve(QTcpSocket *socket)
{
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    auto head = std::make_shared<QByteArray>();
    connect(socket, &QTcpSocket::readyRead, this, [this, socket, head] {
        *head += socket->readAll();
        if (head->size() > maxRequestHead) {
            socket->abort();
            return;
        }
        if (!head->contains("\r\n\r\n"))
            return;
        // "GET /path?run=N HTTP/1.1": only runs that were started are served.
        const QList<QByteArray> requestLine = head->left(head->indexOf("\r\n")).split(' ');
        const QUrl target = QUrl::fromEncoded(requestLine.value(1));
        const int run = QUrlQuery(target).queryItemValue(QStringLiteral("run")).toInt();
        const bool known = requestLine.value(0) == "GET" && target.path() == m_url.path() && run >= 1 && run <= m_run;
        const QByteArray body = known ? testFile(run) : QByteArray();
        socket->write((known ? QByteArray("HTTP/1.1 200 OK\r\nContent-Type: audio/mpeg\r\n")
                             : QByteArray("HTTP/1.1 404 Not Found\r\n"))
                      + "Content-Length: " + QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n");
        socket->write(body);
        disconnect(socket, &QTcpSocket::readyRead, this, nullptr);
        socket->disconnectFromHost();
    });
}

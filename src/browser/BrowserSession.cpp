#include "BrowserSession.h"

#include "BrowserFrame.h"
#include "BrowserMessage.h"
#include "BrowserSocket.h"
#include "BrowserSpool.h"
#include "Platform.h"

#include <QDebug>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <QTimer>

#include <limits>

namespace {

QByteArray answer(const BrowserMessage &message)
{
    const QJsonObject object = message.ok()
        ? QJsonObject{{QStringLiteral("ok"), true}}
        : QJsonObject{{QStringLiteral("ok"), false}, {QStringLiteral("error"), message.error}};
    return BrowserFrame::encode(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

} // namespace

BrowserSession::BrowserSession(const QString &perUserFolder, QObject *parent)
    : QObject(parent)
    , m_folder(perUserFolder.isEmpty() ? Platform::perUserFolder() : perUserFolder)
{
}

BrowserSession::~BrowserSession()
{
    // Sockets end with the server and would report it to a half-destroyed session.
    for (QLocalSocket *socket : m_readers.keys())
        socket->disconnect(this);
    m_server.reset();
}

bool BrowserSession::isListening() const
{
    return m_server && m_server->isListening();
}

bool BrowserSession::start()
{
    if (isListening())
        return true;
    const BrowserSocket::Places places = BrowserSocket::serverPlaces(m_folder, true);
    for (const QString &reason : places.skipped)
        qWarning().noquote() << "browser capture: no socket in" << reason;
    if (places.names.isEmpty()) {
        m_error = QStringLiteral("no private folder for the browser socket");
        return false;
    }
    m_serverName = places.names.first();
    const QString &name = m_serverName;
    m_server = std::make_unique<QLocalServer>();
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    m_server->setMaxPendingConnections(maxConnections);
    if (!m_server->listen(name) && m_server->serverError() == QAbstractSocket::AddressInUseError) {
        // A name left by a window that died is taken over; a live window's is not.
        QLocalSocket probe;
        probe.connectToServer(name);
        if (probe.waitForConnected(500)) {
            m_error = QStringLiteral("another Vidarro window receives the browser's streams");
            m_server.reset();
            return false;
        }
        QLocalServer::removeServer(name);
        m_server->listen(name);
    }
    if (!m_server->isListening()) {
        m_error = m_server->errorString();
        m_server.reset();
        return false;
    }
    connect(m_server.get(), &QLocalServer::newConnection, this, &BrowserSession::acceptConnections);
    takeSpool();
    return true;
}

void BrowserSession::acceptConnections()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        if (m_readers.size() >= maxConnections || !BrowserSocket::peerIsThisUser(socket->socketDescriptor())) {
            qWarning() << "browser capture: a connection was refused";
            socket->abort();
            socket->deleteLater();
            continue;
        }
        m_readers.insert(socket, FrameReader());
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readFrames(socket); });
        connect(socket, &QLocalSocket::disconnected, this, [this, socket] { dropConnection(socket); });
        if (m_readers.size() == 1)
            emit browserConnectedChanged(true);
        // A host that found no window before this one listened left its streams behind.
        takeSpool();
        readFrames(socket);
    }
}

void BrowserSession::readFrames(QLocalSocket *socket, int limit)
{
    const auto reader = m_readers.find(socket);
    if (reader == m_readers.end())
        return;
    reader->append(socket->readAll());
    // Decode first: a receiver of the signals may run an event loop. A few
    // frames a turn, so a flood of them never holds up the window's events.
    QList<BrowserMessage> messages;
    while (messages.size() < limit) {
        const std::optional<FrameReader::Frame> frame = reader->next();
        if (!frame)
            break;
        BrowserMessage message;
        if (frame->tooLarge)
            message.error = QStringLiteral("frame of %1 bytes is over the limit").arg(frame->length);
        else
            message = parseBrowserMessage(frame->payload);
        socket->write(answer(message));
        messages.append(message);
    }
    // The rest after the window's other events: a timer, since posted events
    // would come first again.
    if (messages.size() == limit && !m_resuming.contains(socket)) {
        m_resuming.insert(socket);
        QTimer::singleShot(1, this, [this, socket, next = QPointer<QLocalSocket>(socket)] {
            m_resuming.remove(socket);
            if (next)
                readFrames(next);
        });
    }
    for (const BrowserMessage &message : std::as_const(messages)) {
        if (message.kind == BrowserMessage::Kind::Stream) {
            ++m_streams;
            emit streamSeen(message.stream);
        } else if (!message.ok()) {
            ++m_refused;
            qWarning().noquote() << "browser capture: refused a message:" << message.error;
            emit messageRefused(message.error);
        }
    }
}

void BrowserSession::dropConnection(QLocalSocket *socket)
{
    readFrames(socket, std::numeric_limits<int>::max());   // what arrived just before the end still counts
    m_readers.remove(socket);
    socket->deleteLater();
    if (m_readers.isEmpty())
        emit browserConnectedChanged(false);
}

void BrowserSession::takeSpool()
{
    const BrowserSpool::Taken taken = BrowserSpool(m_folder).takeAll();
    if (!taken.error.isEmpty())
        qWarning().noquote() << "browser capture: the kept streams could not be read:" << taken.error;
    for (const BrowserStream &stream : taken.streams) {
        ++m_streams;
        emit streamSeen(stream);
    }
}

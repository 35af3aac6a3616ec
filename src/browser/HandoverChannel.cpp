#include "HandoverChannel.h"

#include "BrowserFrame.h"
#include "BrowserMessage.h"
#include "BrowserSocket.h"
#include "LogLine.h"
#include "Platform.h"
#include "SafeText.h"

#include <QDeadlineTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>

#include <cstring>

namespace {

constexpr int connectMs = 1000;
// An answer is a short JSON object; anything longer is not one.
constexpr quint32 maxAnswer = 4096;

QString actionName(Handover::Action action)
{
    switch (action) {
    case Handover::Action::Queue:
        return QStringLiteral("queue");
    case Handover::Action::Save:
        return QStringLiteral("save");
    case Handover::Action::Open:
        break;
    }
    return QStringLiteral("open");
}

QByteArray answerFrame(const QString &error)
{
    const QJsonObject object = error.isEmpty()
        ? QJsonObject{{QStringLiteral("ok"), true}}
        : QJsonObject{{QStringLiteral("ok"), false}, {QStringLiteral("error"), error}};
    return BrowserFrame::encode(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

} // namespace

namespace Handover {

namespace {

// Every stream checked as the host checked it: the window trusts no sender.
Parsed parseSave(const QJsonObject &object)
{
    Parsed parsed;
    const QJsonValue list = object.value(QStringLiteral("streams"));
    if (!list.isArray() || list.toArray().isEmpty() || list.toArray().size() > maxStreams) {
        parsed.error = QStringLiteral("no list of 1 to %1 streams").arg(maxStreams);
        return parsed;
    }
    Message message;
    message.action = Action::Save;
    for (const QJsonValue &entry : list.toArray()) {
        const BrowserMessage stream = parseBrowserStream(entry.toObject());
        if (stream.kind != BrowserMessage::Kind::Stream) {
            parsed.error = QStringLiteral("a stream was refused: ") + stream.error;
            return parsed;
        }
        message.streams.append(stream.stream);
    }
    parsed.message = message;
    return parsed;
}

} // namespace

QString socketRole()
{
    return QStringLiteral("handover");
}

std::optional<QUrl> address(const QString &text, QUrl::ParsingMode mode)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty() || trimmed.size() > maxAddressLength)
        return std::nullopt;
    const QUrl url(trimmed, mode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https"))
        || url.host().isEmpty())
        return std::nullopt;
    return url;
}

QByteArray encode(const Message &message)
{
    if (message.action == Action::Save) {
        QJsonArray streams;
        for (const BrowserStream &stream : message.streams)
            streams.append(browserStreamJson(stream));
        const QJsonObject object{{QStringLiteral("action"), actionName(message.action)},
                                 {QStringLiteral("streams"), streams}};
        return QJsonDocument(object).toJson(QJsonDocument::Compact);
    }
    QJsonArray addresses;
    for (const QUrl &url : message.addresses)
        addresses.append(url.toString(QUrl::FullyEncoded));
    const QJsonObject object{{QStringLiteral("action"), actionName(message.action)},
                             {QStringLiteral("addresses"), addresses}};
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

Parsed parse(QByteArrayView payload)
{
    Parsed parsed;
    if (payload.size() > qsizetype(maxFrame)) {
        parsed.error = QStringLiteral("the message is over the limit");
        return parsed;
    }
    QJsonParseError problem{};
    const QJsonDocument document = QJsonDocument::fromJson(payload.toByteArray(), &problem);
    if (problem.error != QJsonParseError::NoError || !document.isObject()) {
        parsed.error = QStringLiteral("not a JSON object");
        return parsed;
    }
    const QJsonObject object = document.object();
    const QString action = object.value(QStringLiteral("action")).toString();
    if (action == QLatin1String("save"))
        return parseSave(object);
    const QJsonValue list = object.value(QStringLiteral("addresses"));
    if (action != QLatin1String("open") && action != QLatin1String("queue")) {
        parsed.error = QStringLiteral("no known action");
        return parsed;
    }
    if (!list.isArray() || list.toArray().size() > maxAddresses) {
        parsed.error = QStringLiteral("no list of at most %1 addresses").arg(maxAddresses);
        return parsed;
    }
    Message message;
    message.action = action == QLatin1String("queue") ? Action::Queue : Action::Open;
    for (const QJsonValue &entry : list.toArray()) {
        const std::optional<QUrl> url = address(entry.toString());
        if (!entry.isString() || !url) {
            parsed.error = QStringLiteral("not an http(s) address: ") + SafeText::address(entry.toString());
            return parsed;
        }
        message.addresses.append(*url);
    }
    if (message.action == Action::Queue && message.addresses.isEmpty()) {
        parsed.error = QStringLiteral("nothing to queue");
        return parsed;
    }
    parsed.message = message;
    return parsed;
}

Sent deliver(const Message &message, const QString &perUserFolder, int answerMs)
{
    const QByteArray payload = encode(message);
    if (payload.size() > qsizetype(maxFrame))
        return {Sent::Refused, QStringLiteral("too many or too long addresses")};
    const QString folder = perUserFolder.isEmpty() ? Platform::perUserFolder() : perUserFolder;
    for (const QString &name : BrowserSocket::serverPlaces(folder, false, socketRole()).names) {
        QLocalSocket window;
        window.connectToServer(name);
        if (!window.waitForConnected(connectMs))
            continue;
        if (!BrowserSocket::peerIsThisUser(window.socketDescriptor())) {
            LOG_ERROR << "handover" << ":" << "the socket is held by another user" << ":" << name;
            continue;
        }
        window.write(BrowserFrame::encode(payload));
        QByteArray reply;
        const QDeadlineTimer deadline(answerMs);
        while (!deadline.hasExpired()) {
            reply += window.readAll();
            const BrowserFrame::Step step = BrowserFrame::decode(reply);
            if (step.kind == BrowserFrame::Step::Kind::Frame && step.length <= maxAnswer) {
                const QJsonObject answer = QJsonDocument::fromJson(step.payload.toByteArray()).object();
                if (answer.value(QStringLiteral("ok")).toBool())
                    return {Sent::Delivered, {}};
                return {Sent::Refused, answer.value(QStringLiteral("error")).toString().left(200)};
            }
            if (step.kind != BrowserFrame::Step::Kind::NeedMore || reply.size() > qsizetype(maxAnswer)
                || (window.state() != QLocalSocket::ConnectedState && window.bytesAvailable() == 0))
                break;
            window.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())));
        }
        return {Sent::NoAnswer, QStringLiteral("the running window did not answer")};
    }
    return {};
}

} // namespace Handover

HandoverServer::HandoverServer(const QString &perUserFolder, QObject *parent)
    : QObject(parent)
    , m_folder(perUserFolder.isEmpty() ? Platform::perUserFolder() : perUserFolder)
{
}

HandoverServer::~HandoverServer()
{
    for (QLocalSocket *socket : std::as_const(m_sockets))
        socket->disconnect(this);
    m_server.reset();
}

HandoverServer::Listen HandoverServer::listen()
{
    const BrowserSocket::Places places = BrowserSocket::serverPlaces(m_folder, true, Handover::socketRole());
    for (const QString &reason : places.skipped)
        LOG_WARNING << "handover" << ":" << "no socket in" << ":" << reason;
    if (places.names.isEmpty()) {
        m_error = QStringLiteral("no private folder for the handover socket");
        return Listen::Failed;
    }
    m_serverName = places.names.first();
    m_server = std::make_unique<QLocalServer>();
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    m_server->setMaxPendingConnections(maxConnections);
    if (!m_server->listen(m_serverName) && m_server->serverError() == QAbstractSocket::AddressInUseError) {
        QLocalSocket probe;
        probe.connectToServer(m_serverName);
        if (probe.waitForConnected(connectMs)) {
            m_error = QStringLiteral("another Vidarro window listens");
            m_server.reset();
            return Listen::Taken;
        }
        QLocalServer::removeServer(m_serverName);
        m_server->listen(m_serverName);
    }
    if (!m_server->isListening()) {
        m_error = m_server->errorString();
        m_server.reset();
        return Listen::Failed;
    }
    connect(m_server.get(), &QLocalServer::newConnection, this, &HandoverServer::acceptConnections);
    return Listen::Listening;
}

void HandoverServer::acceptConnections()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        if (m_sockets.size() >= maxConnections || !BrowserSocket::peerIsThisUser(socket->socketDescriptor())) {
            LOG_WARNING << "handover" << ":" << "a connection was refused";
            socket->abort();
            socket->deleteLater();
            continue;
        }
        m_sockets.insert(socket);
        // Never more buffered than one frame: the rest waits in the socket.
        socket->setReadBufferSize(BrowserFrame::headerSize + Handover::maxFrame);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readFrame(socket); });
        connect(socket, &QLocalSocket::disconnected, this, [this, socket] {
            m_sockets.remove(socket);
            socket->deleteLater();
        });
        QTimer::singleShot(frameWaitMs, socket, [socket] {
            if (socket->state() == QLocalSocket::ConnectedState) {   // not answered yet
                LOG_WARNING << "handover" << ":" << "no whole frame in time";
                socket->abort();
            }
        });
        readFrame(socket);
    }
}

void HandoverServer::readFrame(QLocalSocket *socket)
{
    if (socket->bytesAvailable() < BrowserFrame::headerSize)
        return;
    quint32 length = 0;
    std::memcpy(&length, socket->peek(BrowserFrame::headerSize).constData(), sizeof length);
    if (length > Handover::maxFrame) {
        answer(socket, QStringLiteral("a frame of %1 bytes is over the limit").arg(length));
        return;
    }
    if (socket->bytesAvailable() < BrowserFrame::headerSize + qint64(length))
        return;
    socket->skip(BrowserFrame::headerSize);
    const Handover::Parsed parsed = Handover::parse(socket->read(length));
    if (!parsed.message) {
        answer(socket, parsed.error);
        return;
    }
    answer(socket, {});
    const Handover::Message &message = *parsed.message;
    LOG_DEBUG << "handover" << ":" << actionName(message.action) << ":"
              << int(message.addresses.size() + message.streams.size()) << "addresses";
    // Last: the window may open a box and run events of its own.
    if (message.action == Handover::Action::Save)
        emit saveRequested(message.streams);
    else
        emit handed(message.addresses, message.action == Handover::Action::Queue);
}

void HandoverServer::answer(QLocalSocket *socket, const QString &error)
{
    // One frame a connection: whatever follows is not read.
    disconnect(socket, &QLocalSocket::readyRead, this, nullptr);
    socket->write(answerFrame(error));
    socket->disconnectFromServer();
    if (error.isEmpty())
        return;
    LOG_WARNING << "handover" << ":" << "refused" << ":" << error;
    emit refused(error);
}

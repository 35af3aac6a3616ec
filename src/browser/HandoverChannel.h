#pragma once

#include "BrowserStream.h"

#include <QByteArrayView>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QUrl>

#include <memory>
#include <optional>

class QLocalServer;
class QLocalSocket;

// What a later start of the program hands to the window already running,
// over a local socket of this user (BrowserSocket's places, role
// "handover"): addresses to open on the download page, or to queue at the
// default quality; and from the browser's native host, streams the browser
// played to save as they are. One frame each way per connection, framed like
// the browser's (a 32-bit length in the machine's order, then that much JSON):
//   {"action": "open" | "queue", "addresses": ["https://…", …]}
//   {"action": "save", "streams": [{"kind": "stream", …}, …]}   (BrowserMessage.h)
// answered {"ok": true} or {"ok": false, "error": "…"}. "open" without
// addresses only raises the window.
namespace Handover {

// A saved stream carries the browser's request headers (up to 64 KiB each).
inline constexpr quint32 maxFrame = 1024 * 1024;
inline constexpr int maxAddresses = 64;
inline constexpr int maxStreams = 8;
inline constexpr int maxAddressLength = 4096;

QString socketRole();

enum class Action { Open, Queue, Save };

struct Message
{
    Action action = Action::Open;
    QList<QUrl> addresses;
    QList<BrowserStream> streams;   // Save
};

// An http or https address with a host, no longer than maxAddressLength;
// nothing else is handed over. Strict parsing for the socket's untrusted
// text, tolerant for what the user typed.
std::optional<QUrl> address(const QString &text, QUrl::ParsingMode mode = QUrl::StrictMode);

QByteArray encode(const Message &message);

struct Parsed
{
    std::optional<Message> message;
    QString error;   // why not; addresses masked
};
// A frame's payload as it came from the socket. Pure.
Parsed parse(QByteArrayView payload);

// The later start's side: the message to the window that listens, and its
// answer. NoWindow when none listens (a socket left by a window that died
// counts as none).
struct Sent
{
    enum Outcome { NoWindow, Delivered, Refused, NoAnswer };
    Outcome outcome = NoWindow;
    QString error;
};
Sent deliver(const Message &message, const QString &perUserFolder = QString(), int answerMs = 10000);

} // namespace Handover

// The window's side: listens on the first handover place, takes one frame
// from each connection of this user, checks it, answers and hands it on.
class HandoverServer : public QObject
{
    Q_OBJECT

public:
    static constexpr int maxConnections = 8;
    // A connection that sent no whole frame by then is dropped.
    static constexpr int frameWaitMs = 5000;

    enum class Listen { Listening, Taken, Failed };

    // perUserFolder: what names the socket; empty means Platform::perUserFolder().
    explicit HandoverServer(const QString &perUserFolder = QString(), QObject *parent = nullptr);
    ~HandoverServer() override;

    // Taken when another window of this user listens already; a socket
    // left by one that died is taken over.
    Listen listen();
    QString serverName() const { return m_serverName; }
    QString errorString() const { return m_error; }

signals:
    void handed(const QList<QUrl> &addresses, bool queue);
    void saveRequested(const QList<BrowserStream> &streams);
    void refused(const QString &reason);

private:
    void acceptConnections();
    void readFrame(QLocalSocket *socket);
    void answer(QLocalSocket *socket, const QString &error);

    QString m_folder;
    QString m_serverName;
    QString m_error;
    std::unique_ptr<QLocalServer> m_server;
    QSet<QLocalSocket *> m_sockets;
};

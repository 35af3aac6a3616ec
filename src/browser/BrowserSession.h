#pragma once

#include "BrowserFrame.h"
#include "BrowserStream.h"

#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>

#include <memory>

class QLocalServer;
class QLocalSocket;

// The window's side of browser capture: owns the user's local server, reads
// the frames the native hosts send, validates each, answers it and emits
// streamSeen. Hosts that arrived while no window listened left their streams
// in the spool; start() and every new host connection hand those out too.
//
//   BrowserSession session;
//   connect(&session, &BrowserSession::streamSeen, page, &Page::addBrowserStream);
//   if (!session.start()) log(session.errorString());
class BrowserSession : public QObject
{
    Q_OBJECT

public:
    static constexpr int maxConnections = 8;
    // Frames handled in one turn of the event loop; the rest wait for the next.
    static constexpr int framesPerTurn = 16;

    // perUserFolder: where the spool lives and what names the socket;
    // empty means Platform::perUserFolder().
    explicit BrowserSession(const QString &perUserFolder = QString(), QObject *parent = nullptr);
    ~BrowserSession() override;

    // Listens, then empties the spool through streamSeen; connect first.
    // False, with errorString(), when another window of this user already
    // listens or the socket cannot be made. Folders passed over are logged.
    bool start();
    bool isListening() const;
    // The socket's path, once start() chose it (BrowserSocket::serverPlaces).
    QString serverName() const { return m_serverName; }
    QString errorString() const { return m_error; }

    // A browser is connected while at least one host is.
    bool isBrowserConnected() const { return !m_readers.isEmpty(); }
    qint64 streamCount() const { return m_streams; }
    qint64 refusedCount() const { return m_refused; }

signals:
    void streamSeen(const BrowserStream &stream);
    void browserConnectedChanged(bool connected);
    void messageRefused(const QString &reason);

private:
    void acceptConnections();
    void readFrames(QLocalSocket *socket, int limit = framesPerTurn);
    void dropConnection(QLocalSocket *socket);
    void takeSpool();

    QString m_folder;
    QString m_serverName;
    std::unique_ptr<QLocalServer> m_server;
    QString m_error;
    QHash<QLocalSocket *, FrameReader> m_readers;   // one per connected host
    QSet<QLocalSocket *> m_resuming;                 // frames left for a later turn
    qint64 m_streams = 0;
    qint64 m_refused = 0;
};

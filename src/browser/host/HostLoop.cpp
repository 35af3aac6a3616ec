#include "HostLoop.h"

#include "BrowserMessage.h"
#include "BrowserSocket.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QProcess>
#include <QThread>

#include <cerrno>
#include <poll.h>
#include <unistd.h>

namespace {

bool writeAll(int fd, const QByteArray &bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

// Printable ASCII only, short: the caller's argument is untrusted too.
QString printable(const QString &text)
{
    QString result;
    for (QChar c : text.left(200))
        result += (c.unicode() >= 0x20 && c.unicode() < 0x7f) ? c : QLatin1Char('?');
    return result;
}

} // namespace

volatile std::sig_atomic_t HostLoop::s_stop = 0;

void HostLoop::stop()
{
    s_stop = 1;
}

HostLoop::HostLoop(const QString &perUserFolder)
    : m_folder(perUserFolder)
    , m_log(perUserFolder)
    , m_spool(perUserFolder)
{
}

int HostLoop::run(int input, int output, const QString &caller)
{
    m_log.write(QStringLiteral("started for ") + printable(caller));
    connectWindow();   // so the window shows a browser as connected from the start
    FrameReader reader;
    char buffer[65536];
    while (!s_stop) {
        // Waits for the browser, and meanwhile follows the window: one that
        // ends is let go, one that starts is connected to.
        const bool connected = m_window.state() == QLocalSocket::ConnectedState;
        pollfd ready[2] = {{input, POLLIN, 0}, {connected ? int(m_window.socketDescriptor()) : -1, POLLIN, 0}};
        const int count = ::poll(ready, 2, connected ? -1 : windowRetryMs);
        if (count < 0 && errno == EINTR)
            continue;
        if (count == 0) {
            connectWindow();
            continue;
        }
        if (ready[1].revents != 0) {
            // The window sends nothing unasked: this is its end.
            m_window.waitForReadyRead(0);
            m_window.readAll();
            m_window.abort();
        }
        if (count > 0 && ready[0].revents == 0)
            continue;
        const ssize_t n = ::read(input, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        reader.append(QByteArrayView(buffer, n));
        while (const std::optional<FrameReader::Frame> frame = reader.next()) {
            ++m_frames;
            const QByteArray answer = QJsonDocument(handle(*frame)).toJson(QJsonDocument::Compact);
            if (!writeAll(output, BrowserFrame::encode(answer))) {
                m_log.write(QStringLiteral("the browser stopped reading answers; ending"));
                return 1;
            }
        }
    }
    m_log.write(QStringLiteral("ended: %1 frames, %2 streams to the window, %3 kept for later, %4 refused, %5 actions")
                    .arg(m_frames).arg(m_toWindow).arg(m_toSpool).arg(m_refused).arg(m_actions));
    return 0;
}

QJsonObject HostLoop::handle(const FrameReader::Frame &frame)
{
    if (frame.tooLarge)
        return refuse(QStringLiteral("frame of %1 bytes is over the limit of %2 bytes")
                          .arg(frame.length).arg(BrowserFrame::maxPayload));
    const BrowserMessage message = parseBrowserMessage(frame.payload);
    if (message.kind == BrowserMessage::Kind::Refused)
        return refuse(message.error);
    if (message.kind == BrowserMessage::Kind::Hello)
        return {{QStringLiteral("ok"), true}, {QStringLiteral("window"), connectWindow()}};
    if (message.kind == BrowserMessage::Kind::Open)
        return handOver({Handover::Action::Open, {QUrl(message.stream.url, QUrl::StrictMode)}, {}});
    if (message.kind == BrowserMessage::Kind::Media)
        return handOver({Handover::Action::Save, {}, {message.stream}});
    if (message.kind == BrowserMessage::Kind::Save) {
        Handover::Message save{Handover::Action::Save, {}, {}};
        for (const qint64 id : message.ids) {
            if (!m_held.contains(id))
                return refuse(QStringLiteral("no stream of that number is held"));
            save.streams.append(m_held.value(id));
        }
        return handOver(save);
    }

    const qint64 id = hold(message.stream);
    const WindowReply reply = sendToWindow(message.stream);
    if (reply.reached && reply.ok) {
        ++m_toWindow;
        return {{QStringLiteral("ok"), true}, {QStringLiteral("window"), true}, {QStringLiteral("id"), id}};
    }
    if (reply.reached)
        return refuse(QStringLiteral("the window refused the stream: ") + reply.error);
    const BrowserSpool::Result kept = m_spool.add(message.stream);
    if (!kept.ok)
        return refuse(QStringLiteral("the stream could not be kept: ") + kept.error);
    ++m_toSpool;
    return {{QStringLiteral("ok"), true}, {QStringLiteral("window"), false}, {QStringLiteral("id"), id}};
}

qint64 HostLoop::hold(const BrowserStream &stream)
{
    m_held.insert(++m_lastId, stream);
    while (m_held.size() > heldLimit)
        m_held.erase(m_held.begin());
    return m_lastId;
}

QJsonObject HostLoop::handOver(const Handover::Message &message)
{
    ++m_actions;
    Handover::Sent sent = Handover::deliver(message, m_folder);
    if (sent.outcome == Handover::Sent::NoWindow && startWindow()) {
        // The new window listens once it has read its settings: ask again until then.
        const QDeadlineTimer deadline(windowStartMs);
        while (sent.outcome == Handover::Sent::NoWindow && !deadline.hasExpired() && !s_stop) {
            QThread::msleep(100);
            sent = Handover::deliver(message, m_folder);
        }
    }
    switch (sent.outcome) {
    case Handover::Sent::Delivered:
        return {{QStringLiteral("ok"), true}, {QStringLiteral("window"), true}};
    case Handover::Sent::NoWindow:
        return refuse(QStringLiteral("Vidarro did not start"));
    case Handover::Sent::Refused:
        return refuse(QStringLiteral("the window refused the action: ") + printable(sent.error));
    case Handover::Sent::NoAnswer:
        break;
    }
    return refuse(QStringLiteral("the window did not answer"));
}

// The installed program beside the host, in a session of its own: it stays
// when the browser ends the host, and never writes into the browser's pipe.
bool HostLoop::startWindow()
{
    QProcess window;
    window.setProgram(QCoreApplication::applicationDirPath() + QStringLiteral("/vidarro"));
    window.setStandardInputFile(QProcess::nullDevice());
    window.setStandardOutputFile(QProcess::nullDevice());
    window.setStandardErrorFile(QProcess::nullDevice());
    qint64 pid = 0;
    if (!window.startDetached(&pid)) {
        m_log.write(QStringLiteral("Vidarro could not be started: ") + window.errorString());
        return false;
    }
    m_log.write(QStringLiteral("started Vidarro (process %1) for an action").arg(pid));
    return true;
}

QJsonObject HostLoop::refuse(const QString &reason)
{
    ++m_refused;
    m_log.write(QStringLiteral("refused a message: ") + reason);
    return {{QStringLiteral("ok"), false}, {QStringLiteral("error"), reason}};
}

bool HostLoop::connectWindow()
{
    if (m_window.state() == QLocalSocket::ConnectedState)
        return true;
    const BrowserSocket::Places places = BrowserSocket::serverPlaces(m_folder, false);
    if (places.skipped != m_skipped) {
        m_skipped = places.skipped;
        for (const QString &reason : std::as_const(m_skipped))
            m_log.write(QStringLiteral("the window's socket is not looked for in ") + reason);
    }
    for (const QString &name : places.names) {
        m_window.abort();
        m_windowReader = FrameReader();
        m_window.connectToServer(name);
        if (!m_window.waitForConnected(connectTimeoutMs))
            continue;
        if (BrowserSocket::peerIsThisUser(m_window.socketDescriptor()))
            return true;
        m_log.write(QStringLiteral("the window's socket is held by another user; streams are kept here"));
    }
    m_window.abort();
    return false;
}

HostLoop::WindowReply HostLoop::sendToWindow(const BrowserStream &stream)
{
    const QByteArray frame =
        BrowserFrame::encode(QJsonDocument(browserStreamJson(stream)).toJson(QJsonDocument::Compact));
    // A connection kept from an earlier message may have ended with its window
    // since: one fresh attempt then. A fresh connection that fails is not retried.
    const bool kept = m_window.state() == QLocalSocket::ConnectedState;
    for (int attempt = 0; attempt < (kept ? 2 : 1); ++attempt) {
        if (!connectWindow())
            return {};
        m_window.write(frame);
        const WindowReply reply = awaitWindowAnswer();
        if (reply.reached)
            return reply;
        m_window.abort();
    }
    return {};
}

HostLoop::WindowReply HostLoop::awaitWindowAnswer()
{
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        if (const std::optional<FrameReader::Frame> frame = m_windowReader.next()) {
            const QJsonObject answer = QJsonDocument::fromJson(frame->payload).object();
            const bool ok = answer.value(QStringLiteral("ok")).toBool();
            return {true, ok, ok ? QString() : printable(answer.value(QStringLiteral("error")).toString())};
        }
        const qint64 left = answerTimeoutMs - clock.elapsed();
        if (left <= 0 || !m_window.waitForReadyRead(int(left)))
            return {};
        m_windowReader.append(m_window.readAll());
    }
}

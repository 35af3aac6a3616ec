#pragma once

#include "BrowserFrame.h"
#include "BrowserSpool.h"
#include "HandoverChannel.h"
#include "HostLog.h"

#include <QJsonObject>
#include <QLocalSocket>
#include <QMap>
#include <QString>
#include <QStringList>

#include <csignal>

struct BrowserStream;

// The host's loop: reads one frame from the browser, validates it, hands a
// stream to the window (or to the spool when no window listens) and answers
// {"ok":true,"window":bool,"id":N} or {"ok":false,"error":"..."} before
// reading on. The user's actions (open, save, media) go to the window over
// the handover channel; when none runs, the program beside the host is
// started and the action handed over once it answers.
class HostLoop
{
public:
    static constexpr int connectTimeoutMs = 500;
    static constexpr int answerTimeoutMs = 2000;
    // Streams kept for a later "save" by number; the oldest go first.
    static constexpr int heldLimit = 256;
    static constexpr int windowStartMs = 30000;
    // While no window listens, how often the host looks for one, so that a
    // window opened later shows the browser as connected at once.
    static constexpr int windowRetryMs = 2000;

    explicit HostLoop(const QString &perUserFolder);

    // Runs until input ends or stop() was called (0), or output fails (1).
    // caller: the browser's first argument (the extension's origin), for the log.
    int run(int input, int output, const QString &caller);

    // Ends the loop after the frame in hand; safe in a signal handler.
    static void stop();

private:
    struct WindowReply
    {
        bool reached = false;
        bool ok = false;
        QString error;
    };

    QJsonObject handle(const FrameReader::Frame &frame);
    QJsonObject refuse(const QString &reason);
    QJsonObject handOver(const Handover::Message &message);
    bool startWindow();
    qint64 hold(const BrowserStream &stream);
    WindowReply sendToWindow(const BrowserStream &stream);
    WindowReply awaitWindowAnswer();
    bool connectWindow();

    QString m_folder;
    QStringList m_skipped;   // socket folders passed over, as last logged
    HostLog m_log;
    BrowserSpool m_spool;
    QLocalSocket m_window;
    FrameReader m_windowReader;
    qint64 m_frames = 0;
    qint64 m_toWindow = 0;
    qint64 m_toSpool = 0;
    qint64 m_refused = 0;
    qint64 m_actions = 0;
    QMap<qint64, BrowserStream> m_held;
    qint64 m_lastId = 0;
    static volatile std::sig_atomic_t s_stop;
};

#pragma once

#include "MediaReport.h"
#include "ReportQueue.h"
#include "StreamSorter.h"

#include <QList>
#include <QObject>
#include <QStringList>

class CVideoSniffer;
class QTimer;
class QUrl;
class SelfTest;

// The window's one link to packet capture: owns the engines and the queue
// their threads fill, and hands the reports to the GUI thread one per tick.
// The engines' plain callback reaches the session started last; the program
// has one.
class CaptureSession : public QObject
{
    Q_OBJECT

public:
    static constexpr int tickMs = 50;

    // What the page tells the user about capture.
    enum class Status {
        NotStarted,
        Capturing,    // at least one engine captures
        NotPermitted, // the system refused capture to this program
        NoInterface,  // no interface to capture on
        Failed,       // every engine failed or stopped for another reason
    };

    explicit CaptureSession(QObject *parent = nullptr);
    // Stops every engine before the queue goes.
    ~CaptureSession() override;

    // Once: one engine per usable interface, and the tick. Returns what the
    // user must be told in a box (no interface list, an interface without
    // an address); status() tells whether anything captures.
    QStringList start();
    bool isStarted() const { return m_started; }
    // Asks the engines; a loop may have ended since the last call.
    Status status() const;

    // An engine on the loopback interface, the one already running or a new
    // one; the sniffer test fetches its file through it. True when it captures.
    bool watchLoopback();
    // The sniffer test's local half (see SelfTest): serves and fetches
    // address through the loopback interface. False when it cannot serve.
    bool startSelfTest(const QUrl &address);
    SelfTest *selfTest() const { return m_selfTest; }

    // What an engine hands over; any thread. The address gets its "http://".
    // False when the report was dropped (queue full or already waiting).
    bool queueReport(const QByteArray &url, const QByteArray &header, const QByteArray &length,
                     const QByteArray &type);
    // Every engine lets this address pass once unreported: the program's
    // own preview or save of a listed stream.
    void ignoreOnce(const QString &url);
    // Reports queued and not yet handed to the list.
    qsizetype waitingReports() const { return m_queue.size(); }
    // The one table that decides which responses are pieces of a listed
    // stream; the engines and the browser's adapter both ask it.
    streams::StreamSorter &streamSorter() { return m_streams; }

signals:
    void reportArrived(const MediaReport &report);

private:
    void addEngine(const QByteArray &interfaceName);
    void checkUrlQueue();

    // Before the engines: they use it until they stop.
    streams::StreamSorter m_streams;
    ReportQueue m_queue;
    QList<CVideoSniffer *> m_engines;
    QTimer *m_tick = nullptr;
    SelfTest *m_selfTest = nullptr;
    bool m_started = false;
};

#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include <QByteArray>
#include <QList>
#include <QString>
#include <QThread>

#include "Ipv4Address.h"
#include "MediaDetector.h"
#include "MediaReport.h"

typedef struct pcap pcap_t;

// One capture engine: watches the TCP traffic of one interface on a thread
// of its own and reports the media streams its analysis finds.
class CVideoSniffer : public QThread
{
public:
    // Kernel buffer: a full-speed loopback transfer fills a few MiB in a
    // few milliseconds, longer than a busy machine may leave the thread
    // unscheduled; the small default drops packets under load.
    static constexpr int BufferSize = 32 * 1024 * 1024;
    static constexpr int SnapshotLength = 65535;
    // Longest wait before the loop looks at a stop request on a quiet interface.
    static constexpr int IdleWaitMs = 200;

    // Names of the interfaces that qualify for capture. When the list
    // cannot be read, error receives the message the user must see.
    static QList<QByteArray> listInterfaces(QString *error = nullptr);

    // Opens the interface and starts capturing; stays idle when it cannot.
    explicit CVideoSniffer(const QByteArray &interfaceName, QObject *parent = nullptr);
    // Stops the loop (within a second even on a quiet interface) and closes.
    ~CVideoSniffer() override;

    void registerCallback(MediaCallback callback);
    // The table that groups streaming manifests and their pieces (see MediaDetector).
    void setStreamSorter(streams::StreamSorter *sorter) { m_detector.setStreamSorter(sorter); }
    void addIgnoredUrl(const QByteArray &url, int count);
    bool takeIgnoredUrl(const QByteArray &url);

    // Why an engine does not capture.
    enum class Problem {
        None,
        NoInterfaceList, // the interfaces could not be listed
        NoInterface,     // no interface of that name
        NoAddress,       // the interface has no address
        NotPermitted,    // the system refused capture to this process
        OpenFailed,      // any other failure to open or set up
        Stopped,         // the capture loop ended with an error
    };

    QByteArray interfaceName() const { return m_interfaceName; }
    Ipv4Address localAddress() const { return m_detector.localAddress(); }
    // True while the capture loop runs or is about to: the interface is
    // open, the thread started and the loop has not ended.
    bool isCapturing() const { return m_started && !m_loopFinished.load(std::memory_order_acquire); }
    Problem problem() const;
    // The capture library's own words for the problem, for the log.
    QString problemReason() const;
    // Why the engine stays idle, in words the user must see in a box; empty
    // when there is nothing to show (the log has the rest).
    QString failure() const { return m_failure; }
    bool loopFinished() const { return m_loopFinished.load(std::memory_order_acquire); }
    // Packets the kernel dropped, as last read from the capture statistics.
    std::uint64_t droppedPackets() const { return m_dropped.load(std::memory_order_relaxed); }
    std::uint64_t capturedPackets() const { return m_captured.load(std::memory_order_relaxed); }

    // Asks the loop to end without waiting for it.
    void requestStop();
    // Asks every engine still running to stop and waits for them; runs by
    // itself when the application object goes away.
    static void stopAll();

protected:
    void run() override;

private:
    bool open();
    bool openFailed(Problem problem, const QByteArray &reason);
    void fail(const QString &message);
    void close();
    void waitForLoop();
    void readStatistics(bool always);

    QByteArray m_interfaceName;
    std::atomic<bool> m_stopRequested{false};
    std::atomic<bool> m_loopFinished{false};
    pcap_t *m_captureHandle = nullptr;
    int m_wakeFd = -1;
    bool m_started = false;
    QString m_failure;
    mutable std::mutex m_problemLock; // the loop may end with a problem while the window asks
    Problem m_problem = Problem::None;
    QString m_problemReason;
    MediaDetector m_detector;
    std::atomic<std::uint64_t> m_dropped{0};
    std::atomic<std::uint64_t> m_captured{0};
    char m_errorBuffer[256] = {};
};

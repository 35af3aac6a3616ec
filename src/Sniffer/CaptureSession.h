#pragma once

#include "MediaReport.h"
#include "ReportQueue.h"

#include <QList>
#include <QObject>
#include <QStringList>

class CVideoSniffer;
class QTimer;

// The window's one link to packet capture: owns the engines and the queue
// their threads fill, and hands the reports to the GUI thread one per tick.
// The engines' plain callback reaches the session started last; the program
// has one.
class CaptureSession : public QObject
{
    Q_OBJECT

public:
    static constexpr int tickMs = 50;

    explicit CaptureSession(QObject *parent = nullptr);
    // Stops every engine before the queue goes.
    ~CaptureSession() override;

    // Once: one engine per usable interface, and the tick. Returns what the
    // user must be told (no interfaces, an engine that stays idle).
    QStringList start();
    bool isStarted() const { return m_started; }

    // What an engine hands over; any thread. The address gets its "http://".
    // False when the report was dropped (queue full or already waiting).
    bool queueReport(const QByteArray &url, const QByteArray &header, const QByteArray &length,
                     const QByteArray &type);
    // Every engine lets this address pass once unreported: the program's
    // own preview or save of a listed stream.
    void ignoreOnce(const QString &url);

signals:
    void reportArrived(const MediaReport &report);

private:
    void checkUrlQueue();

    ReportQueue m_queue;
    QList<CVideoSniffer *> m_engines;
    QTimer *m_tick = nullptr;
    bool m_started = false;
};

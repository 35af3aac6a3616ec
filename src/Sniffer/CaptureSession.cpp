#include "CaptureSession.h"

#include "CVideoSniffer.h"
#include "LogLine.h"

#include <QMutex>
#include <QTimer>

namespace {

// The engines' callback is a plain function without context: it reaches the
// session that started them through this one guarded pointer.
QMutex sessionLock;
CaptureSession *runningSession = nullptr;

void onMediaFound(QByteArray url, QByteArray header, QByteArray length, QByteArray type)
{
    QMutexLocker locker(&sessionLock);
    if (runningSession)
        runningSession->queueReport(url, header, length, type);
}

} // namespace

CaptureSession::CaptureSession(QObject *parent) : QObject(parent) {}

CaptureSession::~CaptureSession()
{
    qDeleteAll(m_engines);
    QMutexLocker locker(&sessionLock);
    if (runningSession == this)
        runningSession = nullptr;
}

QStringList CaptureSession::start()
{
    QStringList failures;
    if (m_started)
        return failures;
    m_started = true;
    {
        QMutexLocker locker(&sessionLock);
        runningSession = this;
    }
    QString listError;
    const QList<QByteArray> interfaces = CVideoSniffer::listInterfaces(&listError);
    if (!listError.isEmpty())
        failures << listError;
    for (const QByteArray &name : interfaces) {
        auto *engine = new CVideoSniffer(name);
        if (!engine->failure().isEmpty())
            failures << engine->failure();
        engine->registerCallback(onMediaFound);
        m_engines.append(engine);
    }
    m_tick = new QTimer(this);
    connect(m_tick, &QTimer::timeout, this, &CaptureSession::checkUrlQueue);
    m_tick->start(tickMs);
    return failures;
}

bool CaptureSession::queueReport(const QByteArray &url, const QByteArray &header, const QByteArray &length,
                                 const QByteArray &type)
{
    return m_queue.push({QByteArrayLiteral("http://") + url, header, length, type});
}

void CaptureSession::ignoreOnce(const QString &url)
{
    const QByteArray bare = QString(url).remove(QStringLiteral("http://")).toLatin1();
    for (CVideoSniffer *engine : std::as_const(m_engines))
        engine->addIgnoredUrl(bare, 1);
}

void CaptureSession::checkUrlQueue()
{
    if (const quint64 dropped = m_queue.takeDropped())
        LOG_WARNING << "checkUrlQueue" << ":" << "reports dropped, queue full" << ":" << dropped;
    if (std::optional<MediaReport> report = m_queue.take())
        emit reportArrived(*report);
}

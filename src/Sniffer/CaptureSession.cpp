#include "CaptureSession.h"

#include "CVideoSniffer.h"
#include "LogLine.h"
#include "SelfTest.h"

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
    if (interfaces.isEmpty())
        LOG_WARNING << "CaptureSession" << ":" << "no interface to capture on";
    for (const QByteArray &name : interfaces) {
        addEngine(name);
        if (!m_engines.last()->failure().isEmpty())
            failures << m_engines.last()->failure();
    }
    m_tick = new QTimer(this);
    connect(m_tick, &QTimer::timeout, this, &CaptureSession::checkUrlQueue);
    m_tick->start(tickMs);
    return failures;
}

void CaptureSession::addEngine(const QByteArray &interfaceName)
{
    auto *engine = new CVideoSniffer(interfaceName);
    engine->registerCallback(onMediaFound);
    engine->setStreamSorter(&m_streams);
    m_engines.append(engine);
}

CaptureSession::Status CaptureSession::status() const
{
    if (!m_started)
        return Status::NotStarted;
    bool refused = false;
    bool failed = false;
    for (const CVideoSniffer *engine : m_engines) {
        if (engine->isCapturing())
            return Status::Capturing;
        switch (engine->problem()) {
        case CVideoSniffer::Problem::NotPermitted:
            refused = true;
            break;
        case CVideoSniffer::Problem::NoInterface:
        case CVideoSniffer::Problem::NoAddress:
            break;
        default:
            failed = true;
            break;
        }
    }
    // Permission is the process's, so one refusal explains every idle engine.
    if (refused)
        return Status::NotPermitted;
    return failed ? Status::Failed : Status::NoInterface;
}

bool CaptureSession::watchLoopback()
{
    const QByteArray loopback = QByteArrayLiteral("lo");
    // One try: an engine refused once is refused again.
    for (const CVideoSniffer *engine : std::as_const(m_engines)) {
        if (engine->interfaceName() == loopback)
            return engine->isCapturing();
    }
    addEngine(loopback);
    return m_engines.last()->isCapturing();
}

bool CaptureSession::startSelfTest(const QUrl &address)
{
    if (!m_selfTest)
        m_selfTest = new SelfTest(this);
    watchLoopback();
    return m_selfTest->start(address);
}

bool CaptureSession::queueReport(const QByteArray &url, const QByteArray &header, const QByteArray &length,
                                 const QByteArray &type)
{
    return m_queue.push({QByteArrayLiteral("http://") + url, header, length, type});
}

void CaptureSession::ignoreOnce(const QString &url)
{
    // The engines never see an encrypted stream (a browser's https:// row).
    if (!url.startsWith(QLatin1String("http://")))
        return;
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

#include "CVideoSniffer.h"

#include <algorithm>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include <QCoreApplication>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <pcap/pcap.h>

#include "InterfaceRules.h"
#include "LogLine.h"

namespace {

// Every engine alive, so that all of them can be stopped before the
// application object and the log handler go away.
struct EngineRegistry
{
    std::mutex lock;
    std::vector<CVideoSniffer *> engines;
    bool postRoutineAdded = false;
};

// Never destroyed: engines owned by other static objects may go after it.
EngineRegistry &registry()
{
    static EngineRegistry *instance = new EngineRegistry;
    return *instance;
}

void stopAllEngines()
{
    CVideoSniffer::stopAll();
}

void registerEngine(CVideoSniffer *engine)
{
    EngineRegistry &r = registry();
    const std::lock_guard lock(r.lock);
    r.engines.push_back(engine);
    if (!r.postRoutineAdded && QCoreApplication::instance()) {
        qAddPostRoutine(stopAllEngines);
        r.postRoutineAdded = true;
    }
}

void unregisterEngine(CVideoSniffer *engine)
{
    EngineRegistry &r = registry();
    const std::lock_guard lock(r.lock);
    std::erase(r.engines, engine);
}

constexpr auto StatisticsInterval = std::chrono::seconds(10);

} // namespace

QList<QByteArray> CVideoSniffer::listInterfaces(QString *error)
{
    TRACE("listInterfaces");
    QList<QByteArray> names;
    char errorBuffer[PCAP_ERRBUF_SIZE] = {};
    pcap_if_t *devices = nullptr;
    LOG_DEBUG << "before pcap_findalldevs";
    if (pcap_findalldevs(&devices, errorBuffer) == -1) {
        LOG_ERROR << "Error in pcap finaldevs" << ":" << QByteArray(errorBuffer);
        if (error)
            *error = QStringLiteral("Unable to get interfaces");
        return names;
    }
    LOG_DEBUG << "after pcap_findalldevs";
    LOG_DEBUG << "Sniff error:<<" << QByteArray(errorBuffer);
    for (const pcap_if_t *device = devices; device; device = device->next) {
        if (!capture::isUsableInterface(*device))
            continue;
        names.append(QByteArray(device->name));
        LOG_DEBUG << "sniffer iface:" << QByteArray(device->name);
    }
    pcap_freealldevs(devices);
    return names;
}

CVideoSniffer::CVideoSniffer(const QByteArray &interfaceName, QObject *parent)
    : QThread(parent), m_interfaceName(interfaceName)
{
    registerEngine(this);
    if (!open()) {
        close();
        return;
    }
    m_started = true;
    start(QThread::InheritPriority);
}

CVideoSniffer::~CVideoSniffer()
{
    requestStop();
    waitForLoop();
    close();
    unregisterEngine(this);
}

bool CVideoSniffer::open()
{
    pcap_if_t *devices = nullptr;
    const bool listed = pcap_findalldevs(&devices, m_errorBuffer) != -1;
    LOG_DEBUG << "pcap_findalldevs:\n" << QByteArray(m_errorBuffer);
    if (!listed) {
        fail(QStringLiteral("Unable to get interfaces"));
        return openFailed(Problem::NoInterfaceList, m_errorBuffer);
    }

    const pcap_if_t *device = devices;
    while (device && m_interfaceName != device->name)
        device = device->next;
    if (!device) {
        pcap_freealldevs(devices);
        return openFailed(Problem::NoInterface, "no such interface");
    }
    if (!device->addresses) {
        pcap_freealldevs(devices);
        fail(QStringLiteral("Unable to get interface address"));
        return openFailed(Problem::NoAddress, "no address");
    }
    if (const auto address = capture::lastUsableAddress(*device)) {
        m_detector.setLocalAddress(*address);
        LOG_DEBUG << int((*address)[0]) << int((*address)[1]) << int((*address)[2]) << int((*address)[3]);
    }
    pcap_freealldevs(devices);

    m_errorBuffer[0] = '\0';
    m_captureHandle = pcap_create(m_interfaceName.constData(), m_errorBuffer);
    int status = PCAP_ERROR;
    if (m_captureHandle) {
        pcap_set_snaplen(m_captureHandle, SnapshotLength);
        pcap_set_promisc(m_captureHandle, 0);
        // Packets reach the loop at most this late when traffic is thin.
        pcap_set_timeout(m_captureHandle, 100);
        pcap_set_buffer_size(m_captureHandle, BufferSize);
        status = pcap_activate(m_captureHandle);
        if (status < 0) {
            qstrncpy(m_errorBuffer, pcap_geterr(m_captureHandle), sizeof m_errorBuffer);
            pcap_close(m_captureHandle);
            m_captureHandle = nullptr;
        } else if (status > 0) {
            LOG_WARNING << "pcap_activate" << ":" << "warning" << ":" << QByteArray(pcap_geterr(m_captureHandle));
        }
    }
    LOG_DEBUG << "pcap_openlive:" << QByteArray(m_errorBuffer) << "pcapHandle:\n"
              << QByteArray::number(quintptr(m_captureHandle), 16);
    if (!m_captureHandle)
        return openFailed(status == PCAP_ERROR_PERM_DENIED ? Problem::NotPermitted : Problem::OpenFailed,
                          m_errorBuffer);

    const int linkType = pcap_datalink(m_captureHandle);
    if (!MediaDetector::supportsLinkType(linkType))
        return openFailed(Problem::OpenFailed, "unsupported link type " + QByteArray::number(linkType));
    m_detector.setLinkType(linkType);

    bpf_program filter{};
    if (pcap_compile(m_captureHandle, &filter, "tcp", 1, 0) == -1
        || pcap_setfilter(m_captureHandle, &filter) == -1) {
        pcap_freecode(&filter);
        return openFailed(Problem::OpenFailed, "filter: " + QByteArray(pcap_geterr(m_captureHandle)));
    }
    pcap_freecode(&filter);

    // Non-blocking reads and a poll that also waits on the wake descriptor:
    // a stop request is seen at once, with or without traffic.
    if (pcap_setnonblock(m_captureHandle, 1, m_errorBuffer) == -1 || pcap_get_selectable_fd(m_captureHandle) < 0)
        return openFailed(Problem::OpenFailed, "non-blocking: " + QByteArray(m_errorBuffer));
    m_wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (m_wakeFd < 0)
        return openFailed(Problem::OpenFailed, "eventfd: " + QByteArray::number(errno));
    return true;
}

bool CVideoSniffer::openFailed(Problem problem, const QByteArray &reason)
{
    // A warning, not a debug line: without capture the page stays empty,
    // and the log must say on which interface and why.
    LOG_WARNING << "open" << ":" << m_interfaceName << ":" << "not capturing" << ":" << reason;
    const std::lock_guard lock(m_problemLock);
    m_problem = problem;
    m_problemReason = QString::fromLocal8Bit(reason);
    return false;
}

CVideoSniffer::Problem CVideoSniffer::problem() const
{
    const std::lock_guard lock(m_problemLock);
    return m_problem;
}

QString CVideoSniffer::problemReason() const
{
    const std::lock_guard lock(m_problemLock);
    return m_problemReason;
}

void CVideoSniffer::fail(const QString &message)
{
    LOG_ERROR << "CVideoSniffer" << ":" << message;
    m_failure = message;
}

void CVideoSniffer::close()
{
    if (m_captureHandle) {
        pcap_close(m_captureHandle);
        m_captureHandle = nullptr;
    }
    if (m_wakeFd >= 0) {
        ::close(m_wakeFd);
        m_wakeFd = -1;
    }
}

void CVideoSniffer::registerCallback(MediaCallback callback)
{
    LOG_DEBUG << "Register callback func";
    m_detector.setCallback(callback);
}

void CVideoSniffer::addIgnoredUrl(const QByteArray &url, int count)
{
    m_detector.addIgnoredUrl(url, count);
}

bool CVideoSniffer::takeIgnoredUrl(const QByteArray &url)
{
    return m_detector.takeIgnoredUrl(url);
}

void CVideoSniffer::requestStop()
{
    m_stopRequested.store(true, std::memory_order_release);
    if (m_wakeFd >= 0) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = ::write(m_wakeFd, &one, sizeof one);
    }
}

void CVideoSniffer::waitForLoop()
{
    if (!m_started)
        return;
    while (!m_loopFinished.load(std::memory_order_acquire))
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    wait();
}

void CVideoSniffer::stopAll()
{
    std::vector<CVideoSniffer *> engines;
    {
        EngineRegistry &r = registry();
        const std::lock_guard lock(r.lock);
        engines = r.engines;
    }
    for (CVideoSniffer *engine : engines)
        engine->requestStop();
    for (CVideoSniffer *engine : engines)
        engine->waitForLoop();
}

void CVideoSniffer::readStatistics(bool always)
{
    pcap_stat stats{};
    if (pcap_stats(m_captureHandle, &stats) != 0)
        return;
    const std::uint64_t dropped = stats.ps_drop;
    if (dropped != m_dropped.load(std::memory_order_relaxed) || always) {
        if (dropped != m_dropped.load(std::memory_order_relaxed))
            LOG_WARNING << "pcap_stats" << ":" << m_interfaceName << ":" << "received" << ":"
                        << qulonglong(stats.ps_recv) << ":" << "dropped" << ":" << qulonglong(dropped);
        m_dropped.store(dropped, std::memory_order_relaxed);
    }
}

void CVideoSniffer::run()
{
    m_loopFinished.store(false, std::memory_order_release);
    m_detector.reset();
    const int captureFd = pcap_get_selectable_fd(m_captureHandle);
    auto nextStatistics = std::chrono::steady_clock::now() + StatisticsInterval;
    std::uint64_t captured = 0;

    while (!m_stopRequested.load(std::memory_order_acquire)) {
        pcap_pkthdr *header = nullptr;
        const u_char *data = nullptr;
        const int result = pcap_next_ex(m_captureHandle, &header, &data);
        if (result > 0) {
            m_detector.analyze({data, header->caplen}, header->ts.tv_sec);
            m_captured.store(++captured, std::memory_order_relaxed);
            if ((captured & 1023) != 0)
                continue;
        } else if (result == 0) {
            pollfd waits[2] = {{captureFd, POLLIN, 0}, {m_wakeFd, POLLIN, 0}};
            ::poll(waits, 2, IdleWaitMs);
        } else {
            const QByteArray reason = QByteArray(pcap_geterr(m_captureHandle));
            LOG_ERROR << "run" << ":" << m_interfaceName << ":" << "pcap_next_ex" << ":" << result << ":" << reason;
            const std::lock_guard lock(m_problemLock);
            m_problem = Problem::Stopped;
            m_problemReason = QString::fromLocal8Bit(reason);
            break;
        }
        const auto now = std::chrono::steady_clock::now();
        if (now >= nextStatistics) {
            readStatistics(false);
            nextStatistics = now + StatisticsInterval;
        }
    }
    readStatistics(true);
    m_detector.reset();
    m_loopFinished.store(true, std::memory_order_release);
}

#include <QtTest>

#include <list>

#include <arpa/inet.h>
#include <netinet/in.h>

#include "InterfaceRules.h"
#include "Ipv4Address.h"

namespace {

// An interface as the capture library gives it, from "4:10.0.0.1", "6:fe80::1" or "packet:3" (link layer,
// its interface index in bytes 4..7 where an IPv4 address would be).
class Device
{
public:
    Device(unsigned flags, const QStringList &addresses)
    {
        m_device.flags = flags;
        m_device.name = const_cast<char *>("test0");
        for (const QString &text : addresses) {
            sockaddr_storage &s = m_storage.emplace_back();
            s = {};
            const QByteArray value = text.section(':', 1).toLatin1();
            s.ss_family = text.startsWith("4:") ? AF_INET : text.startsWith("6:") ? AF_INET6 : 17; // 17: AF_PACKET
            if (s.ss_family == AF_INET)
                ::inet_pton(AF_INET, value, &reinterpret_cast<sockaddr_in *>(&s)->sin_addr);
            else if (s.ss_family == AF_INET6)
                ::inet_pton(AF_INET6, value, &reinterpret_cast<sockaddr_in6 *>(&s)->sin6_addr);
            else
                reinterpret_cast<std::uint8_t *>(&s)[4] = std::uint8_t(value.toUInt());
            pcap_addr_t &a = m_addresses.emplace_back();
            a = {};
            a.addr = reinterpret_cast<sockaddr *>(&s);
            if (m_addresses.size() > 1)
                std::prev(m_addresses.end(), 2)->next = &a;
        }
        m_device.addresses = m_addresses.empty() ? nullptr : &m_addresses.front();
    }
    const pcap_if_t &get() const { return m_device; }

private:
    pcap_if_t m_device{};
    std::list<pcap_addr_t> m_addresses;
    std::list<sockaddr_storage> m_storage;
};

} // namespace

class TestInterfaceRules : public QObject
{
    Q_OBJECT

private slots:
    void qualification_data()
    {
        QTest::addColumn<unsigned>("flags");
        QTest::addColumn<QStringList>("addresses");
        QTest::addColumn<bool>("usable");
        QTest::addColumn<QByteArray>("last"); // the last usable address, whatever the flags
        const unsigned up = PCAP_IF_UP | PCAP_IF_RUNNING;
        const auto row = [](const char *name, unsigned flags, const QStringList &addresses, bool usable,
                            const QByteArray &last) { QTest::newRow(name) << flags << addresses << usable << last; };
        row("no addresses", up, {}, false, {});
        row("one address", up, {"4:192.168.1.20"}, true, "192.168.1.20");
        row("loopback flag alone", PCAP_IF_LOOPBACK, {"4:127.0.0.1"}, false, "127.0.0.1");
        // Linux sets the up and running bits on lo too, so it qualifies.
        row("linux loopback", PCAP_IF_LOOPBACK | up, {"4:127.0.0.1", "6:::1"}, true, "127.0.0.1");
        row("unusable first octets", up, {"4:169.254.3.4", "4:254.1.1.1", "4:0.1.2.3", "4:255.1.1.1"}, false, {});
        row("last usable kept", up, {"4:10.0.0.7", "4:169.254.0.1", "4:10.0.0.9", "6:fe80::1"}, true, "10.0.0.9");
        row("ipv6 only", up, {"6:2001:db8::1", "6:fe80::1"}, false, {});
        row("link-layer address", up, {"packet:3"}, false, {});
    }

    void qualification()
    {
        QFETCH(unsigned, flags);
        QFETCH(QStringList, addresses);
        QFETCH(bool, usable);
        QFETCH(QByteArray, last);
        const Device device(flags, addresses);
        QCOMPARE(capture::isUsableInterface(device.get()), usable);
        const auto address = capture::lastUsableAddress(device.get());
        QCOMPARE(address ? ipv4Text(*address) : QByteArray(), last);
    }
};

QTEST_GUILESS_MAIN(TestInterfaceRules)
#include "tst_interfacerules.moc"

#include <QtTest>

#include <cstring>
#include <list>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include "InterfaceRules.h"
#include "Ipv4Address.h"

namespace {

// One interface description as the capture library hands it out.
class Device
{
public:
    explicit Device(unsigned flags) { m_device.flags = flags; m_device.name = const_cast<char *>("test0"); }

    Device &ipv4(const char *text)
    {
        sockaddr_in &in = m_ipv4.emplace_back();
        in.sin_family = AF_INET;
        ::inet_pton(AF_INET, text, &in.sin_addr);
        return add(reinterpret_cast<sockaddr *>(&in));
    }
    Device &ipv6(const char *text)
    {
        sockaddr_in6 &in = m_ipv6.emplace_back();
        in.sin6_family = AF_INET6;
        ::inet_pton(AF_INET6, text, &in.sin6_addr);
        return add(reinterpret_cast<sockaddr *>(&in));
    }
    // A link-layer address: its bytes 4..7 (the interface index) look like
    // an IPv4 address to anyone who ignores the family.
    Device &packet(std::uint8_t index)
    {
        sockaddr_storage &s = m_other.emplace_back();
        std::memset(&s, 0, sizeof s);
        s.ss_family = 17; // AF_PACKET
        reinterpret_cast<std::uint8_t *>(&s)[4] = index;
        return add(reinterpret_cast<sockaddr *>(&s));
    }
    const pcap_if_t &get() const { return m_device; }

private:
    Device &add(sockaddr *address)
    {
        pcap_addr_t &a = m_addresses.emplace_back();
        a = {};
        a.addr = address;
        if (m_addresses.size() > 1)
            std::prev(m_addresses.end(), 2)->next = &a;
        m_device.addresses = &m_addresses.front();
        return *this;
    }

    pcap_if_t m_device{};
    std::list<pcap_addr_t> m_addresses;
    std::list<sockaddr_in> m_ipv4;
    std::list<sockaddr_in6> m_ipv6;
    std::list<sockaddr_storage> m_other;
};

} // namespace

class TestInterfaceRules : public QObject
{
    Q_OBJECT

private slots:
    void qualification_data();
    void qualification();
    void parseAddresses_data();
    void parseAddresses();
};

void TestInterfaceRules::qualification_data()
{
    QTest::addColumn<std::shared_ptr<Device>>("device");
    QTest::addColumn<bool>("usable");
    QTest::addColumn<QByteArray>("address");
    const auto make = [](unsigned flags) { return std::make_shared<Device>(flags); };

    QTest::newRow("no addresses") << make(PCAP_IF_UP) << false << QByteArray();
    auto eth = make(PCAP_IF_UP | PCAP_IF_RUNNING);
    eth->ipv4("192.168.1.20");
    QTest::newRow("one address") << eth << true << QByteArray("192.168.1.20");
    auto loopbackOnly = make(PCAP_IF_LOOPBACK);
    loopbackOnly->ipv4("127.0.0.1");
    QTest::newRow("loopback flag alone") << loopbackOnly << false << QByteArray("127.0.0.1");
    // Linux sets the up and running bits on lo too, so it qualifies.
    auto lo = make(PCAP_IF_LOOPBACK | PCAP_IF_UP | PCAP_IF_RUNNING);
    lo->ipv4("127.0.0.1").ipv6("::1");
    QTest::newRow("linux loopback") << lo << true << QByteArray("127.0.0.1");
    auto linkLocal = make(PCAP_IF_UP);
    linkLocal->ipv4("169.254.3.4").ipv4("254.1.1.1").ipv4("0.1.2.3").ipv4("255.1.1.1");
    QTest::newRow("unusable first octets") << linkLocal << false << QByteArray();
    auto two = make(PCAP_IF_UP);
    two->ipv4("10.0.0.7").ipv4("169.254.0.1").ipv4("10.0.0.9").ipv6("fe80::1");
    QTest::newRow("last usable kept") << two << true << QByteArray("10.0.0.9");
    auto v6 = make(PCAP_IF_UP);
    v6->ipv6("2001:db8::1").ipv6("fe80::1");
    QTest::newRow("ipv6 only") << v6 << false << QByteArray();
    auto link = make(PCAP_IF_UP);
    link->packet(3);
    QTest::newRow("link-layer address") << link << false << QByteArray();
}

void TestInterfaceRules::qualification()
{
    QFETCH(std::shared_ptr<Device>, device);
    QFETCH(bool, usable);
    QFETCH(QByteArray, address);
    QCOMPARE(capture::isUsableInterface(device->get()), usable);
    const auto last = capture::lastUsableAddress(device->get());
    QCOMPARE(last ? ipv4Text(*last) : QByteArray(), address);
}

void TestInterfaceRules::parseAddresses_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("valid");
    QTest::newRow("loopback") << QByteArray("127.0.0.1") << true;
    QTest::newRow("zeros") << QByteArray("0.0.0.0") << true;
    QTest::newRow("max") << QByteArray("255.255.255.255") << true;
    QTest::newRow("octet too big") << QByteArray("256.1.1.1") << false;
    QTest::newRow("three parts") << QByteArray("10.0.1") << false;
    QTest::newRow("five parts") << QByteArray("10.0.0.1.2") << false;
    QTest::newRow("empty part") << QByteArray("10..0.1") << false;
    QTest::newRow("letters") << QByteArray("10.0.0.a") << false;
    QTest::newRow("long digits") << QByteArray("0010.0.0.1") << false;
    QTest::newRow("empty") << QByteArray() << false;
}

void TestInterfaceRules::parseAddresses()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, valid);
    const auto parsed = parseIpv4(text);
    QCOMPARE(parsed.has_value(), valid);
    if (valid)
        QCOMPARE(ipv4Text(*parsed), text);
}

QTEST_GUILESS_MAIN(TestInterfaceRules)
#include "tst_interfacerules.moc"

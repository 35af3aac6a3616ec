#include "InterfaceRules.h"

#include <cstring>

#include <netinet/in.h>
#include <sys/socket.h>

namespace capture {

namespace {

std::optional<Ipv4Address> ipv4Of(const sockaddr *address)
{
    // Other families (packet, IPv6) hold no IPv4 octets at that place.
    if (!address || address->sa_family != AF_INET)
        return std::nullopt;
    sockaddr_in in;
    std::memcpy(&in, address, sizeof in);
    Ipv4Address octets;
    std::memcpy(octets.data(), &in.sin_addr, octets.size());
    return octets;
}

} // namespace

bool isUsableAddress(const sockaddr *address)
{
    const auto octets = ipv4Of(address);
    if (!octets)
        return false;
    const std::uint8_t first = (*octets)[0];
    return first != 0 && first != 169 && first != 254 && first != 255;
}

bool isUsableInterface(const pcap_if_t &device)
{
    if (!device.addresses || device.flags == PCAP_IF_LOOPBACK)
        return false;
    for (const pcap_addr_t *a = device.addresses; a; a = a->next) {
        if (isUsableAddress(a->addr))
            return true;
    }
    return false;
}

std::optional<Ipv4Address> lastUsableAddress(const pcap_if_t &device)
{
    std::optional<Ipv4Address> last;
    for (const pcap_addr_t *a = device.addresses; a; a = a->next) {
        if (isUsableAddress(a->addr))
            last = ipv4Of(a->addr);
    }
    return last;
}

} // namespace capture

#include "LinkLayer.h"

#include <pcap/pcap.h>

namespace capture {

namespace {

constexpr std::uint16_t EtherTypeIpv4 = 0x0800;
constexpr std::uint16_t EtherTypeVlan = 0x8100;
constexpr std::uint16_t EtherTypeQinQ = 0x88a8;

} // namespace

std::optional<std::size_t> ipv4Offset(int linkType, const ByteView &frame)
{
    switch (linkType) {
    case DLT_EN10MB: {
        std::size_t typeAt = 12;
        for (int tags = 0; tags <= 2; ++tags) {
            const auto type = frame.be16(typeAt);
            if (!type)
                return std::nullopt;
            if (*type == EtherTypeIpv4)
                return typeAt + 2;
            if (*type != EtherTypeVlan && *type != EtherTypeQinQ)
                return std::nullopt;
            typeAt += 4;
        }
        return std::nullopt;
    }
    case DLT_LINUX_SLL:
        if (frame.be16(14) == EtherTypeIpv4)
            return 16;
        return std::nullopt;
    case DLT_LINUX_SLL2:
        if (frame.be16(0) == EtherTypeIpv4)
            return 20;
        return std::nullopt;
    case DLT_RAW:
    case DLT_IPV4:
        return 0;
    case DLT_NULL:
    case DLT_LOOP: {
        // The family is in the byte order of the capturing machine (or
        // network order for DLT_LOOP); 2 is IPv4 everywhere.
        const auto family = frame.raw<std::uint32_t>(0);
        if (family && (*family == 2 || __builtin_bswap32(*family) == 2))
            return 4;
        return std::nullopt;
    }
    default:
        return std::nullopt;
    }
}

bool supportsLinkType(int linkType)
{
    switch (linkType) {
    case DLT_EN10MB:
    case DLT_LINUX_SLL:
    case DLT_LINUX_SLL2:
    case DLT_RAW:
    case DLT_IPV4:
    case DLT_NULL:
    case DLT_LOOP:
        return true;
    default:
        return false;
    }
}

} // namespace capture

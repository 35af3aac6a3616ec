#pragma once

#include <optional>

#include <pcap/pcap.h>

#include "Ipv4Address.h"

struct sockaddr;

namespace capture {

// An IPv4 address whose first octet is none of 0, 169, 254 and 255.
bool isUsableAddress(const sockaddr *address);

// An interface worth capturing on: it has addresses, its flags are not the
// loopback flag alone, and one of its addresses is usable.
bool isUsableInterface(const pcap_if_t &device);

// The last usable address of the interface, if any.
std::optional<Ipv4Address> lastUsableAddress(const pcap_if_t &device);

} // namespace capture

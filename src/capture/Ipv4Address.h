#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include <QByteArray>
#include <QByteArrayView>

// Four octets in network order, as they stand in an IPv4 header.
using Ipv4Address = std::array<std::uint8_t, 4>;

// "a.b.c.d" in decimal; nothing else is accepted.
std::optional<Ipv4Address> parseIpv4(QByteArrayView text);
QByteArray ipv4Text(const Ipv4Address &address);

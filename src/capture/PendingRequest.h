#pragma once

#include <cstdint>

#include <QByteArray>

#include "Ipv4Address.h"

// One outgoing GET waiting for its response.
struct PendingRequest
{
    Ipv4Address sourceAddress{};
    Ipv4Address destinationAddress{};
    // Ports stay in network byte order: they are only compared, never shown.
    std::uint16_t sourcePort = 0;
    std::uint16_t destinationPort = 0;
    QByteArray host;
    QByteArray path;
    QByteArray header;
    std::int64_t added = 0;
};

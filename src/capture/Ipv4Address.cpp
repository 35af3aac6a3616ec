#include "Ipv4Address.h"

std::optional<Ipv4Address> parseIpv4(QByteArrayView text)
{
    Ipv4Address address{};
    int part = 0;
    int digits = 0;
    unsigned value = 0;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == '.') {
            if (digits == 0 || part > 3)
                return std::nullopt;
            address[std::size_t(part++)] = std::uint8_t(value);
            digits = 0;
            value = 0;
            continue;
        }
        const char c = text[i];
        if (c < '0' || c > '9' || ++digits > 3)
            return std::nullopt;
        value = value * 10 + unsigned(c - '0');
        if (value > 255)
            return std::nullopt;
    }
    if (part != 4)
        return std::nullopt;
    return address;
}

QByteArray ipv4Text(const Ipv4Address &address)
{
    QByteArray text;
    for (std::size_t i = 0; i < address.size(); ++i) {
        if (i)
            text += '.';
        text += QByteArray::number(address[i]);
    }
    return text;
}

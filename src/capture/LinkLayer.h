#pragma once

#include <cstddef>
#include <optional>

#include "ByteView.h"

namespace capture {

// Where the IPv4 header of a captured frame starts, for the link types the
// analysis reads; nothing for other link types and other protocols.
std::optional<std::size_t> ipv4Offset(int linkType, const ByteView &frame);

bool supportsLinkType(int linkType);

} // namespace capture

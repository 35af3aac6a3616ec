#pragma once

#include "StreamInfo.h"

namespace streams {

// Reads a DASH MPD element by element. A document type declaration is
// refused outright, so no entity of the server's making is ever expanded.
ManifestResult parseDash(QByteArrayView body, const QUrl &base);

// An ISO-8601 duration such as "PT1H2M3.5S" or "P1DT2H", in seconds.
std::optional<double> isoDuration(QStringView text);

} // namespace streams

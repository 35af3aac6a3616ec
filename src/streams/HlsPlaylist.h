#pragma once

#include "StreamInfo.h"

namespace streams {

// Reads an HLS master or media playlist line by line. The body must start
// with "#EXTM3U" (after an optional byte-order mark and blanks).
ManifestResult parseHls(QByteArrayView body, const QUrl &base);

// An address named by a manifest, resolved against the manifest's own
// address; only http and https addresses with a host are kept, so a
// manifest cannot point the window at local files.
QUrl resolveAddress(const QUrl &base, QByteArrayView reference);

} // namespace streams

#pragma once

#include <QList>
#include <QString>
#include <QUrl>

#include "StreamInfo.h"

namespace streams {

// Put before the row text of a stream that needs a licence server; plain
// text, as the list fonts have no lock glyph.
inline const QString LockMark = QStringLiteral("[DRM] ");

// "HLS 1280x720, 3 qualities, 0:06"; "live" instead of the length for a live
// stream; no length while it is unknown (a master not yet combined with a
// variant).
QString rowText(const StreamInfo &info);

// Every quality (resolution, kbit/s, codecs) best first, the audio tracks,
// the protection and the address, one per line.
QString toolTip(const StreamInfo &info, const QUrl &address);

// "m:ss", or "h:mm:ss" from one hour on; seconds rounded.
QString lengthText(double seconds);

// "1280x720", else "128 kbit/s" from 1 kbit/s on, else empty.
QString qualityText(const Variant &variant);

// The downloader's format selector: the best video up to a height with the
// best audio (else the best single file up to that height), or the best of
// all for a height of 0 or less. The one place it is written: the address
// downloads, the stream rows and the command line all ask here.
QString formatSelector(int maxHeight = 0);

// What the save step offers: "Best" first, then one choice per height.
struct QualityChoice
{
    QString label;
    QString selector;
};
QList<QualityChoice> qualityChoices(const StreamInfo &info);

} // namespace streams

#pragma once

#include <QString>
#include <QUrl>
#include <QtGlobal>

#include <optional>

// The texts and figures of the transfer progress display, kept apart from
// the dialog so they can be checked without a screen.
namespace TransferTexts {

// "%1 Bytes" below 1024, "%1 KB" with one decimal below 1048576, else "%1 MB"
// with two decimals.
QString sizeText(quint64 bytes);

// "59 sec", "2 min", "1 min 30 sec"; negative counts read as 0.
QString durationText(int seconds);

// "<time> (<read> of <total> copied)".
QString timeLeftText(int seconds, quint64 bytesRead, quint64 total);

// Rate given in bytes per millisecond: "512 Bytes/Sec", "2.50 KB/Sec",
// "12 KB/Sec". Negative or not-a-number rates read as 0.
QString rateText(double bytesPerMs);

// "%1% of %2 Completed".
QString percentTitle(int percent, const QString &fileName);

// "%1 from %2".
QString fileStatusText(const QString &fileName, const QString &host);

// The last part of the address's path (followed by its fragment): empty for
// a path that ends in "/".
QString fileNameOfUrl(const QUrl &url);

// Whole percent done, 0 to 100; none when the total is unknown (0). Bytes
// beyond the total count as 100.
std::optional<int> percentDone(quint64 bytesRead, quint64 total);

// Seconds left at the pace so far, truncated, never negative, at most
// INT_MAX; none when nothing has been read or the total is unknown.
std::optional<int> secondsLeft(qint64 elapsedMs, quint64 bytesRead, quint64 total);

} // namespace TransferTexts

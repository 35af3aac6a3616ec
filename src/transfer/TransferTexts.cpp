#include "TransferTexts.h"

#include <climits>
#include <cmath>

namespace TransferTexts {

QString sizeText(quint64 bytes)
{
    if (bytes < 1024)
        return QStringLiteral("%1 Bytes").arg(bytes);
    if (bytes < 1048576)
        return QStringLiteral("%1 KB").arg(double(bytes) / 1024.0, 0, 'f', 1);
    return QStringLiteral("%1 MB").arg(double(bytes) / 1048576.0, 0, 'f', 2);
}

QString durationText(int seconds)
{
    const int s = qMax(seconds, 0);
    if (s <= 59)
        return QStringLiteral("%1 sec").arg(s);
    const int minutes = s / 60;
    const int rest = s % 60;
    if (rest == 0)
        return QStringLiteral("%1 min").arg(minutes);
    return QStringLiteral("%1 min %2 sec").arg(minutes).arg(rest);
}

QString timeLeftText(int seconds, quint64 bytesRead, quint64 total)
{
    const QString amounts = QStringLiteral("%1 of %2").arg(sizeText(bytesRead), sizeText(total));
    return QStringLiteral("%1 (%2 copied)").arg(durationText(seconds), amounts);
}

QString rateText(double bytesPerMs)
{
    const double x = (std::isfinite(bytesPerMs) && bytesPerMs > 0) ? bytesPerMs : 0.0;
    if (x < 1)
        return QStringLiteral("%1 Bytes/Sec").arg(x * 1024, 0, 'f', 0);
    if (x < 10)
        return QStringLiteral("%1 KB/Sec").arg(x, 0, 'f', 2);
    return QStringLiteral("%1 KB/Sec").arg(x, 0, 'f', 0);
}

QString percentTitle(int percent, const QString &fileName)
{
    return QStringLiteral("%1% of %2 Completed").arg(percent).arg(fileName);
}

QString fileStatusText(const QString &fileName, const QString &host)
{
    return QStringLiteral("%1 from %2").arg(fileName, host);
}

QString fileNameOfUrl(const QUrl &url)
{
    const QString text = url.path() + url.fragment();
    if (text.size() <= 1)
        return text;
    qsizetype cut = text.lastIndexOf(QLatin1Char('/'));
    if (cut < 0)
        cut = text.lastIndexOf(QLatin1Char('\\'));
    return cut < 0 ? text : text.mid(cut + 1);
}

std::optional<int> percentDone(quint64 bytesRead, quint64 total)
{
    if (total == 0)
        return std::nullopt;
    if (bytesRead >= total)
        return 100;
    // 128 bits: bytes times 100 cannot overflow.
    return int((static_cast<unsigned __int128>(bytesRead) * 100u) / total);
}

std::optional<int> secondsLeft(qint64 elapsedMs, quint64 bytesRead, quint64 total)
{
    if (bytesRead == 0 || total == 0)
        return std::nullopt;
    if (bytesRead >= total || elapsedMs <= 0)
        return 0;
    const double seconds = double(elapsedMs) / double(bytesRead) * double(total - bytesRead) / 1000.0;
    if (!(seconds < double(INT_MAX)))
        return INT_MAX;
    return int(seconds);
}

} // namespace TransferTexts

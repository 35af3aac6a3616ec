#include "StreamText.h"

#include <cmath>

#include <QStringList>

namespace streams {

namespace {

QString kindText(StreamKind kind)
{
    return kind == StreamKind::Hls ? QStringLiteral("HLS") : QStringLiteral("DASH");
}

QString kbits(qint64 bandwidth)
{
    return QStringLiteral("%1 kbit/s").arg((bandwidth + 500) / 1000);
}

// Best first: most pixels, then highest bandwidth.
QList<Variant> ranked(const StreamInfo &info)
{
    QList<Variant> variants = info.variants;
    std::stable_sort(variants.begin(), variants.end(), [](const Variant &a, const Variant &b) {
        const qint64 pa = qint64(a.width) * a.height, pb = qint64(b.width) * b.height;
        return pa != pb ? pa > pb : a.bandwidth > b.bandwidth;
    });
    return variants;
}

} // namespace

QString lengthText(double seconds)
{
    const qint64 total = std::isfinite(seconds) && seconds > 0 ? qint64(std::llround(qMin(seconds, 1e12))) : 0;
    const qint64 h = total / 3600, m = total / 60 % 60, s = total % 60;
    if (h > 0)
        return QStringLiteral("%1:%2:%3").arg(h).arg(m, 2, 10, QLatin1Char('0')).arg(s, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1:%2").arg(m).arg(s, 2, 10, QLatin1Char('0'));
}

QString qualityText(const Variant &variant)
{
    if (variant.width > 0 && variant.height > 0)
        return QStringLiteral("%1x%2").arg(variant.width).arg(variant.height);
    return variant.bandwidth >= 1000 ? kbits(variant.bandwidth) : QString();
}

QString rowText(const StreamInfo &info)
{
    QString head = kindText(info.kind);
    if (const Variant *best = bestVariant(info); best && !qualityText(*best).isEmpty())
        head += u' ' + qualityText(*best);
    QStringList parts{head};
    const qsizetype count = info.variants.size();
    if (count > 0)
        parts << (count == 1 ? QStringLiteral("1 quality") : QStringLiteral("%1 qualities").arg(count));
    if (info.live)
        parts << QStringLiteral("live");
    else if (info.durationSeconds)
        parts << lengthText(*info.durationSeconds);
    const QString text = parts.join(QStringLiteral(", "));
    return info.encryption == Encryption::Drm ? LockMark + text : text;
}

QString toolTip(const StreamInfo &info, const QUrl &address)
{
    QStringList lines{rowText(info)};
    for (const Variant &v : ranked(info)) {
        QStringList fields;
        if (v.width > 0 && v.height > 0)
            fields << QStringLiteral("%1x%2").arg(v.width).arg(v.height);
        if (v.bandwidth > 0)
            fields << kbits(v.bandwidth);
        if (!v.codecs.isEmpty())
            fields << v.codecs;
        lines << (fields.isEmpty() ? QStringLiteral("quality without details") : fields.join(QStringLiteral(", ")));
    }
    for (const AudioTrack &a : info.audio) {
        QStringList fields{QStringLiteral("audio")};
        for (const QString &f : {a.group, a.name, a.language, a.codecs})
            if (!f.isEmpty())
                fields << f;
        if (a.bandwidth > 0)
            fields << kbits(a.bandwidth);
        lines << fields.join(QStringLiteral(", "));
    }
    if (info.encryption == Encryption::Drm)
        lines << QStringLiteral("protected (%1)").arg(info.keyFormat);
    else if (info.encryption == Encryption::Aes128)
        lines << QStringLiteral("encrypted, key %1").arg(info.keyAddress.toDisplayString());
    lines << address.toDisplayString();
    return lines.join(u'\n');   // plain text: its first line never holds a tag
}

QString formatSelector(int maxHeight)
{
    if (maxHeight <= 0)
        return QStringLiteral("bv*+ba/b");
    return QStringLiteral("bv*[height<=%1]+ba/b[height<=%1]").arg(maxHeight);
}

QList<QualityChoice> qualityChoices(const StreamInfo &info)
{
    QList<QualityChoice> choices;
    const Variant *best = bestVariant(info);
    const QString bestText = best ? qualityText(*best) : QString();
    choices.append({bestText.isEmpty() ? QStringLiteral("Best") : QStringLiteral("Best (%1)").arg(bestText),
                    formatSelector()});
    QList<int> heights;
    for (const Variant &v : ranked(info)) {
        if (v.height <= 0 || heights.contains(v.height))
            continue;
        heights.append(v.height);
        choices.append({qualityText(v), formatSelector(v.height)});
    }
    return choices;
}

} // namespace streams

#include "SniffedItems.h"

#include <QUrl>

namespace {

// The packet engines report "host/path", the browser a whole address.
QUrl addressOf(const QString &url)
{
    return QUrl(url.contains(QLatin1String("://")) ? url : QStringLiteral("http://") + url);
}

} // namespace

SniffedItems::Outcome SniffedItems::add(const QString &url, const QByteArray &requestHeader,
                                        const QString &lengthText, const QString &typeText,
                                        const QTime &now, bool anySize, const QString &title)
{
    const qint64 size = parseSize(lengthText);
    const QString type = cleanType(typeText);
    const bool stream = isStreamType(type);
    if (size < minimumSize && !stream && !anySize)
        return TooSmall;
    // The same stream seen by the packet engines and by a browser comes with
    // the same address and size; an unknown size tells nothing apart.
    for (const SniffedItem &item : std::as_const(m_items)) {
        if (item.url == url || (size > 0 && !stream && !item.stream && item.size == size))
            return Duplicate;
    }
    SniffedItem item;
    item.number = ++m_itemNumber;
    item.time = now.toString(QStringLiteral("hh:mm:ss"));
    item.url = url;
    item.name = streamName(title, url);
    item.site = addressOf(url).host();
    item.requestHeader = requestHeader;
    item.size = size;
    item.type = type;
    item.stream = stream;
    item.videoSite = url.contains(mainVideoSite(), Qt::CaseSensitive);
    m_items.append(item);
    if (m_items.size() > maxItems)
        m_items.removeFirst();
    return Added;
}

void SniffedItems::removeAt(int index)
{
    if (index >= 0 && index < m_items.size())
        m_items.removeAt(index);
}

void SniffedItems::setState(int index, int state)
{
    if (index >= 0 && index < m_items.size())
        m_items[index].state = state;
}

bool SniffedItems::isStreamType(const QString &type)
{
    return type == QLatin1String("HLS") || type == QLatin1String("DASH");
}

bool SniffedItems::setStream(int number, const streams::StreamInfo &info)
{
    const int index = indexOfNumber(number);
    if (index < 0)
        return false;
    SniffedItem &item = m_items[index];
    item.streamText = streams::rowText(info);
    item.streamKind = item.streamText.section(QStringLiteral(", "), 0, 0);
    item.streamLength = info.live ? QStringLiteral("live")
                                  : info.durationSeconds ? streams::lengthText(*info.durationSeconds) : QString();
    item.streamTip = streams::toolTip(info, QUrl(item.url));
    item.qualities = streams::qualityChoices(info);
    item.drm = info.encryption == streams::Encryption::Drm;
    item.oneOrigin = streams::namesOnlyItsOrigin(info, QUrl(item.url));
    return true;
}

QString SniffedItems::rowText(const SniffedItem &item)
{
    const QString numberAndTime = QStringLiteral("%1. %2").arg(item.number).arg(item.time);
    // The list is narrow: kind and best quality under Type, the length under
    // Size; every quality is in the tooltip and the quality choice.
    if (item.stream)
        return numberAndTime.leftJustified(22) + (item.streamKind.isEmpty() ? item.type : item.streamKind).leftJustified(14)
               + item.streamLength;
    return numberAndTime.leftJustified(22) + item.type.leftJustified(14)
           + QStringLiteral("%1 MB").arg(double(item.size) / 1048576.0, 0, 'f', 2);
}

QString SniffedItems::nameLine(const SniffedItem &item)
{
    if (item.site.isEmpty())
        return item.name;
    return item.name.isEmpty() ? item.site : item.name + QStringLiteral(" \u00b7 ") + item.site;
}

QString SniffedItems::streamName(const QString &title, const QString &url)
{
    // Control and format characters (line breaks, bidi overrides) would let
    // a page draw what it likes over the row.
    QString name;
    for (const QChar c : title.left(maxNameLength * 4)) {
        const QChar::Category category = c.category();
        const bool hidden = category == QChar::Other_Control || category == QChar::Other_Format
                            || category == QChar::Separator_Line || category == QChar::Separator_Paragraph;
        name += hidden ? QChar(u' ') : c;
    }
    name = name.simplified();
    if (name.isEmpty())
        name = addressOf(url).fileName(QUrl::FullyDecoded).simplified();
    if (name.size() > maxNameLength)
        name = name.left(name.at(maxNameLength - 2).isHighSurrogate() ? maxNameLength - 2 : maxNameLength - 1)
               + QChar(u'\u2026');
    return name;
}

QString SniffedItems::toolTip(const SniffedItem &item)
{
    if (item.stream)
        return item.streamTip.isEmpty() ? item.url : item.streamText + QLatin1Char('\n') + item.streamTip;
    return item.url + QLatin1Char('\n') + QString::number(item.size) + QStringLiteral(" bytes");
}

QString SniffedItems::cleanType(const QString &typeText)
{
    QString type = typeText;
    type.remove(QStringLiteral("x-"));
    const qsizetype lineEnd = type.indexOf(QStringLiteral("\r\n"));
    if (lineEnd > 0)
        type.truncate(lineEnd);
    // "mp4;charset=UTF-8": the parameters are no part of the type.
    const qsizetype parameters = type.indexOf(QLatin1Char(';'));
    if (parameters > 0)
        type = type.left(parameters).trimmed();
    return type;
}

// 64 bits: a stream of 2 GiB or more is still a stream worth listing.
qint64 SniffedItems::parseSize(const QString &lengthText)
{
    bool ok = false;
    const qint64 size = lengthText.trimmed().toLongLong(&ok, 10);
    return ok ? size : 0;
}

int SniffedItems::indexOfNumber(int number) const
{
    for (int i = 0; i < m_items.size(); ++i) {
        if (m_items.at(i).number == number)
            return i;
    }
    return -1;
}

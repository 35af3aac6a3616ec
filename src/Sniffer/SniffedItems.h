#pragma once

#include "StreamText.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QTime>

// One row of the sniffed-media list.
struct SniffedItem
{
    enum State { NotDownloaded = 0, Downloading = 1, Downloaded = 2 };

    int number = 0;
    QString time;
    QString url;
    QString name;           // the page's title the browser reported, else the address's file name
    QString site;           // the address's host
    QByteArray requestHeader;
    qint64 size = 0;
    QString type;
    bool videoSite = false;
    int state = NotDownloaded;
    // A streaming manifest ("HLS" or "DASH"): one row for the whole stream.
    bool stream = false;
    QString streamText;     // kind, best quality and length, once read
    QString streamKind;     // its first part: kind and best quality ("HLS 1280x720")
    QString streamLength;   // "0:06", "live" or empty
    QString streamTip;      // every quality and the address, once read
    QList<streams::QualityChoice> qualities;
    bool drm = false;       // needs a licence server: never offered for saving
    bool oneOrigin = false; // every address the manifest names is on its own host
};

// The streams the sniffer found, oldest first: only streams of 100000 bytes
// or more (a browser's manifests, listed with anySize, and every streaming
// manifest whatever their size), each address and each known size at most
// once, the 25 newest kept.
class SniffedItems
{
public:
    static constexpr int maxItems = 25;
    static constexpr qint64 minimumSize = 100000;
    static constexpr int maxNameLength = 120;
    // Streams of this site are not previewed.
    static QString mainVideoSite() { return QStringLiteral("youtube.com"); }

    enum Outcome { Added, TooSmall, Duplicate };

    // title: what the browser reported for the playing page (untrusted), or empty.
    Outcome add(const QString &url, const QByteArray &requestHeader, const QString &lengthText,
                const QString &typeText, const QTime &now, bool anySize = false, const QString &title = QString());
    void removeAt(int index);
    void setState(int index, int state);
    // The manifest of row number was read. False when the row is gone.
    bool setStream(int number, const streams::StreamInfo &info);
    static bool isStreamType(const QString &type);

    int count() const { return int(m_items.size()); }
    const SniffedItem &at(int index) const { return m_items.at(index); }
    int lastNumber() const { return m_itemNumber; }
    // Index of the item with that number, or -1 when it left the list.
    int indexOfNumber(int number) const;

    // "N. hh:mm:ss" to 22 columns, the type to 14, then the size in MB.
    static QString rowText(const SniffedItem &item);
    // "name · site", the row's second line.
    static QString nameLine(const SniffedItem &item);
    // A title made fit for one line of a list, or the last part of the
    // address's path when there is none.
    static QString streamName(const QString &title, const QString &url);
    // The full address and the size in bytes, to tell rows apart.
    static QString toolTip(const SniffedItem &item);
    // "x-" removed, cut at the line end and before parameters (";...").
    static QString cleanType(const QString &typeText);
    static qint64 parseSize(const QString &lengthText);

private:
    QList<SniffedItem> m_items;
    int m_itemNumber = 0;
};

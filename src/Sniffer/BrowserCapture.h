#pragma once

#include "BrowserStream.h"
#include "MediaReport.h"

#include <QObject>
#include <QString>

class BrowserSession;
namespace streams {
class StreamSorter;
}

// The window's one link to browser capture: owns the local server the
// native hosts talk to, and turns each stream a browser played into a report
// of the sniffed-media page, as the packet engines' reports are.
//
//   BrowserCapture browser;
//   connect(&browser, &BrowserCapture::reportArrived, page, &Page::addReport);
//   browser.start();   // also hands out what the spool kept
class BrowserCapture : public QObject
{
    Q_OBJECT

public:
    // perUserFolder: empty means Platform::perUserFolder().
    explicit BrowserCapture(const QString &perUserFolder = QString(), QObject *parent = nullptr);
    ~BrowserCapture() override;

    // Once: listens and reads the spool. False when another window of this
    // user already receives the streams or the socket cannot be made (logged).
    bool start();
    bool isStarted() const { return m_started; }
    bool isListening() const;
    bool isBrowserConnected() const;
    BrowserSession *session() const { return m_session; }
    // The sorter the packet engines share: a playlist or segment of a listed
    // stream makes no row, whichever source saw the manifest.
    void setStreamSorter(streams::StreamSorter *sorter) { m_sorter = sorter; }

    // The page's report of a stream: the full address with its scheme, the
    // request rebuilt as a header block, the total size, the row's type.
    static MediaReport report(const BrowserStream &stream);
    // "GET <path> HTTP/1.1", then the headers a save may send again, each
    // "name: value", then the blank line.
    static QByteArray headerBlock(const BrowserStream &stream);
    // The row's type: the media subtype ("mp4", "webm"), "MP3" for MPEG
    // audio as the packet analysis names it, "HLS" or "DASH" for a manifest,
    // else the address's file extension.
    static QString rowType(const BrowserStream &stream);
    // Streams listed whatever their size: manifests, which are small.
    static bool listedAtAnySize(const BrowserStream &stream);

signals:
    // title: the playing page's title as the browser reported it; seen: when it was played.
    void reportArrived(const MediaReport &report, bool anySize, const QString &title, const QDateTime &seen);
    void browserConnectedChanged(bool connected);

private:
    void onStream(const BrowserStream &stream);

    BrowserSession *m_session = nullptr;
    streams::StreamSorter *m_sorter = nullptr;
    bool m_started = false;
};

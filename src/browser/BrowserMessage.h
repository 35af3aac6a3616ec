#pragma once

#include "BrowserStream.h"

#include <QByteArrayView>
#include <QJsonObject>
#include <QList>
#include <QString>

// Bounds of a stream message. Anything longer is refused, not cut.
namespace BrowserLimits {
inline constexpr qsizetype url = 8192;
inline constexpr qsizetype method = 16;
inline constexpr qsizetype headerCount = 128;
inline constexpr qsizetype headerName = 256;
inline constexpr qsizetype headerValue = 16384;
inline constexpr qsizetype headerBytes = 65536;   // all names and values together
inline constexpr qsizetype contentType = 256;
inline constexpr qsizetype contentRange = 128;
inline constexpr qsizetype tabTitle = 512;
} // namespace BrowserLimits

// One message from the extension, read from the bytes of one frame:
//   {"kind":"hello"}
//   {"kind":"stream","url":"https://…","method":"GET","status":206,
//    "requestHeaders":[{"name":"Cookie","value":"…"},…],"contentType":"video/mp4",
//    "contentLength":1000,"contentRange":"bytes 0-999/5000","tabTitle":"…",
//    "pageUrl":"https://…","time":1700000000000}
// and the user's actions, each naming only a web address or streams the
// host was sent before (by the numbers it answered them with):
//   {"kind":"open","url":"https://…"}        a page or link for the download page
//   {"kind":"save","ids":[3,4]}              streams to save as they are
//   {"kind":"media","url":"https://…","requestHeaders":[…],"tabTitle":"…",
//    "pageUrl":"https://…"}                  a media element's address to save
struct BrowserMessage
{
    static constexpr int maxIds = 8;

    enum class Kind { Refused, Hello, Stream, Open, Save, Media };
    Kind kind = Kind::Refused;
    BrowserStream stream;   // Kind::Stream, Kind::Media; Kind::Open: its url alone
    QList<qint64> ids;      // Kind::Save
    QString error;          // Kind::Refused: why, naming fields but never their values

    bool ok() const { return kind != Kind::Refused; }
};

// Checks UTF-8, JSON and every field; never trusts a length it was given.
BrowserMessage parseBrowserMessage(QByteArrayView json);

// The fields of a "stream" object, checked as above.
BrowserMessage parseBrowserStream(const QJsonObject &object);

// The "stream" object parseBrowserStream reads back to the same stream.
QJsonObject browserStreamJson(const BrowserStream &stream);

#include "BrowserCapture.h"

#include "BrowserSession.h"
#include "LogLine.h"
#include "SafeText.h"
#include "ManifestRecognition.h"
#include "RequestHeaders.h"
#include "StreamSorter.h"

#include <QUrl>

namespace {

streams::ManifestFormat manifestOf(const BrowserStream &stream)
{
    const QByteArray address = stream.url.toUtf8();
    const QByteArray type = stream.contentType.toLatin1();
    streams::ResponseFacts facts;
    facts.address = address;
    facts.contentType = type;
    return streams::manifestFormat(facts);
}

// "video/mp4; codecs=…" gives "video/mp4".
QString bareType(const QString &contentType)
{
    return contentType.section(QLatin1Char(';'), 0, 0).trimmed().toLower();
}

// The extension of the address's last path segment, when it looks like one.
QString pathExtension(const QString &url)
{
    const QString path = QUrl(url).path();
    const QString name = path.section(QLatin1Char('/'), -1);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot < 0)
        return QString();
    const QString extension = name.mid(dot + 1).toLower();
    if (extension.isEmpty() || extension.size() > 5)
        return QString();
    for (const QChar c : extension)
        if (!c.isLetterOrNumber() || c.unicode() > 0x7f)
            return QString();
    return extension;
}

} // namespace

BrowserCapture::BrowserCapture(const QString &perUserFolder, QObject *parent)
    : QObject(parent), m_session(new BrowserSession(perUserFolder, this))
{
    connect(m_session, &BrowserSession::streamSeen, this, &BrowserCapture::onStream);
    connect(m_session, &BrowserSession::browserConnectedChanged, this, &BrowserCapture::browserConnectedChanged);
}

BrowserCapture::~BrowserCapture() = default;

bool BrowserCapture::start()
{
    if (m_started)
        return isListening();
    m_started = true;
    if (m_session->start()) {
        LOG_DEBUG << "BrowserCapture" << ":" << "listening" << ":" << m_session->serverName();
        return true;
    }
    LOG_WARNING << "BrowserCapture" << ":" << "not listening" << ":" << m_session->errorString();
    return false;
}

bool BrowserCapture::isListening() const
{
    return m_session->isListening();
}

bool BrowserCapture::isBrowserConnected() const
{
    return m_session->isBrowserConnected();
}

void BrowserCapture::onStream(const BrowserStream &stream)
{
    if (m_sorter) {
        const QByteArray address = stream.url.toUtf8();
        const QByteArray type = stream.contentType.toLatin1();
        streams::ResponseFacts facts;
        facts.address = address;
        facts.contentType = type;
        if (!m_sorter->classify(facts).addsRow()) {
            LOG_DEBUG << "BrowserCapture" << ":" << "part of a listed stream" << ":" << SafeText::address(stream.url);
            return;
        }
    }
    const MediaReport made = report(stream);
    LOG_DEBUG << "BrowserCapture" << ":" << SafeText::address(stream.url) << ":" << made.contentType << ":"
              << made.contentLength;
    emit reportArrived(made, listedAtAnySize(stream), stream.tabTitle, stream.seen);
}

MediaReport BrowserCapture::report(const BrowserStream &stream)
{
    const qint64 size = stream.totalLength();
    return {stream.url.toUtf8(), headerBlock(stream), size < 0 ? QByteArray() : QByteArray::number(size),
            rowType(stream).toLatin1()};
}

QByteArray BrowserCapture::headerBlock(const BrowserStream &stream)
{
    const QUrl address(stream.url);
    QByteArray target = address.toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority | QUrl::RemoveFragment);
    if (target.isEmpty())
        target = "/";
    QByteArray block = "GET " + target + " HTTP/1.1\r\n";
    for (const auto &[name, value] : stream.requestHeaders) {
        // HTTP/2's ":authority", ":path" … belong to the browser's framing.
        if (name.startsWith(':') || !RequestHeaders::isReplayed(name))
            continue;
        block += name + ": " + value + "\r\n";
    }
    return block + "\r\n";
}

QString BrowserCapture::rowType(const BrowserStream &stream)
{
    switch (manifestOf(stream)) {
    case streams::ManifestFormat::Hls:
        return QStringLiteral("HLS");
    case streams::ManifestFormat::Dash:
        return QStringLiteral("DASH");
    case streams::ManifestFormat::None:
        break;
    }
    const QString type = bareType(stream.contentType);
    const QString subtype = type.section(QLatin1Char('/'), 1);
    const bool media = type.startsWith(QLatin1String("video/")) || type.startsWith(QLatin1String("audio/"));
    if (media && QStringList{"mpeg", "mp3", "mpeg3", "mpg", "x-mpeg", "x-mp3", "x-mpeg3"}.contains(subtype))
        return QStringLiteral("MP3");
    if (media && !subtype.isEmpty() && subtype.size() <= 16)
        return subtype;
    // A generic type ("application/octet-stream"): the address tells.
    const QString extension = pathExtension(stream.url);
    if (extension == QLatin1String("mp3"))
        return QStringLiteral("MP3");
    return extension.isEmpty() ? QStringLiteral("media") : extension;
}

bool BrowserCapture::listedAtAnySize(const BrowserStream &stream)
{
    return manifestOf(stream) != streams::ManifestFormat::None;
}

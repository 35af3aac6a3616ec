#include "BrowserSave.h"

#include "BrowserCapture.h"
#include "SaveName.h"
#include "StreamText.h"

#include <QDir>
#include <QFileInfo>
#include <QUrl>

namespace {

bool isAudio(const BrowserStream &stream, const QString &type)
{
    static const QStringList audioTypes{"mp3", "m4a", "aac", "ogg", "oga", "opus", "wav", "flac"};
    return stream.contentType.trimmed().startsWith(QLatin1String("audio/"), Qt::CaseInsensitive)
           || audioTypes.contains(type.toLower());
}

} // namespace

namespace BrowserSave {

QString name(const BrowserStream &stream)
{
    const QString title = stream.tabTitle.simplified();
    if (!title.isEmpty())
        return title;
    const QUrl address(stream.url);
    const QString file = QFileInfo(address.path()).completeBaseName();
    return file.isEmpty() ? address.host() : file;
}

JobRequest request(const BrowserStream &stream, const QString &videoFolder, const QString &audioFolder,
                   const std::function<bool(const QString &)> &taken)
{
    JobRequest request;
    request.name = name(stream);
    request.address = QUrl(stream.url);
    request.requestHeader = BrowserCapture::headerBlock(stream);
    const QString type = BrowserCapture::rowType(stream);
    QString suffix;
    if (BrowserCapture::listedAtAnySize(stream)) {
        request.source = JobSource::Manifest;
        request.kind = JobKind::Stream;
        request.selector = streams::formatSelector();
        suffix = QStringLiteral("mp4");
    } else {
        // Saved as it is: an audio job would convert it to MP3.
        request.source = JobSource::Transfer;
        request.kind = JobKind::Video;
        suffix = type == QLatin1String("media") ? SaveName::unknownType() : type.toLower();
    }
    const QString folder = isAudio(stream, type) ? audioFolder : videoFolder;
    const QString base = QDir(folder).filePath(SaveName::cleanBaseName(request.name));
    request.target = base + QLatin1Char('.') + suffix;
    for (int n = 2; (taken(request.target) || QFileInfo::exists(request.target)) && n < 1000; ++n)
        request.target = base + QLatin1Char('-') + QString::number(n) + QLatin1Char('.') + suffix;
    return request;
}

} // namespace BrowserSave

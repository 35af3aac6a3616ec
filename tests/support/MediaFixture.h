#pragma once

// MediaFixture: small real media for tests, served over HTTP on loopback.
//
//   MediaFixture media;                    // or MediaFixture media("127.0.0.7");
//   QVERIFY2(media.start(), qPrintable(media.errorString()));
//   media.url("clip.mp4");                 // http://127.0.0.1:<port>/clip.mp4
//
// start() makes, with ffmpeg, into a temporary folder:
//   clip.mp4  (H.264 + AAC, 320x240, 2 s)   clip.webm (VP8 + Vorbis)
//   clip.mp3  (MP3, 2 s)                   clip.flv  (FLV1 + MP3)
//   page.html    a page titled pageTitle() with one <video src="/clip.mp4">
//   sources.html a page with one <video> of two <source>s (webm, mp4)
// and serves that folder with tests/support/media_server.py on the given
// 127.0.0.x address and a free port. Besides plain paths (with Range
// support) the server knows "throttle/RATE/NAME" (at most RATE bytes per
// second, for runs that must still be going when a test acts) and
// "status/CODE/NAME" (that HTTP status, no body). addFile() puts more files
// into the served folder; requests("GET /page.html") counts the requests
// served so far with that method and path. The server ends with the fixture.

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

class MediaFixture
{
public:
    explicit MediaFixture(const QString &host = QStringLiteral("127.0.0.1"));
    ~MediaFixture();
    MediaFixture(const MediaFixture &) = delete;
    MediaFixture &operator=(const MediaFixture &) = delete;

    bool start();
    QString errorString() const { return m_error; }

    QString host() const { return m_host; }
    quint16 port() const { return m_port; }
    QString url(const QString &path) const;
    QString folder() const { return m_dir.path(); }
    QString filePath(const QString &name) const;
    QByteArray bytes(const QString &name) const;
    bool addFile(const QString &name, const QByteArray &data);
    int requests(const QString &methodAndPath) const;

    static QString pageTitle() { return QStringLiteral("Fixture Clip: Part 2!"); }
    static QStringList mediaNames();
    // ffmpeg / ffprobe / python3 as the tests find them.
    static QString program(const QString &name);
    // The codec names of a file's streams by ffprobe, e.g. ("mp3"); empty
    // when ffprobe cannot read it.
    static QStringList streamCodecs(const QString &file);

private:
    bool makeMedia();
    bool runFfmpeg(const QStringList &arguments);
    bool startServer();

    QString m_host;
    quint16 m_port = 0;
    QTemporaryDir m_dir;
    QProcess m_server;
    QString m_error;
};

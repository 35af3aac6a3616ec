#pragma once

// The one local HTTP(S) server of the tests (media_server.py: see there for paths
// and answers) and small real media: start() makes clip.mp4/.webm/.mp3/.flv (2 s),
// page.html (titled pageTitle(), one <video src="/clip.mp4">) and sources.html.

#include <QByteArray>
#include <QJsonObject>
#include <QProcess>
#include <QSet>
#include <QStringList>
#include <QTemporaryDir>

class MediaFixture
{
public:
    struct Setup
    {
        bool media = true; // false: serve the folder without making media
        bool tls = false;  // also HTTPS, from a CA of this run (caFile())
        QByteArray cookie = {}; // pages set it, other files need it (403 without)
    };

    // One answer, byte for byte.
    struct Route
    {
        enum class Framing { Length, Close, Chunked }; // Length: Content-Length unless a header has one

        QByteArray status = "200 OK";
        QList<QByteArray> headers = {}; // lines without their line end, sent as given
        QByteArray body = {};
        QString file = {};              // or a file of the folder as the body
        Framing framing = Framing::Length;
        int split = -1;                 // head + this many body bytes, a pause, the rest
        int stall = -1;                 // head + this many body bytes, then silence
        int cut = -1;                   // head + this many body bytes, then the close
        int rate = 0;                   // body bytes a second
        qint64 made = 0;                // or this many made-up bytes (-1: endless)
        bool ranges = false;            // a Range request gets 206 and that part of the file; with
                                        // If-Range only when it equals an ETag or Last-Modified line
                                        // of headers, else 200. Without ranges: 200 to a Range request
    };

    explicit MediaFixture(const QString &host = QStringLiteral("127.0.0.1")) : m_host(host) {}
    ~MediaFixture();
    MediaFixture(const MediaFixture &) = delete;
    MediaFixture &operator=(const MediaFixture &) = delete;

    bool start() { return start(Setup{}); }
    bool start(Setup setup);
    QString errorString() const { return m_error; }

    QString host() const { return m_host; }
    quint16 port() const { return m_port; }
    quint16 silentPort() const { return m_silentPort; }
    // An HTTP proxy to loopback alone; proxiedHeads(): the heads it got, in order.
    quint16 proxyPort() const { return m_proxyPort; }
    QList<QByteArray> proxiedHeads() const;
    // The paths the heads ask for (absolute or origin form), from the first-th head on. Sets, not
    // counts; withoutRefetches: without Qt's "Pragma: no-cache" heads, which windows of other tests
    // that capture loopback traffic send when they read again a manifest they saw.
    static QSet<QString> paths(const QList<QByteArray> &heads, qsizetype first = 0, bool withoutRefetches = false);
    QString url(const QString &path) const;
    QString tlsUrl(const QString &path) const;
    QString caFile() const { return m_keys.filePath(QStringLiteral("ca.pem")); }
    QString filePath(const QString &name) const { return m_dir.filePath(name); }
    QByteArray bytes(const QString &name) const;
    bool addFile(const QString &name, const QByteArray &data);
    // A podcast feed (RSS) in the folder: an item per (title, file of this
    // server) as its enclosure, in order; an empty title gives an item without one.
    bool addFeed(const QString &name, const QString &title, const QList<std::pair<QString, QString>> &items);
    // Streams made with ffmpeg in the folder, `seconds` long, with a noisy
    // picture so that segments have a real size:
    //   hls/master.m3u8   master: 1280x720 and 640x360 variants, an audio group
    //   aes/index.m3u8    AES-128 media playlist (640x360 with audio), key aes/key.bin
    //   dash/manifest.mpd video adaptation set of 1280x720 and 640x360, one of audio
    //   onair/p_0.m3u8    40 s of 320x180 with audio in 1 s segments, p_1 its video alone, p_2 its
    //                     audio alone: live as /live/onair/p_N.m3u8
    bool makeStreams(int seconds = 6);
    // What a finished file is made of, in the folder:
    //   six.mp4           6 s of 320x240 with sound, chapters "Opening" (0-3 s) and "Closing"
    //   cover.jpg, en.vtt a picture and English subtitles (two cues)
    //   two.html          titled "Two Clips": six.mp4 with cover.jpg as poster and en.vtt as
    //                     <track kind="subtitles" srclang="en">, then clip.mp4
    //   subs/master.m3u8  HLS of six.mp4 with a WebVTT subtitle group, language "de"
    bool makeFinishing();
    // Routing a path again replaces its answer at once (a new ETag, say).
    // Plain files carry a strong ETag and Last-Modified and honour If-Range.
    bool route(const QString &path, const Route &route);
    // Requests served so far with that method and target ("GET /page.html").
    int requests(const QString &methodAndPath) const;
    // The request heads as they arrived, all or those for one path (query aside).
    QList<QByteArray> requestHeads(const QString &path = {}) const;
    // The values of one header of a head, any case, in order.
    static QList<QByteArray> headerValues(const QByteArray &head, const QByteArray &name);
    static QByteArray pattern(qsizetype size);

    static QString pageTitle() { return QStringLiteral("Fixture Clip: Part 2!"); }
    // ffmpeg / ffprobe / python3 as the tests find them.
    static QString program(const QString &name);
    // A program run to its end: exit code (-1 when it did not end well), output (stderr too when merged).
    struct Ran
    {
        int exitCode = -1;
        QString output;
        QString lastLine() const { return output.trimmed().section(QLatin1Char('\n'), -1); }
    };
    static Ran execute(const QString &program, const QStringList &arguments,
                       const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment(),
                       bool merged = true);
    // Whether a live process's command line holds the text (orphans too).
    static bool processMentions(const QString &text);
    // The codec names of a file's streams by ffprobe, empty when unreadable.
    static QStringList streamCodecs(const QString &file);

private:
    bool makeMedia();
    bool run(const QString &program, const QStringList &arguments);
    bool startServer(const Setup &setup);

    QString m_host;
    quint16 m_port = 0;
    quint16 m_silentPort = 0;
    quint16 m_tlsPort = 0;
    quint16 m_proxyPort = 0;
    QTemporaryDir m_dir;
    QTemporaryDir m_keys;
    QProcess m_server;
    QJsonObject m_routes;
    int m_bodies = 0;
    QString m_error;
};

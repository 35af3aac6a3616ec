#include "MediaFixture.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSaveFile>
#include <QStandardPaths>
#include <QUrl>

#include <algorithm>

namespace {

QString slashed(const QString &path)
{
    return path.startsWith(QLatin1Char('/')) ? path : QString(QLatin1Char('/') + path);
}

} // namespace

MediaFixture::~MediaFixture()
{
    // Closing its input is the server's cue to leave.
    m_server.closeWriteChannel();
    if (m_server.state() != QProcess::NotRunning && !m_server.waitForFinished(3000)) {
        m_server.kill();
        m_server.waitForFinished(3000);
    }
}

QString MediaFixture::program(const QString &name)
{
    const QString system = QStandardPaths::findExecutable(name, {QStringLiteral("/usr/bin")});
    return system.isEmpty() ? QStandardPaths::findExecutable(name) : system;
}

bool MediaFixture::start(Setup setup)
{
    m_error = QStringLiteral("no temporary folder");
    return m_dir.isValid() && m_keys.isValid() && (!setup.media || makeMedia()) && startServer(setup);
}

QString MediaFixture::url(const QString &path) const
{
    return QStringLiteral("http://%1:%2%3").arg(m_host).arg(m_port).arg(slashed(path));
}

QString MediaFixture::tlsUrl(const QString &path) const
{
    return QStringLiteral("https://%1:%2%3").arg(m_host).arg(m_tlsPort).arg(slashed(path));
}

QByteArray MediaFixture::bytes(const QString &name) const
{
    QFile file(filePath(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool MediaFixture::addFile(const QString &name, const QByteArray &data)
{
    QFile file(filePath(name));
    return QDir().mkpath(QFileInfo(file).path()) && file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

bool MediaFixture::addFeed(const QString &name, const QString &title, const QList<std::pair<QString, QString>> &items)
{
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<rss version=\"2.0\"><channel><title>"
                     + title.toHtmlEscaped().toUtf8() + "</title>\n";
    for (const auto &[itemTitle, file] : items) {
        xml += "<item>";
        if (!itemTitle.isEmpty())
            xml += "<title>" + itemTitle.toHtmlEscaped().toUtf8() + "</title>";
        xml += "<enclosure url=\"" + url(file).toUtf8() + "\" type=\"application/octet-stream\"/></item>\n";
    }
    return addFile(name, xml + "</channel></rss>\n");
}

bool MediaFixture::route(const QString &path, const Route &route)
{
    QJsonArray headers;
    for (const QByteArray &line : route.headers)
        headers.append(QString::fromLatin1(line)); // the server reads each character as one byte
    static const char *const framings[] = {"length", "close", "chunked"};
    QString file = route.file;
    if (!route.body.isEmpty() && !addFile(file = QStringLiteral("route-body-%1").arg(++m_bodies), route.body))
        return false;
    m_routes.insert(slashed(path), QJsonObject{{"status", QString::fromLatin1(route.status)}, {"headers", headers},
                                               {"file", file}, {"framing", framings[int(route.framing)]},
                                               {"split", route.split}, {"stall", route.stall}, {"cut", route.cut},
                                               {"rate", route.rate}, {"made", route.made},
                                               {"ranges", route.ranges}});
    // The server reads the table at every request: it must never see half of it.
    QSaveFile table(filePath(QStringLiteral("routes.json")));
    return table.open(QIODevice::WriteOnly) && table.write(QJsonDocument(m_routes).toJson()) > 0 && table.commit();
}

int MediaFixture::requests(const QString &methodAndPath) const
{
    const QByteArray wanted = methodAndPath.toUtf8() + ' ';
    const QList<QByteArray> heads = requestHeads();
    return int(std::count_if(heads.cbegin(), heads.cend(), [&](const QByteArray &h) { return h.startsWith(wanted); }));
}

QList<QByteArray> MediaFixture::requestHeads(const QString &path) const
{
    QList<QByteArray> heads;
    for (int number = 1; QFileInfo::exists(filePath(QStringLiteral("heads/%1").arg(number))); ++number) {
        const QByteArray head = bytes(QStringLiteral("heads/%1").arg(number));
        if (path.isEmpty() || QUrl::fromEncoded(head.split(' ').value(1)).path() == slashed(path))
            heads.append(head);
    }
    return heads;
}

QList<QByteArray> MediaFixture::proxiedHeads() const
{
    QList<QByteArray> heads;
    for (int number = 1; QFileInfo::exists(filePath(QStringLiteral("proxied/%1").arg(number))); ++number)
        heads.append(bytes(QStringLiteral("proxied/%1").arg(number)));
    return heads;
}

QSet<QString> MediaFixture::paths(const QList<QByteArray> &heads, qsizetype first, bool withoutRefetches)
{
    QSet<QString> found;
    for (const QByteArray &head : heads.mid(first))
        if (!withoutRefetches || !headerValues(head, "Pragma").contains("no-cache"))
            found.insert(QUrl::fromEncoded(head.split(' ').value(1)).path());
    return found;
}

QList<QByteArray> MediaFixture::headerValues(const QByteArray &head, const QByteArray &name)
{
    QList<QByteArray> values;
    for (const QByteArray &line : head.split('\n').mid(1)) {
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).trimmed().compare(name, Qt::CaseInsensitive) == 0)
            values.append(line.mid(colon + 1).trimmed());
    }
    return values;
}

QByteArray MediaFixture::pattern(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator random(2463534242u); // the same bytes every time
    for (char &c : bytes)
        c = char(random.generate());
    return bytes;
}

MediaFixture::Ran MediaFixture::execute(const QString &program, const QStringList &arguments,
                                        const QProcessEnvironment &environment, bool merged)
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(merged ? QProcess::MergedChannels : QProcess::SeparateChannels);
    process.start(program, arguments);
    if (!process.waitForFinished(180000) || process.exitStatus() != QProcess::NormalExit)
        return {};
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput())};
}

bool MediaFixture::run(const QString &name, const QStringList &arguments)
{
    const Ran ran = execute(program(name), arguments);
    m_error = name + QStringLiteral(" failed: ") + ran.output;
    return ran.exitCode == 0;
}

bool MediaFixture::makeMedia()
{
    const QStringList quiet{"-nostdin", "-loglevel", "error", "-y"};
    const QStringList video{"-f", "lavfi", "-i", "testsrc=size=320x240:rate=25:duration=2"};
    const QStringList audio{"-f", "lavfi", "-i", "sine=frequency=440:duration=2"};
    const QStringList av = quiet + video + audio;
    const QString page = QStringLiteral("<!DOCTYPE html>\n<html><head><title>%1</title></head>\n<body><video src="
                                        "\"/clip.mp4\" width=\"320\" height=\"240\" controls></video></body></html>\n")
                             .arg(pageTitle());
    return run("ffmpeg", av + QStringList{"-c:v", "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p", "-c:a",
                                          "aac", "-shortest", filePath("clip.mp4")})
           && run("ffmpeg", av + QStringList{"-c:v", "libvpx", "-deadline", "realtime", "-c:a", "libvorbis",
                                             "-shortest", filePath("clip.webm")})
           && run("ffmpeg", quiet + audio + QStringList{"-c:a", "libmp3lame", "-b:a", "64k", filePath("clip.mp3")})
           && run("ffmpeg", av + QStringList{"-c:v", "flv1", "-c:a", "libmp3lame", "-ar", "44100", "-shortest",
                                             filePath("clip.flv")})
           && addFile("page.html", page.toUtf8())
           && addFile("sources.html", "<!DOCTYPE html>\n<html><head><title>Two Sources</title></head>\n<body><video "
                                      "controls><source src=\"/clip.webm\" type=\"video/webm\"><source "
                                      "src=\"/clip.mp4\" type=\"video/mp4\"></video></body></html>\n");
}

bool MediaFixture::makeStreams(int seconds)
{
    const QString length = QString::number(seconds);
    const QStringList in{"-nostdin", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
                         "testsrc=size=1280x720:rate=25,noise=alls=20:allf=t", "-f", "lavfi", "-i", "sine=f=440",
                         "-t", length};
    const QStringList h264{"-c:v", "libx264", "-preset", "ultrafast", "-g", "25", "-pix_fmt", "yuv420p",
                           "-c:a", "aac", "-b:a", "64k"};
    const QStringList small{"-vf", "scale=640:360"};
    const QStringList twoSizes{"-filter_complex", "[0:v]split=2[a][b];[b]scale=640:360[c]", "-map", "[a]", "-map", "[c]",
                               "-map", "1:a"};
    for (const char *folder : {"hls", "aes", "dash", "onair"})
        if (!QDir(m_dir.path()).mkpath(folder))
            return false;
    const QByteArray key = QByteArray::fromHex("00112233445566778899aabbccddeeff");
    return addFile("aes/key.bin", key)
           && addFile("aes/keyinfo", "key.bin\n" + filePath("aes/key.bin").toUtf8() + "\n")
           && run("ffmpeg", in + twoSizes + h264
                                + QStringList{"-f", "hls", "-hls_time", "2", "-hls_playlist_type", "vod",
                                              "-master_pl_name", "master.m3u8", "-var_stream_map",
                                              "v:0,agroup:aud v:1,agroup:aud a:0,agroup:aud", "-hls_segment_filename",
                                              filePath("hls/s_%v_%03d.ts"), filePath("hls/p_%v.m3u8")})
           && run("ffmpeg", in + small + h264
                                + QStringList{"-f", "hls", "-hls_time", "2", "-hls_playlist_type", "vod",
                                              "-hls_key_info_file", filePath("aes/keyinfo"),
                                              "-hls_segment_filename", filePath("aes/s_%03d.ts"),
                                              filePath("aes/index.m3u8")})
           && run("ffmpeg", in + twoSizes + h264
                                + QStringList{"-f", "dash", "-seg_duration", "2", "-adaptation_sets",
                                              "id=0,streams=v id=1,streams=a", filePath("dash/manifest.mpd")})
           // Small and long: what the server sends as a live stream.
           && run("ffmpeg", QStringList{"-nostdin", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
                                        "testsrc=size=320x180:rate=25,noise=alls=20:allf=t", "-f", "lavfi", "-i",
                                        "sine=f=440", "-t", "40", "-map", "0:v", "-map", "1:a", "-map", "0:v", "-map", "1:a"}
                                + h264
                                + QStringList{"-f", "hls", "-hls_time", "1", "-hls_playlist_type", "vod",
                                              "-var_stream_map", "v:0,a:0 v:1 a:1", "-hls_segment_filename",
                                              filePath("onair/s_%v_%03d.ts"), filePath("onair/p_%v.m3u8")});
}

bool MediaFixture::makeFinishing()
{
    const QStringList quiet{"-nostdin", "-loglevel", "error", "-y"};
    const QByteArray cues = "WEBVTT\n\n00:00.000 --> 00:02.000\nHello\n\n00:02.000 --> 00:04.000\nWorld\n";
    const QByteArray chapters = ";FFMETADATA1\n[CHAPTER]\nTIMEBASE=1/1000\nSTART=0\nEND=3000\ntitle=Opening\n"
                                "[CHAPTER]\nTIMEBASE=1/1000\nSTART=3000\nEND=6000\ntitle=Closing\n";
    return addFile("chapters.txt", chapters) && addFile("en.vtt", cues) && addFile("subs/de.vtt", cues)
           && run("ffmpeg", quiet + QStringList{"-f", "lavfi", "-i", "testsrc=size=320x240:rate=25:duration=6", "-f",
                                                "lavfi", "-i", "sine=frequency=440:duration=6", "-i",
                                                filePath("chapters.txt"), "-map", "0", "-map", "1", "-map_chapters", "2",
                                                "-c:v", "libx264", "-preset", "ultrafast", "-g", "25", "-pix_fmt",
                                                "yuv420p", "-c:a", "aac", "-shortest", filePath("six.mp4")})
           && run("ffmpeg", quiet + QStringList{"-f", "lavfi", "-i", "color=c=red:size=160x90", "-frames:v", "1",
                                                filePath("cover.jpg")})
           && run("ffmpeg", quiet + QStringList{"-i", filePath("six.mp4"), "-c", "copy", "-f", "hls", "-hls_time", "2",
                                                "-hls_playlist_type", "vod", filePath("subs/v.m3u8")})
           && addFile("subs/de.m3u8", "#EXTM3U\n#EXT-X-TARGETDURATION:6\n#EXT-X-PLAYLIST-TYPE:VOD\n#EXTINF:6.0,\n"
                                      "de.vtt\n#EXT-X-ENDLIST\n")
           && addFile("subs/master.m3u8", "#EXTM3U\n#EXT-X-MEDIA:TYPE=SUBTITLES,GROUP-ID=\"subs\",NAME=\"Deutsch\","
                                          "LANGUAGE=\"de\",AUTOSELECT=YES,URI=\"de.m3u8\"\n#EXT-X-STREAM-INF:BANDWIDTH="
                                          "800000,RESOLUTION=320x240,CODECS=\"avc1.42c00d,mp4a.40.2\",SUBTITLES=\"subs\"\n"
                                          "v.m3u8\n")
           && addFile("two.html", "<!DOCTYPE html>\n<html><head><title>Two Clips</title></head>\n<body><video "
                                  "src=\"/six.mp4\" poster=\"/cover.jpg\" controls><track kind=\"subtitles\" "
                                  "srclang=\"en\" src=\"/en.vtt\"></video>\n<video src=\"/clip.mp4\" controls>"
                                  "</video></body></html>\n")
           // The first of them alone: one video of a page, with its subtitles and picture.
           && addFile("one.html", "<!DOCTYPE html>\n<html><head><title>One Clip</title></head>\n<body><video "
                                  "src=\"/six.mp4\" poster=\"/cover.jpg\" controls><track kind=\"subtitles\" "
                                  "srclang=\"en\" src=\"/en.vtt\"></video></body></html>\n");
}

bool MediaFixture::startServer(const Setup &setup)
{
    QStringList arguments{QStringLiteral(VIDARRO_TEST_SUPPORT_DIR "/media_server.py"), m_dir.path(), m_host, "0"};
    if (setup.tls)
        arguments << "--tls" << m_keys.path(); // certificates made there, ca.pem among them
    if (!setup.cookie.isEmpty())
        arguments << "--cookie" << QString::fromLatin1(setup.cookie);
    m_server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_server.start(program("python3"), arguments);
    QByteArray line;
    while (!line.contains('\n') && m_server.waitForReadyRead(20000))
        line += m_server.readAllStandardOutput();
    const QList<QByteArray> words = line.simplified().split(' '); // "PORT <n> SILENT <s>[ TLS <t>] PROXY <p>"
    const auto port = [&words](const QByteArray &name) { return quint16(words.value(words.indexOf(name) + 1).toUInt()); };
    m_port = port("PORT");
    m_silentPort = port("SILENT");
    m_tlsPort = setup.tls ? port("TLS") : 0;
    m_proxyPort = port("PROXY");
    m_error = QStringLiteral("the media server did not start: ") + m_server.errorString();
    return m_port && m_silentPort && (!setup.tls || m_tlsPort);
}

bool MediaFixture::processMentions(const QString &text)
{
    const QStringList pids = QDir(QStringLiteral("/proc")).entryList({QStringLiteral("[1-9]*")}, QDir::Dirs);
    return std::any_of(pids.cbegin(), pids.cend(), [&](const QString &pid) {
        QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(pid));
        return cmdline.open(QIODevice::ReadOnly) && cmdline.readAll().contains(text.toUtf8());
    });
}

QStringList MediaFixture::streamCodecs(const QString &file)
{
    const Ran probe = execute(program(QStringLiteral("ffprobe")),
                              {"-v", "error", "-show_entries", "stream=codec_name", "-of",
                               "default=noprint_wrappers=1:nokey=1", file},
                              QProcessEnvironment::systemEnvironment(), false);
    return probe.exitCode == 0 ? probe.output.split('\n', Qt::SkipEmptyParts) : QStringList();
}

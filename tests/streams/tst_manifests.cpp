// The HLS and DASH readers over streams that ffmpeg makes during the test,
// and over hand-made hostile manifests; the row text, tooltip and format
// choices of each.

#include <QtTest>

#include "StreamInfo.h"
#include "StreamText.h"

using namespace streams;

namespace {

const QUrl RealBase(QStringLiteral("http://127.0.0.2/s/"));
const QUrl HostileBase(QStringLiteral("http://media.example/live/master.m3u8"));

QString errorName(ManifestError e)
{
    static const char *const names[] = {"None",          "Empty",        "TooLarge",  "NotManifest",
                                        "TooManyRenditions", "TooManySegments", "TooDeep", "DocumentType",
                                        "BadXml",        "NestedMaster"};
    return QString::fromLatin1(names[int(e)]);
}

// The facts a user would notice, in one line.
QString describe(const ManifestResult &r)
{
    if (!r.ok())
        return u"error=" + errorName(r.error);
    const StreamInfo &i = *r.info;
    static const char *const protection[] = {"none", "aes128", "drm"};
    QStringList f{i.kind == StreamKind::Hls ? QStringLiteral("HLS") : QStringLiteral("DASH"),
                  i.master ? QStringLiteral("master") : QStringLiteral("media"),
                  QStringLiteral("variants=%1 audio=%2").arg(i.variants.size()).arg(i.audio.size()),
                  QStringLiteral("segments=%1/%2").arg(i.segmentCount).arg(i.segments.size()),
                  u"duration=" + (i.durationSeconds ? QString::number(*i.durationSeconds, 'f', 1) : QStringLiteral("?")),
                  QStringLiteral("live=%1 ranges=%2").arg(i.live).arg(i.byteRanges),
                  u"enc=" + QString::fromLatin1(protection[int(i.encryption)])};
    if (i.encryption == Encryption::Aes128)
        f << u"key=" + i.keyAddress.toString();
    if (i.encryption == Encryption::Drm)
        f << u"format=" + i.keyFormat;
    if (const Variant *best = bestVariant(i))
        f << u"best=" + best->address.toString() + u' ' + best->codecs;
    else if (!i.segments.isEmpty())
        f << u"first=" + i.segments.first().toString();
    return f.join(u' ');
}

QByteArray repeated(const QByteArray &head, const QByteArray &entry, int count, const QByteArray &tail = {})
{
    QByteArray body = head;
    for (int n = 0; n < count; ++n)
        body += QByteArray(entry).replace("%n", QByteArray::number(n));
    return body + tail;
}

bool runFfmpeg(const QString &dir, const QStringList &arguments)
{
    QProcess ffmpeg;
    ffmpeg.setWorkingDirectory(dir);
    ffmpeg.start(QStringLiteral("ffmpeg"), QStringList{"-v", "error", "-y"} + arguments);
    const bool done = ffmpeg.waitForFinished(120000);
    if (!done || ffmpeg.exitStatus() != QProcess::NormalExit || ffmpeg.exitCode() != 0)
        qWarning() << ffmpeg.readAllStandardError();
    return done && ffmpeg.exitStatus() == QProcess::NormalExit && ffmpeg.exitCode() == 0;
}

} // namespace

class TestManifests : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void read_data();
    void read();
    void lengthText_data();
    void lengthText();

private:
    QByteArray made(const QString &name) const;
    QTemporaryDir m_dir;
};

void TestManifests::initTestCase()
{
    QVERIFY(m_dir.isValid());
    const QStringList source{"-f", "lavfi", "-i", "testsrc=size=1280x720:rate=25:duration=4",
                             "-f", "lavfi", "-i", "sine=duration=4"};
    const QStringList twoVideosOneAudio{"-map", "0:v", "-map", "0:v", "-map", "1:a", "-c:v", "libx264",
                                        "-preset", "ultrafast", "-g", "25", "-s:v:0", "1280x720", "-b:v:0",
                                        "1500k", "-s:v:1", "640x360", "-b:v:1", "400k", "-c:a", "aac"};
    QVERIFY(runFfmpeg(m_dir.path(), source + twoVideosOneAudio + QStringList{
        "-f", "hls", "-hls_time", "1", "-hls_playlist_type", "vod", "-master_pl_name", "master.m3u8",
        "-hls_segment_filename", "v%v_%d.ts", "-var_stream_map",
        "v:0,agroup:aud v:1,agroup:aud a:0,agroup:aud,default:yes", "v%v.m3u8"}));
    QVERIFY(runFfmpeg(m_dir.path(), source + twoVideosOneAudio + QStringList{
        "-f", "dash", "-adaptation_sets", "id=0,streams=v id=1,streams=a", "stream.mpd"}));
    QFile key(m_dir.filePath(QStringLiteral("enc.key")));
    QVERIFY(key.open(QIODevice::WriteOnly) && key.write(QByteArray(16, 'k')) == 16);
    key.close();
    QFile info(m_dir.filePath(QStringLiteral("key.info")));
    QVERIFY(info.open(QIODevice::WriteOnly));
    info.write("enc.key\n" + key.fileName().toUtf8() + '\n');
    info.close();
    QVERIFY(runFfmpeg(m_dir.path(), source.mid(0, 4) + QStringList{
        "-c:v", "libx264", "-preset", "ultrafast", "-g", "25", "-s", "320x240", "-f", "hls", "-hls_time", "1",
        "-hls_playlist_type", "vod", "-hls_key_info_file", "key.info", "enc.m3u8"}));
}

QByteArray TestManifests::made(const QString &name) const
{
    QFile file(m_dir.filePath(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("missing " + name.toUtf8());
}

void TestManifests::read_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QByteArray>("variant");   // read as the second level when not empty
    QTest::addColumn<QString>("summary");
    QTest::addColumn<QString>("row");
    QTest::addColumn<QString>("choices");

    const QString best = QStringLiteral(" best=http://127.0.0.2/s/v0.m3u8 avc1.");
    QTest::newRow("ffmpeg hls master") << made("master.m3u8") << QByteArray()
        << "HLS master variants=2 audio=1 segments=0/0 duration=? live=0 ranges=0 enc=none" + best
        << "HLS 1280x720, 2 qualities"
        << "Best (1280x720)=bv*+ba/b|1280x720=bv*[height<=720]+ba/b|640x360=bv*[height<=360]+ba/b";
    QTest::newRow("ffmpeg hls master and variant") << made("master.m3u8") << made("v0.m3u8")
        << "HLS master variants=2 audio=1 segments=4/4 duration=4.0 live=0 ranges=0 enc=none" + best
        << "HLS 1280x720, 2 qualities, 0:04" << QString();
    QTest::newRow("ffmpeg hls aes-128") << made("enc.m3u8") << QByteArray()
        << "HLS media variants=0 audio=0 segments=4/4 duration=4.0 live=0 ranges=0 enc=aes128 "
           "key=http://127.0.0.2/s/enc.key first=http://127.0.0.2/s/enc0.ts"
        << "HLS, 0:04" << "Best=bv*+ba/b";
    QTest::newRow("ffmpeg dash") << made("stream.mpd") << QByteArray()
        << "DASH media variants=2 audio=1 segments=0/0 duration=4.0 live=0 ranges=0 enc=none best= avc1."
        << "DASH 1280x720, 2 qualities, 0:04" << QString();

    const QByteArray master = "#EXTM3U\n#EXT-X-MEDIA:TYPE=AUDIO,GROUP-ID=\"a\",NAME=\"en, main\",URI=\"a/en.m3u8\"\n";
    QTest::newRow("empty") << QByteArray() << QByteArray() << "error=Empty" << "" << "";
    QTest::newRow("byte-order mark only") << QByteArray("\xEF\xBB\xBF \r\n") << QByteArray() << "error=Empty" << "" << "";
    QTest::newRow("web page") << QByteArray("<html><body>") << QByteArray() << "error=NotManifest" << "" << "";
    QTest::newRow("too large") << QByteArray("#EXTM3U\n").leftJustified(MaxManifestBytes + 1, '\n') << QByteArray()
        << "error=TooLarge" << "" << "";
    QTest::newRow("BOM, CRLF, quoted commas, relative and absolute")
        << QByteArray("\xEF\xBB\xBF#EXTM3U\r\n#EXT-X-STREAM-INF:BANDWIDTH=800000,RESOLUTION=640x360\r\nlow/i.m3u8\r\n"
                      "#EXT-X-STREAM-INF:CODECS=\"avc1.4d401f,mp4a.40.2\",RESOLUTION=1920x1080,BANDWIDTH=5000000\r\n"
                      "https://cdn.example/hi/i.m3u8?t=1\r\n") << QByteArray()
        << "HLS master variants=2 audio=0 segments=0/0 duration=? live=0 ranges=0 enc=none "
           "best=https://cdn.example/hi/i.m3u8?t=1 avc1.4d401f,mp4a.40.2"
        << "HLS 1920x1080, 2 qualities" << "Best (1920x1080)=bv*+ba/b|1920x1080=bv*[height<=1080]+ba/b|"
                                           "640x360=bv*[height<=360]+ba/b";
    QTest::newRow("missing attributes, audio group with comma")
        << master + "#EXT-X-STREAM-INF\nv.m3u8\n#EXT-X-STREAM-INF:RESOLUTION=x,BANDWIDTH=-1\n/w.m3u8\n" << QByteArray()
        << "HLS master variants=2 audio=1 segments=0/0 duration=? live=0 ranges=0 enc=none "
           "best=http://media.example/live/v.m3u8 " << "HLS, 2 qualities" << "Best=bv*+ba/b";
    QTest::newRow("local file addresses refused")
        << QByteArray("#EXTM3U\n#EXT-X-STREAM-INF:BANDWIDTH=1\nfile:///etc/passwd\n") << QByteArray()
        << "HLS master variants=1 audio=0 segments=0/0 duration=? live=0 ranges=0 enc=none best= "
        << "HLS, 1 quality" << QString();
    QTest::newRow("1000 renditions") << repeated(master, "#EXT-X-STREAM-INF:BANDWIDTH=%n000\nv%n.m3u8\n", 999)
        << QByteArray() << "HLS master variants=999 audio=1 segments=0/0 duration=? live=0 ranges=0 enc=none "
                           "best=http://media.example/live/v998.m3u8 " << "HLS 998 kbit/s, 999 qualities" << "";
    QTest::newRow("10000 variants") << repeated("#EXTM3U\n", "#EXT-X-STREAM-INF:BANDWIDTH=%n\nv%n.m3u8\n", 10000)
        << QByteArray() << "error=TooManyRenditions" << "" << "";
    QTest::newRow("100001 segments") << repeated("#EXTM3U\n", "#EXTINF:1,\ns.ts\n", 100001) << QByteArray()
        << "error=TooManySegments" << "" << "";
    QTest::newRow("huge line, bad durations, live")
        << "#EXTM3U\n#EXTINF:2.5,\na.ts\n#EXTINF:nan,\n" + QByteArray(100000, 'x') + "\n#EXTINF:-4,\nb.ts\n"
           "#EXTINF:1e308,\nc.ts\n#EXTINF:3,title, with comma\nd.ts\n" << QByteArray()
        << "HLS media variants=0 audio=0 segments=5/4 duration=5.5 live=1 ranges=0 enc=none "
           "first=http://media.example/live/a.ts" << "HLS, live" << "";
    QTest::newRow("byte ranges of one file")
        << QByteArray("#EXTM3U\n#EXT-X-MAP:URI=\"/v/all.mp4\",BYTERANGE=\"720@0\"\n#EXTINF:4,\n#EXT-X-BYTERANGE:1000@720\n"
                      "/v/all.mp4\n#EXTINF:4,\n#EXT-X-BYTERANGE:1000\n/v/all.mp4\n#EXT-X-ENDLIST\n") << QByteArray()
        << "HLS media variants=0 audio=0 segments=2/1 duration=8.0 live=0 ranges=1 enc=none "
           "first=http://media.example/v/all.mp4" << "HLS, 0:08" << "";
    QTest::newRow("sample-aes with identity key")
        << QByteArray("#EXTM3U\n#EXT-X-KEY:METHOD=SAMPLE-AES,URI=\"k\"\n#EXTINF:1,\ns.ts\n#EXT-X-ENDLIST\n")
        << QByteArray() << "HLS media variants=0 audio=0 segments=1/1 duration=1.0 live=0 ranges=0 enc=aes128 "
                           "key=http://media.example/live/k first=http://media.example/live/s.ts" << "HLS, 0:01" << "";
    QTest::newRow("DRM-marked playlist")
        << QByteArray("#EXTM3U\n#EXT-X-KEY:METHOD=AES-128,URI=\"k\"\n#EXT-X-KEY:METHOD=SAMPLE-AES,URI=\"skd://x\","
                      "KEYFORMAT=\"com.apple.streamingkeydelivery\"\n#EXTINF:1,\ns.ts\n") << QByteArray()
        << "HLS media variants=0 audio=0 segments=1/1 duration=1.0 live=1 ranges=0 enc=drm "
           "format=com.apple.streamingkeydelivery first=http://media.example/live/s.ts"
        << LockMark + "HLS, live" << "";
    QTest::newRow("master over a master") << master + "#EXT-X-STREAM-INF:BANDWIDTH=1\nv.m3u8\n" << master + "#EXT-X-STREAM-INF:BANDWIDTH=1\nv.m3u8\n"
        << "error=NestedMaster" << "" << "";

    const QByteArray mpd = "<?xml version=\"1.0\"?><MPD xmlns=\"urn:mpeg:dash:schema:mpd:2011\" ";
    QTest::newRow("DRM-marked MPD, live, BaseURL")
        << mpd + "type=\"dynamic\"><BaseURL>https://cdn.example/d/</BaseURL><Period><AdaptationSet mimeType=\"video/mp4\">"
                 "<ContentProtection schemeIdUri=\"urn:mpeg:dash:mp4protection:2011\" value=\"cenc\"/>"
                 "<ContentProtection schemeIdUri=\"urn:uuid:edef8ba9-79d6-4ace-a3c8-27dcd51d21ed\"/>"
                 "<Representation id=\"v\" width=\"1920\" height=\"1080\" bandwidth=\"6000000\"><BaseURL>v/</BaseURL>"
                 "</Representation></AdaptationSet></Period></MPD>" << QByteArray()
        << "DASH media variants=1 audio=0 segments=0/0 duration=? live=1 ranges=0 enc=drm "
           "format=urn:uuid:edef8ba9-79d6-4ace-a3c8-27dcd51d21ed best=https://cdn.example/d/v/ "
        << LockMark + "DASH 1920x1080, 1 quality, live" << "";
    QTest::newRow("MPD periods, segment list")
        << mpd + "><Period duration=\"PT1M\"><AdaptationSet contentType=\"video\" width=\"640\" height=\"360\">"
                 "<Representation id=\"a\"><SegmentList><SegmentURL media=\"s1.m4s\"/><SegmentURL media=\"s2.m4s\"/>"
                 "</SegmentList></Representation></AdaptationSet></Period><Period duration=\"P1DT1H0.5S\">"
                 "<AdaptationSet contentType=\"video\"><Representation id=\"a\" width=\"640\" height=\"360\"/>"
                 "</AdaptationSet></Period></MPD>" << QByteArray()
        << "DASH media variants=1 audio=0 segments=2/2 duration=90060.5 live=0 ranges=0 enc=none best= "
        << "DASH 640x360, 1 quality, 25:01:01" << "";
    QTest::newRow("entities in the MPD")
        << QByteArray("<?xml version=\"1.0\"?><!DOCTYPE MPD [<!ENTITY a \"aaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;\">]>"
                      "<MPD xmlns=\"urn:mpeg:dash:schema:mpd:2011\"><BaseURL>&b;</BaseURL></MPD>") << QByteArray()
        << "error=DocumentType" << "" << "";
    QTest::newRow("undeclared entity") << mpd + "><BaseURL>&x;</BaseURL></MPD>" << QByteArray()
        << "error=BadXml" << "" << "";
    QTest::newRow("truncated MPD") << mpd + "><Period><AdaptationSet" << QByteArray() << "error=BadXml" << "" << "";
    QTest::newRow("deep MPD") << mpd + '>' + QByteArray("<a>").repeated(40) << QByteArray() << "error=TooDeep" << "" << "";
    QTest::newRow("other root") << QByteArray("<x xmlns=\"urn:mpeg:dash:schema:mpd:2011\"/>") << QByteArray()
        << "error=NotManifest" << "" << "";
}

void TestManifests::read()
{
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, variant);
    QFETCH(QString, summary);
    const bool real = QByteArray(QTest::currentDataTag()).startsWith("ffmpeg");
    const QUrl base = real ? RealBase.resolved(QUrl(QStringLiteral("m"))) : HostileBase;
    ManifestResult result = parseManifest(body, base);
    if (!variant.isEmpty() && result.ok())
        result = combineLevels(*result.info, parseManifest(variant, base));
    const QString text = describe(result);
    QVERIFY2(text.startsWith(summary), qPrintable(text));
    if (!result.ok())
        return;
    const StreamInfo &info = *result.info;
    QTEST(rowText(info), "row");

    // The tooltip: the row, each quality and audio track, the protection, the address.
    const QStringList tip = toolTip(info, base).split(u'\n');
    QCOMPARE(tip.first(), rowText(info));
    QCOMPARE(tip.last(), base.toDisplayString());
    QCOMPARE(tip.size(), 2 + info.variants.size() + info.audio.size() + (info.encryption != Encryption::None));

    QFETCH(QString, choices);
    QStringList offered;
    for (const QualityChoice &c : qualityChoices(info))
        offered << c.label + u'=' + c.selector;
    if (!choices.isEmpty())
        QCOMPARE(offered.join(u'|'), choices);

    // What ffmpeg wrote is what the reader names, and nothing else.
    if (real) {
        QList<QUrl> named = info.segments;
        for (const Variant &v : info.variants)
            named << v.address;
        for (const AudioTrack &a : info.audio)
            named << a.address;
        named << info.keyAddress;
        for (const QUrl &address : std::as_const(named))
            if (!address.isEmpty())
                QVERIFY2(QFile::exists(m_dir.filePath(address.fileName())), qPrintable(address.toString()));
    }
}

void TestManifests::lengthText_data()
{
    QTest::addColumn<double>("seconds");
    QTest::addColumn<QString>("text");
    QTest::newRow("zero") << 0.0 << "0:00";
    QTest::newRow("rounded") << 6.006 << "0:06";
    QTest::newRow("rounds up to a minute") << 59.6 << "1:00";
    QTest::newRow("hour") << 3600.0 << "1:00:00";
    QTest::newRow("hours") << 37230.0 << "10:20:30";
    QTest::newRow("not a number") << qQNaN() << "0:00";
    QTest::newRow("negative") << -5.0 << "0:00";
}

void TestManifests::lengthText()
{
    QFETCH(double, seconds);
    QTEST(streams::lengthText(seconds), "text");
}

QTEST_GUILESS_MAIN(TestManifests)
#include "tst_manifests.moc"

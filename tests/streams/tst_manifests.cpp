// The HLS and DASH readers over hand-made and hostile manifests; the row
// text, tooltip and format choices of each. Streams that ffmpeg makes go
// through the real window in tst_streamrows and tst_capturepage.

#include <QtTest>

#include "StreamInfo.h"
#include "StreamText.h"

using namespace streams;

namespace {

const QUrl Base(QStringLiteral("http://media.example/live/master.m3u8"));

const char *const ErrorNames[] = {"None", "Empty", "TooLarge", "NotManifest", "TooManyRenditions",
                                 "TooManySegments", "TooDeep", "DocumentType", "BadXml", "NestedMaster"};

// The facts a user would notice, in one line.
QString describe(const ManifestResult &r)
{
    if (!r.ok())
        return u"error=" + QLatin1StringView(ErrorNames[int(r.error)]);
    const StreamInfo &i = *r.info;
    QStringList f{i.kind == StreamKind::Hls ? QStringLiteral("HLS") : QStringLiteral("DASH"),
                  i.master ? QStringLiteral("master") : QStringLiteral("media")};
    const auto add = [&f](bool when, const QString &text) { if (when) f << text; };
    add(!i.variants.isEmpty(), QStringLiteral("variants=%1").arg(i.variants.size()));
    add(!i.audio.isEmpty(), QStringLiteral("audio=%1").arg(i.audio.size()));
    add(i.segmentCount > 0, QStringLiteral("segments=%1/%2").arg(i.segmentCount).arg(i.segments.size()));
    add(i.durationSeconds.has_value(), u"duration=" + QString::number(i.durationSeconds.value_or(0), 'f', 1));
    add(i.live, QStringLiteral("live"));
    add(i.byteRanges, QStringLiteral("ranges"));
    add(i.encryption == Encryption::Aes128, u"aes128 key=" + i.keyAddress.toString());
    add(i.encryption == Encryption::Drm, u"drm " + i.keyFormat);
    if (const Variant *best = bestVariant(i))
        f << u"best=" + best->address.toString() + u' ' + best->codecs;
    else if (!i.segments.isEmpty())
        f << u"first=" + i.segments.first().toString();
    return f.join(u' ');
}

} // namespace

class TestManifests : public QObject
{
    Q_OBJECT

private slots:
    void read_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QByteArray>("variant");   // read as the second level when not empty
        QTest::addColumn<QString>("summary");
        QTest::addColumn<QString>("row");
        QTest::addColumn<QString>("choices");
        const auto refused = [](const char *tag, const QByteArray &body, const QString &error) {
            QTest::newRow(tag) << body << QByteArray() << u"error=" + error << QString() << QString();
        };

        const QByteArray master = "#EXTM3U\n#EXT-X-MEDIA:TYPE=AUDIO,GROUP-ID=\"a\",NAME=\"en, main\",URI=\"a/en.m3u8\"\n";
        refused("empty", {}, "Empty");
        refused("byte-order mark only", "\xEF\xBB\xBF \r\n", "Empty");
        refused("web page", "<html><body>", "NotManifest");
        refused("too large", QByteArray("#EXTM3U\n").leftJustified(MaxManifestBytes + 1, '\n'), "TooLarge");
        refused("10000 variants", "#EXTM3U\n" + QByteArray("#EXT-X-STREAM-INF:BANDWIDTH=1\nv.m3u8\n").repeated(10000), "TooManyRenditions");
        refused("100001 segments", "#EXTM3U\n" + QByteArray("#EXTINF:1,\ns.ts\n").repeated(100001), "TooManySegments");
        QTest::newRow("BOM, CRLF, quoted commas, relative and absolute")
            << QByteArray("\xEF\xBB\xBF#EXTM3U\r\n#EXT-X-STREAM-INF:BANDWIDTH=800000,RESOLUTION=640x360\r\nlow/i.m3u8\r\n"
                          "#EXT-X-STREAM-INF:CODECS=\"avc1.4d401f,mp4a.40.2\",RESOLUTION=1920x1080,BANDWIDTH=5000000\r\n"
                          "https://cdn.example/hi/i.m3u8?t=1\r\n") << QByteArray()
            << "HLS master variants=2 best=https://cdn.example/hi/i.m3u8?t=1 avc1.4d401f,mp4a.40.2" << "HLS 1920x1080, 2 qualities"
            << "Best (1920x1080)=bv*+ba/b|1920x1080=bv*[height<=1080]+ba/b[height<=1080]|640x360=bv*[height<=360]+ba/b[height<=360]";
        QTest::newRow("missing attributes, audio name with comma, local file refused")
            << master + "#EXT-X-STREAM-INF\nv.m3u8\n#EXT-X-STREAM-INF:RESOLUTION=x,BANDWIDTH=-1\n/w.m3u8\n"
                        "#EXT-X-STREAM-INF:BANDWIDTH=1\nfile:///etc/passwd\n"
            << QByteArray() << "HLS master variants=3 audio=1 best= " << "HLS, 3 qualities" << "Best=bv*+ba/b";
        QTest::newRow("1000 renditions") << master + QByteArray("#EXT-X-STREAM-INF:BANDWIDTH=1000\nv.m3u8\n").repeated(999)
            << QByteArray() << "HLS master variants=999 audio=1 best=http://media.example/live/v.m3u8 "
            << "HLS 1 kbit/s, 999 qualities" << "";
        QTest::newRow("huge line, bad durations, live")
            << "#EXTM3U\n#EXTINF:2.5,\na.ts\n#EXTINF:nan,\n" + QByteArray(100000, 'x') + "\n#EXTINF:-4,\nb.ts\n"
               "#EXTINF:1e308,\nc.ts\n#EXTINF:3,title, with comma\nd.ts\n"
            << QByteArray() << "HLS media segments=5/4 duration=5.5 live first=http://media.example/live/a.ts" << "HLS, live" << "";
        QTest::newRow("byte ranges of one file")
            << QByteArray("#EXTM3U\n#EXT-X-MAP:URI=\"/v/all.mp4\",BYTERANGE=\"720@0\"\n#EXTINF:4,\n#EXT-X-BYTERANGE:1000@720\n"
                          "/v/all.mp4\n#EXTINF:4,\n#EXT-X-BYTERANGE:1000\n/v/all.mp4\n#EXT-X-ENDLIST\n")
            << QByteArray() << "HLS media segments=2/1 duration=8.0 ranges first=http://media.example/v/all.mp4" << "HLS, 0:08" << "";
        QTest::newRow("sample-aes with identity key")
            << QByteArray("#EXTM3U\n#EXT-X-KEY:METHOD=SAMPLE-AES,URI=\"k\"\n#EXTINF:5.6,\ns.ts\n#EXT-X-ENDLIST\n") << QByteArray()
            << "HLS media segments=1/1 duration=5.6 aes128 key=http://media.example/live/k first=http://media.example/live/s.ts"
            << "HLS, 0:06" << "";
        QTest::newRow("DRM-marked playlist")
            << QByteArray("#EXTM3U\n#EXT-X-KEY:METHOD=AES-128,URI=\"k\"\n#EXT-X-KEY:METHOD=SAMPLE-AES,URI=\"skd://x\","
                          "KEYFORMAT=\"com.apple.streamingkeydelivery\"\n#EXTINF:1,\ns.ts\n") << QByteArray()
            << "HLS media segments=1/1 duration=1.0 live drm com.apple.streamingkeydelivery first=http://media.example/live/s.ts"
            << LockMark + "HLS, live" << "";
        QTest::newRow("master over a master") << master + "#EXT-X-STREAM-INF:BANDWIDTH=1\nv.m3u8\n"
            << master + "#EXT-X-STREAM-INF:BANDWIDTH=1\nv.m3u8\n" << "error=NestedMaster" << "" << "";

        const QByteArray mpd = "<?xml version=\"1.0\"?><MPD xmlns=\"urn:mpeg:dash:schema:mpd:2011\" ";
        QTest::newRow("DRM-marked MPD, live, BaseURL")
            << mpd + "type=\"dynamic\"><BaseURL>https://cdn.example/d/</BaseURL><Period><AdaptationSet mimeType=\"video/mp4\">"
                     "<ContentProtection schemeIdUri=\"urn:mpeg:dash:mp4protection:2011\" value=\"cenc\"/>"
                     "<ContentProtection schemeIdUri=\"urn:uuid:edef8ba9-79d6-4ace-a3c8-27dcd51d21ed\"/>"
                     "<Representation id=\"v\" width=\"1920\" height=\"1080\" bandwidth=\"6000000\"><BaseURL>v/</BaseURL>"
                     "</Representation></AdaptationSet></Period></MPD>"
            << QByteArray() << "DASH media variants=1 live drm urn:uuid:edef8ba9-79d6-4ace-a3c8-27dcd51d21ed best=https://cdn.example/d/v/ "
            << LockMark + "DASH 1920x1080, 1 quality, live" << "";
        QTest::newRow("MPD periods, segment list")
            << mpd + "><Period duration=\"PT1M\"><AdaptationSet contentType=\"video\" width=\"640\" height=\"360\">"
                     "<Representation id=\"a\"><SegmentList><SegmentURL media=\"s1.m4s\"/><SegmentURL media=\"s2.m4s\"/>"
                     "</SegmentList></Representation></AdaptationSet></Period><Period duration=\"P1DT1H0.5S\">"
                     "<AdaptationSet contentType=\"video\"><Representation id=\"a\" width=\"640\" height=\"360\"/>"
                     "</AdaptationSet></Period></MPD>"
            << QByteArray() << "DASH media variants=1 segments=2/2 duration=90060.5 best= " << "DASH 640x360, 1 quality, 25:01:01" << "";
        refused("entities in the MPD", "<?xml version=\"1.0\"?><!DOCTYPE MPD [<!ENTITY a \"aaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;\">]>"
                                       "<MPD xmlns=\"urn:mpeg:dash:schema:mpd:2011\"><BaseURL>&b;</BaseURL></MPD>", "DocumentType");
        refused("undeclared entity", mpd + "><BaseURL>&x;</BaseURL></MPD>", "BadXml");
        refused("truncated MPD", mpd + "><Period><AdaptationSet", "BadXml");
        refused("deep MPD", mpd + '>' + QByteArray("<a>").repeated(40), "TooDeep");
        refused("other root", "<x xmlns=\"urn:mpeg:dash:schema:mpd:2011\"/>", "NotManifest");
    }

    void read()
    {
        QFETCH(QByteArray, body);
        QFETCH(QByteArray, variant);
        QFETCH(QString, summary);
        ManifestResult result = parseManifest(body, Base);
        if (!variant.isEmpty() && result.ok())
            result = combineLevels(*result.info, parseManifest(variant, Base));
        const QString text = describe(result);
        QVERIFY2(text.startsWith(summary), qPrintable(text));
        if (!result.ok())
            return;
        const StreamInfo &info = *result.info;
        QTEST(rowText(info), "row");

        // The tooltip: the row, each quality and audio track, the protection, the address.
        const QStringList tip = toolTip(info, Base).split(u'\n');
        QCOMPARE(tip.first(), rowText(info));
        QCOMPARE(tip.last(), Base.toDisplayString());
        QCOMPARE(tip.size(), 2 + info.variants.size() + info.audio.size() + (info.encryption != Encryption::None));

        QFETCH(QString, choices);
        QStringList offered;
        for (const QualityChoice &c : qualityChoices(info))
            offered << c.label + u'=' + c.selector;
        if (!choices.isEmpty())
            QCOMPARE(offered.join(u'|'), choices);
    }
};

QTEST_GUILESS_MAIN(TestManifests)
#include "tst_manifests.moc"

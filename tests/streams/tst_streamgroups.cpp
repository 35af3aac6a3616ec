// Recognition of manifests and segments, and the grouping of what a player
// fetches after a manifest, step by step as the sources will report it.

#include <QtTest>

#include "StreamGroups.h"

using namespace streams;

namespace {

const QByteArray MasterBody = "#EXTM3U\n#EXT-X-MEDIA:TYPE=AUDIO,GROUP-ID=\"a\",URI=\"audio/a.m3u8\"\n"
                              "#EXT-X-STREAM-INF:BANDWIDTH=1\nlow/index.m3u8\n#EXT-X-STREAM-INF:BANDWIDTH=2\nhigh/index.m3u8\n";
const QByteArray MediaBody = "#EXTM3U\n#EXTINF:4,\nchunk?id=7\n#EXTINF:4,\n#EXT-X-BYTERANGE:9@0\n/vod/all.mp4\n";

// "<second> <address> <type> <expected> [<owner path>]"; the types @master
// and @media are playlists with such a body, @range a byte range of video;
// "<second> learn <address>" reads the manifest there.
QString play(StreamGroups &groups, const QString &step)
{
    const QStringList f = step.split(u' ');
    const qint64 now = f[0].toLongLong() * 1000;
    if (f[1] == u"learn") {
        const QByteArray body = f[2].endsWith(u"master.m3u8") ? MasterBody : MediaBody;
        const QUrl address = responseUrl(f[2].toUtf8());
        groups.learn(address, *parseManifest(body, address).info, now);
        return step;
    }
    const QByteArray address = f[1].toUtf8();
    const QByteArray type = f[2].startsWith(u'@') ? QByteArray(f[2] == u"@range" ? "video/mp4" : "audio/mpegurl")
                                                  : f[2].toUtf8();
    const QByteArray body = f[2] == u"@master" ? MasterBody : f[2] == u"@media" ? MediaBody : QByteArray();
    const GroupDecision d = groups.classify({address, type, body, f[2] == u"@range"}, now);
    static const char *const names[] = {"U", "N", "S", "P"};
    QString text = f.mid(0, 3).join(u' ') + u' ' + QLatin1StringView(names[int(d.grouping)]);
    return d.stream.isEmpty() ? text : text + u' ' + d.stream.path();
}

} // namespace

class TestStreamGroups : public QObject
{
    Q_OBJECT

private slots:
    void recognition_data();
    void recognition();
    void grouping_data();
    void grouping();
    void bounds();
};

void TestStreamGroups::recognition_data()
{
    QTest::addColumn<QByteArray>("address");
    QTest::addColumn<QByteArray>("type");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("range");
    QTest::addColumn<int>("manifest");
    QTest::addColumn<bool>("segment");
    const int none = int(ManifestFormat::None), hls = int(ManifestFormat::Hls), dash = int(ManifestFormat::Dash);
    QTest::newRow("hls type") << QByteArray("h/a") << QByteArray("application/vnd.apple.mpegurl") << QByteArray() << false << hls << false;
    QTest::newRow("type with parameters") << QByteArray("h/a") << QByteArray("Application/X-MpegURL; charset=utf-8\r\n") << QByteArray() << false << hls << false;
    QTest::newRow("audio mpegurl") << QByteArray("h/a") << QByteArray("audio/mpegurl") << QByteArray() << false << hls << false;
    QTest::newRow("audio x-mpegurl") << QByteArray("h/a") << QByteArray("audio/x-mpegurl") << QByteArray() << false << hls << false;
    QTest::newRow("dash type") << QByteArray("h/a") << QByteArray("application/dash+xml") << QByteArray() << false << dash << false;
    QTest::newRow("m3u8 path, query") << QByteArray("cdn.example/a/Master.M3U8?t=1.ts") << QByteArray("text/plain") << QByteArray() << false << hls << false;
    QTest::newRow("mpd path, fragment") << QByteArray("https://h/x/manifest.mpd#t=3") << QByteArray() << QByteArray() << false << dash << false;
    QTest::newRow("m3u8 only in the query") << QByteArray("h/play?u=x.m3u8") << QByteArray() << QByteArray() << false << none << false;
    QTest::newRow("body with BOM and blanks") << QByteArray("h/list") << QByteArray("text/plain") << QByteArray("\xEF\xBB\xBF \r\n#EXTM3U\n") << false << hls << false;
    QTest::newRow("MPD body") << QByteArray("h/get") << QByteArray("text/xml") << QByteArray("<?xml version=\"1.0\"?>\n<MPD xmlns=\"urn:mpeg:DASH:schema:MPD:2011\">") << false << dash << false;
    QTest::newRow("ts") << QByteArray("h/s/seg_1.ts") << QByteArray("video/MP2T") << QByteArray() << false << none << true;
    QTest::newRow("iso segment type") << QByteArray("h/s/1") << QByteArray("video/iso.segment") << QByteArray() << false << none << true;
    QTest::newRow("m4s path") << QByteArray("h/s/chunk-1.m4s?x=1") << QByteArray("application/octet-stream") << QByteArray() << false << none << true;
    QTest::newRow("aac type") << QByteArray("h/radio") << QByteArray("audio/aac") << QByteArray() << false << none << true;
    QTest::newRow("subtitles") << QByteArray("h/s/en.vtt") << QByteArray() << QByteArray() << false << none << true;
    QTest::newRow("m4a fragment") << QByteArray("h/s/a-3.m4a") << QByteArray() << QByteArray() << false << none << true;
    QTest::newRow("byte range of a file") << QByteArray("h/v/all.mp4") << QByteArray("video/mp4") << QByteArray() << true << none << true;
    QTest::newRow("whole file") << QByteArray("h/v/all.mp4") << QByteArray("video/mp4") << QByteArray() << false << none << false;
    QTest::newRow("scheme in the query") << QByteArray("h/watch?next=http://x/a.ts") << QByteArray() << QByteArray() << false << none << false;
}

void TestStreamGroups::recognition()
{
    QFETCH(QByteArray, address);
    QFETCH(QByteArray, type);
    QFETCH(QByteArray, body);
    QFETCH(bool, range);
    const ResponseFacts facts{address, type, body, range};
    QTEST(int(manifestFormat(facts)), "manifest");
    QTEST(looksLikeSegment(facts), "segment");
}

void TestStreamGroups::grouping_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::newRow("master, variants, audio, segments, reload") << QStringList{
        "0 h/hls/master.m3u8 @master N /hls/master.m3u8", "0 learn h/hls/master.m3u8",
        "1 h/hls/low/index.m3u8 @media P /hls/master.m3u8", "1 https://h/hls/audio/a.m3u8 - P /hls/master.m3u8",
        "2 h/hls/low/seg1.ts video/mp2t P /hls/master.m3u8", "3 h/hls/master.m3u8 @master S /hls/master.m3u8",
        "4 h/clip.mp4 video/mp4 U", "4 cdn.example/seg1.ts video/mp2t U"};
    QTest::newRow("variant before the master is read") << QStringList{
        "0 h/hls/master.m3u8 @master N /hls/master.m3u8", "0 h/hls/high/index.m3u8 @media P /hls/master.m3u8",
        "0 h/other/master.m3u8 @master N /other/master.m3u8"};
    QTest::newRow("media playlist alone, named segments, byte ranges") << QStringList{
        "0 h/radio/index.m3u8 @media N /radio/index.m3u8", "0 learn h/radio/index.m3u8",
        "1 h/radio/chunk?id=7 application/octet-stream P /radio/index.m3u8",
        "2 h/vod/all.mp4 @range P /radio/index.m3u8", "3 h/vod/all.mp4 @range P /radio/index.m3u8",
        "5 h/radio/index.m3u8 @media S /radio/index.m3u8"};
    QTest::newRow("segment without a manifest") << QStringList{"0 h/seg1.ts video/mp2t U", "0 h/v.mp4 @range U"};
    QTest::newRow("dash") << QStringList{
        "0 h/d/stream.mpd application/dash+xml N /d/stream.mpd", "1 h/d/init-stream0.m4s - P /d/stream.mpd",
        "2 h/d/chunk-stream0-00001.m4s video/mp4 P /d/stream.mpd"};
    QTest::newRow("aged after ten idle minutes") << QStringList{
        "0 h/hls/master.m3u8 @master N /hls/master.m3u8", "0 learn h/hls/master.m3u8",
        "300 h/hls/low/seg9.ts video/mp2t P /hls/master.m3u8", "900 h/x/seg9.ts video/mp2t P /hls/master.m3u8",
        "1501 h/hls/low/index.m3u8 @media N /hls/low/index.m3u8"};
}

void TestStreamGroups::grouping()
{
    QFETCH(QStringList, steps);
    StreamGroups groups;
    for (const QString &step : std::as_const(steps))
        QCOMPARE(play(groups, step), step);
}

void TestStreamGroups::bounds()
{
    StreamGroups groups(StreamGroups::Limits{4, 8, 60000});
    for (int n = 0; n < 6; ++n)
        QCOMPARE(play(groups, QStringLiteral("%1 h%1/m.mpd @x N /m.mpd").arg(n)), QStringLiteral("%1 h%1/m.mpd @x N /m.mpd").arg(n));
    QCOMPARE(groups.manifestCount(), 4);
    QCOMPARE(play(groups, "9 h0/s.m4s -"), "9 h0/s.m4s - U");   // the oldest went first
    QCOMPARE(play(groups, "9 h5/s.m4s -"), "9 h5/s.m4s - P /m.mpd");
    StreamInfo many;
    for (int n = 0; n < 100; ++n)
        many.segments << QUrl(QStringLiteral("http://h5/x%1").arg(n));
    groups.learn(QUrl("http://h5/m.mpd"), many, 10000);
    QVERIFY(groups.addressCount() <= 8);
    QCOMPARE(play(groups, "11 h5/x0 -"), "11 h5/x0 - P /m.mpd");
}

QTEST_GUILESS_MAIN(TestStreamGroups)
#include "tst_streamgroups.moc"

// Recognition of manifests and segments, and the grouping of what a player
// fetches after a manifest, step by step as the sources will report it.

#include <QtTest>

#include "StreamGroups.h"
#include "StreamSorter.h"
#include "TestThreads.h"

using namespace streams;

namespace {

const QByteArray MasterBody = "#EXTM3U\n#EXT-X-MEDIA:TYPE=AUDIO,GROUP-ID=\"a\",URI=\"audio/a.m3u8\"\n"
                              "#EXT-X-STREAM-INF:BANDWIDTH=1\nlow/index.m3u8\n#EXT-X-STREAM-INF:BANDWIDTH=2\nhigh/index.m3u8\n"
                              "#EXT-X-STREAM-INF:BANDWIDTH=3\nhttps://cdn.example/v/index.m3u8\n";
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
    void recognition_data()
    {
        QTest::addColumn<QByteArray>("address");
        QTest::addColumn<QByteArray>("type");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("range");
        QTest::addColumn<int>("manifest");
        QTest::addColumn<bool>("segment");
        const auto row = [](const char *tag, const char *address, const char *type, const char *body, bool range,
                            ManifestFormat manifest, bool segment) {
            QTest::newRow(tag) << QByteArray(address) << QByteArray(type) << QByteArray(body) << range << int(manifest) << segment;
        };
        using enum ManifestFormat;
        row("hls type", "h/a", "application/vnd.apple.mpegurl", "", false, Hls, false);
        row("type with parameters", "h/a", "Application/X-MpegURL; charset=utf-8\r\n", "", false, Hls, false);
        row("dash type", "h/a", "application/dash+xml", "", false, Dash, false);
        row("m3u8 path, query", "cdn.example/a/Master.M3U8?t=1.ts", "text/plain", "", false, Hls, false);
        row("mpd path, fragment", "https://h/x/manifest.mpd#t=3", "", "", false, Dash, false);
        row("m3u8 only in the query", "h/play?u=x.m3u8", "", "", false, None, false);
        row("body with BOM and blanks", "h/list", "text/plain", "\xEF\xBB\xBF \r\n#EXTM3U\n", false, Hls, false);
        row("MPD body", "h/get", "text/xml", "<?xml version=\"1.0\"?>\n<MPD xmlns=\"urn:mpeg:DASH:schema:MPD:2011\">", false, Dash, false);
        row("ts", "h/s/seg_1.ts", "video/MP2T", "", false, None, true);
        row("iso segment type", "h/s/1", "video/iso.segment", "", false, None, true);
        row("m4s path", "h/s/chunk-1.m4s?x=1", "application/octet-stream", "", false, None, true);
        row("aac type", "h/radio", "audio/aac", "", false, None, true);
        row("subtitles", "h/s/en.vtt", "", "", false, None, true);
        row("m4a fragment", "h/s/a-3.m4a", "", "", false, None, true);
        row("byte range of a file", "h/v/all.mp4", "video/mp4", "", true, None, true);
        row("whole file", "h/v/all.mp4", "video/mp4", "", false, None, false);
        row("scheme in the query", "h/watch?next=http://x/a.ts", "", "", false, None, false);
    }

    void recognition()
    {
        QFETCH(QByteArray, address);
        QFETCH(QByteArray, type);
        QFETCH(QByteArray, body);
        QFETCH(bool, range);
        const ResponseFacts facts{address, type, body, range};
        QTEST(int(manifestFormat(facts)), "manifest");
        QTEST(looksLikeSegment(facts), "segment");
    }

    void grouping_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::newRow("master, variants, audio, segments, reload") << QStringList{
            "0 h/hls/master.m3u8 @master N /hls/master.m3u8", "0 learn h/hls/master.m3u8",
            "1 h/hls/low/index.m3u8 @media P /hls/master.m3u8", "1 https://h/hls/audio/a.m3u8 - P /hls/master.m3u8",
            "2 h/hls/low/seg1.ts video/mp2t P /hls/master.m3u8", "3 h/hls/master.m3u8 @master S /hls/master.m3u8",
            "4 cdn.example/v/seg7.ts video/mp2t P /hls/master.m3u8", "4 h/clip.mp4 video/mp4 U",
            "4 other.example/seg1.ts video/mp2t U", "4 cdn.example/clip.mp4 video/mp4 U"};
        QTest::newRow("variant before the master is read") << QStringList{
            "0 h/hls/master.m3u8 @master N /hls/master.m3u8", "0 h/hls/high/index.m3u8 @media P /hls/master.m3u8",
            "0 h/other/master.m3u8 @master N /other/master.m3u8", "0 h/aes/index.m3u8 @media N /aes/index.m3u8"};
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

    void grouping()
    {
        QFETCH(QStringList, steps);
        StreamGroups groups;
        for (const QString &step : std::as_const(steps))
            QCOMPARE(play(groups, step), step);
    }

    void bounds()
    {
        StreamGroups groups(StreamGroups::Limits{4, 8, 60000});
        for (int n = 0; n < 6; ++n)
            QCOMPARE(play(groups, QString::number(n) + u" h" + QString::number(n) + u"/m.mpd @x"), u"%1 h%1/m.mpd @x N /m.mpd"_qs.arg(n));
        QCOMPARE(groups.manifestCount(), 4);
        QCOMPARE(play(groups, "9 h0/s.m4s -"), "9 h0/s.m4s - U");   // the oldest went first
        QCOMPARE(play(groups, "9 h5/s.m4s -"), "9 h5/s.m4s - P /m.mpd");
        StreamInfo many;
        for (int n = 0; n < 100; ++n)
            many.segments << QUrl(u"http://h5/x%1"_qs.arg(n));
        groups.learn(QUrl("http://h5/m.mpd"), many, 10000);
        QCOMPARE(groups.addressCount(), 4);   // half the table at most for one manifest's segments
        QCOMPARE(play(groups, "11 h5/x0 -"), "11 h5/x0 - P /m.mpd");
    }

    // Capture threads (0 to 3) classify while the window (4) learns: one sorter, one lock.
    void sharedAcrossThreads()
    {
        StreamSorter sorter;
        QCOMPARE(sorter.classify({"host.example/tv/master.m3u8", "application/x-mpegurl", MasterBody, false}).grouping,
                 Grouping::NewStream);
        const QUrl master("http://host.example/tv/master.m3u8");
        std::atomic<int> rows{0};
        QVERIFY(runOnThreads(5, [&](int t) {
            for (int i = 0; i < (t < 4 ? 2000 : 200); ++i) {
                const QByteArray address = "host.example/tv/low/seg" + QByteArray::number(t * 10000 + i) + ".ts";
                if (t == 4)
                    sorter.learn(master, *parseManifest(MasterBody, master).info);
                else
                    rows += sorter.classify({address, "video/mp2t", {}, false}).addsRow() ? 1 : 0;
            }
        }));
        QCOMPARE(rows.load(), 0);
        QCOMPARE(sorter.manifestCount(), 1);
    }
};

QTEST_GUILESS_MAIN(TestStreamGroups)
#include "tst_streamgroups.moc"

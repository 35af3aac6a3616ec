#include "ProgressMeter.h"
#include "TransferTexts.h"

#include <QTest>

#include <climits>

using namespace TransferTexts;

class TestTransferTexts : public QObject
{
    Q_OBJECT

private slots:
    void sizes_data();
    void sizes();
    void durations_data();
    void durations();
    void timeLeftLine();
    void rates_data();
    void rates();
    void titles();
    void fileNames_data();
    void fileNames();
    void percents_data();
    void percents();
    void secondsLeftStaysSane_data();
    void secondsLeftStaysSane();
    void meterShowsPercentAtOnce();
    void meterRefreshesRateAtMostOnceASecond();
    void meterTimeLeftUsesThePaceSinceTheStart();
    void meterSurvivesOddCounts();
};

void TestTransferTexts::sizes_data()
{
    QTest::addColumn<quint64>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("zero") << quint64(0) << "0 Bytes";
    QTest::newRow("1023") << quint64(1023) << "1023 Bytes";
    QTest::newRow("1024") << quint64(1024) << "1.0 KB";
    QTest::newRow("1536") << quint64(1536) << "1.5 KB";
    QTest::newRow("1048575") << quint64(1048575) << "1024.0 KB";
    QTest::newRow("1048576") << quint64(1048576) << "1.00 MB";
    QTest::newRow("5 GB") << quint64(5) * 1024 * 1048576 << "5120.00 MB";
    QTest::newRow("largest") << quint64(~0ull) << "17592186044416.00 MB";
}

void TestTransferTexts::sizes()
{
    QFETCH(quint64, bytes);
    QFETCH(QString, text);
    QCOMPARE(sizeText(bytes), text);
}

void TestTransferTexts::durations_data()
{
    QTest::addColumn<int>("seconds");
    QTest::addColumn<QString>("text");
    QTest::newRow("0") << 0 << "0 sec";
    QTest::newRow("59") << 59 << "59 sec";
    QTest::newRow("60") << 60 << "1 min";
    QTest::newRow("90") << 90 << "1 min 30 sec";
    QTest::newRow("120") << 120 << "2 min";
    QTest::newRow("3601") << 3601 << "60 min 1 sec";
    QTest::newRow("negative") << -5 << "0 sec";
    QTest::newRow("largest") << INT_MAX << "35791394 min 7 sec";
}

void TestTransferTexts::durations()
{
    QFETCH(int, seconds);
    QFETCH(QString, text);
    QCOMPARE(durationText(seconds), text);
}

void TestTransferTexts::timeLeftLine()
{
    QCOMPARE(timeLeftText(90, 1024, 1048576), QString("1 min 30 sec (1.0 KB of 1.00 MB copied)"));
    QCOMPARE(timeLeftText(5, 10, 1023), QString("5 sec (10 Bytes of 1023 Bytes copied)"));
}

void TestTransferTexts::rates_data()
{
    QTest::addColumn<double>("rate");
    QTest::addColumn<QString>("text");
    QTest::newRow("0.5") << 0.5 << "512 Bytes/Sec";
    QTest::newRow("0") << 0.0 << "0 Bytes/Sec";
    QTest::newRow("1") << 1.0 << "1.00 KB/Sec";
    QTest::newRow("2.5") << 2.5 << "2.50 KB/Sec";
    QTest::newRow("9.999") << 9.999 << "10.00 KB/Sec";
    QTest::newRow("10") << 10.0 << "10 KB/Sec";
    QTest::newRow("12.4") << 12.4 << "12 KB/Sec";
    QTest::newRow("negative") << -3.0 << "0 Bytes/Sec";
    QTest::newRow("not a number") << std::nan("") << "0 Bytes/Sec";
}

void TestTransferTexts::rates()
{
    QFETCH(double, rate);
    QFETCH(QString, text);
    QCOMPARE(rateText(rate), text);
}

void TestTransferTexts::titles()
{
    QCOMPARE(percentTitle(42, "clip.flv"), QString("42% of clip.flv Completed"));
    QCOMPARE(percentTitle(7, ""), QString("7% of  Completed"));
    QCOMPARE(percentTitle(1, "%2 odd %1"), QString("1% of %2 odd %1 Completed"));
    QCOMPARE(fileStatusText("clip.flv", "media.example.com"), QString("clip.flv from media.example.com"));
}

void TestTransferTexts::fileNames_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("name");
    QTest::newRow("plain") << "http://h/videos/clip.flv" << "clip.flv";
    QTest::newRow("query left out") << "http://h/v/get.flv?id=3&x=/y" << "get.flv";
    QTest::newRow("ends in slash") << "http://h/videos/" << "";
    QTest::newRow("root") << "http://h/" << "/";
    QTest::newRow("no path") << "http://h" << "";
    QTest::newRow("fragment follows") << "http://h/a/b.flv#frag" << "b.flvfrag";
    QTest::newRow("backslash") << "http://h/a%5Cb.flv" << "a\\b.flv";
}

void TestTransferTexts::fileNames()
{
    QFETCH(QString, url);
    QFETCH(QString, name);
    QCOMPARE(fileNameOfUrl(QUrl::fromEncoded(url.toLatin1())), name);
}

void TestTransferTexts::percents_data()
{
    QTest::addColumn<quint64>("read");
    QTest::addColumn<quint64>("total");
    QTest::addColumn<int>("percent");
    QTest::newRow("start") << quint64(0) << quint64(100) << 0;
    QTest::newRow("truncates") << quint64(999) << quint64(1000) << 99;
    QTest::newRow("done") << quint64(1000) << quint64(1000) << 100;
    QTest::newRow("more than announced") << quint64(5000) << quint64(1000) << 100;
    QTest::newRow("huge, no overflow") << quint64(~0ull) - 1 << quint64(~0ull) << 99;
    QTest::newRow("half of huge") << quint64(~0ull) / 2 << quint64(~0ull) << 49;
}

void TestTransferTexts::percents()
{
    QFETCH(quint64, read);
    QFETCH(quint64, total);
    QFETCH(int, percent);
    QCOMPARE(percentDone(read, total), std::optional<int>(percent));
    QVERIFY(!percentDone(read, 0).has_value());
}

void TestTransferTexts::secondsLeftStaysSane_data()
{
    QTest::addColumn<qint64>("elapsed");
    QTest::addColumn<quint64>("read");
    QTest::addColumn<quint64>("total");
    QTest::addColumn<int>("seconds");
    QTest::newRow("half way after 10 s") << qint64(10000) << quint64(500) << quint64(1000) << 10;
    QTest::newRow("truncates") << qint64(1500) << quint64(1) << quint64(2) << 1;
    QTest::newRow("done") << qint64(10000) << quint64(1000) << quint64(1000) << 0;
    QTest::newRow("past the total") << qint64(10000) << quint64(2000) << quint64(1000) << 0;
    QTest::newRow("one byte of a huge file") << qint64(100000) << quint64(1) << quint64(~0ull) << INT_MAX;
    QTest::newRow("no time yet") << qint64(0) << quint64(10) << quint64(1000) << 0;
}

void TestTransferTexts::secondsLeftStaysSane()
{
    QFETCH(qint64, elapsed);
    QFETCH(quint64, read);
    QFETCH(quint64, total);
    QFETCH(int, seconds);
    QCOMPARE(secondsLeft(elapsed, read, total), std::optional<int>(seconds));
    QVERIFY(!secondsLeft(elapsed, 0, total).has_value());
    QVERIFY(!secondsLeft(elapsed, read, 0).has_value());
}

void TestTransferTexts::meterShowsPercentAtOnce()
{
    ProgressMeter meter;
    meter.reset();
    ProgressStep step = meter.update(100, true, 1000, 5000);
    QCOMPARE(step.percent, std::optional<int>(10));
    QVERIFY(!step.rate && !step.secondsLeft);
    step = meter.update(105, true, 1000, 5001); // same percent: nothing new
    QVERIFY(!step.percent);
    step = meter.update(200, true, 1000, 5002);
    QCOMPARE(step.percent, std::optional<int>(20));
    QCOMPARE(meter.lastPercent(), 20);
    step = meter.update(200, false, 0, 5003); // size unknown: no percent
    QVERIFY(!step.percent);
}

void TestTransferTexts::meterRefreshesRateAtMostOnceASecond()
{
    ProgressMeter meter;
    meter.reset();
    meter.update(1000, true, 100000, 0);
    QVERIFY(!meter.update(2000, true, 100000, 1000).rate); // exactly 1000 ms: not yet
    const ProgressStep step = meter.update(3001, true, 100000, 1001);
    QVERIFY(step.rate);
    QCOMPARE(*step.rate, 3001.0 / 1001.0);
    QVERIFY(!meter.update(4000, true, 100000, 1500).rate);
    const ProgressStep later = meter.update(6004, true, 100000, 2002);
    QVERIFY(later.rate);
    QCOMPARE(*later.rate, 3.0); // 3003 bytes in 1001 ms
}

void TestTransferTexts::meterTimeLeftUsesThePaceSinceTheStart()
{
    ProgressMeter meter;
    meter.reset();
    meter.update(0, true, 1000, 10000);
    const ProgressStep step = meter.update(250, true, 1000, 12000);
    QCOMPARE(step.secondsLeft, std::optional<int>(6)); // 2 s for a quarter: 6 s for the rest
    ProgressMeter unknown;
    unknown.reset();
    unknown.update(0, false, 0, 0);
    const ProgressStep none = unknown.update(500, false, 0, 5000);
    QVERIFY(!none.percent);
    QVERIFY(!none.secondsLeft);
}

void TestTransferTexts::meterSurvivesOddCounts()
{
    ProgressMeter meter;
    meter.reset();
    meter.update(5000, true, 10000, 0);
    meter.update(9000, true, 10000, 2000);
    // A count that went back (a restarted reply) shows no negative rate.
    const ProgressStep back = meter.update(100, true, 10000, 4000);
    QVERIFY(back.rate);
    QCOMPARE(*back.rate, 0.0);
    // More than announced: 100 percent and nothing left.
    const ProgressStep over = meter.update(20000, true, 10000, 6000);
    QCOMPARE(over.percent, std::optional<int>(100));
    QCOMPARE(over.secondsLeft, std::optional<int>(0));
    // A total of 0: no percent, no time left, no crash.
    ProgressMeter zero;
    zero.reset();
    const ProgressStep nothing = zero.update(10, true, 0, 0);
    QVERIFY(!nothing.percent);
    QVERIFY(!zero.update(10, true, 0, 5000).secondsLeft);
}

QTEST_GUILESS_MAIN(TestTransferTexts)
#include "tst_transfertexts.moc"

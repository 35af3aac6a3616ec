#include <QtTest>

#include <mutex>

#include <sched.h>

#include "CVideoSniffer.h"
#include "MediaDetector.h"
#include "MediaFixture.h"

namespace {

std::mutex reportsLock;
QList<MediaReport> liveReports;

void collect(QByteArray url, QByteArray header, QByteArray length, QByteArray type)
{
    const std::lock_guard lock(reportsLock);
    liveReports.append({url, header, length, type});
}

QList<MediaReport> reports()
{
    const std::lock_guard lock(reportsLock);
    return liveReports;
}

} // namespace

class TestVideoSniffer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // A network namespace of our own: its loopback carries only this test's
        // traffic, so nothing else wakes a quiet engine or adds reports.
        if (::unshare(CLONE_NEWNET) != 0 || QProcess::execute("ip", {"link", "set", "lo", "up"}) != 0)
            qWarning("no private network namespace; capturing on the shared loopback");
        if (!CVideoSniffer("lo").isCapturing())
            QSKIP("live capture on lo needs root, or CAP_NET_RAW and CAP_NET_ADMIN");
    }

    // Replaying a recording (readCaptureFile) serves the benchmark alone.
    void reportsLiveStreams()
    {
        MediaFixture media("127.0.0.2");
        QVERIFY2(media.start(), qPrintable(media.errorString()));
        QVERIFY(media.bytes("clip.flv").startsWith("FLV") && media.bytes("clip.mp3").startsWith("ID3"));
        // The header packet alone, its body after a pause.
        QVERIFY(media.route("split.flv", {.headers = {"Content-Type: video/x-flv"}, .file = "clip.flv", .split = 0}));
        QVERIFY(media.route("ignored.mp4", {.headers = {"Content-Type: video/mp4"}, .file = "clip.mp4"}));
        const QByteArray base = "127.0.0.2:" + QByteArray::number(media.port());

        CVideoSniffer engine("lo");
        QVERIFY(engine.isCapturing());
        QCOMPARE(engine.localAddress(), (Ipv4Address{127, 0, 0, 1}));
        engine.registerCallback(collect);
        engine.addIgnoredUrl(base + "/ignored.mp4", 1);
        const QStringList paths = {"clip.mp4", "clip.flv", "split.flv", "clip.mp3", "page.html", "ignored.mp4",
                                   "ignored.mp4"};
        for (const QString &path : paths)
            QCOMPARE(QProcess::execute("curl", {"-s", "-f", "--noproxy", "*", "-o", "/dev/null", media.url(path)}), 0);
        // The last fetch is reported last: once it is in, every packet before it was seen.
        QTRY_VERIFY_WITH_TIMEOUT(!reports().isEmpty() && reports().last().url.endsWith("/ignored.mp4"), 10000);

        const QList<QByteArray> heads = media.requestHeads();
        QCOMPARE(heads.size(), paths.size());
        const auto size = [&](const char *name) -> QByteArray {
            return QByteArray::number(media.bytes(name).size()) + "\r\n";
        };
        const QList<MediaReport> expected = {
            {base + "/clip.mp4", heads[0], size("clip.mp4"), "mp4\r\n"},
            {base + "/clip.flv", heads[1], size("clip.flv"), "x-flv\r\n"},
            {base + "/split.flv", heads[2], size("clip.flv"), "x-flv"},
            {base + "/clip.mp3", heads[3], size("clip.mp3"), "MP3"},
            {base + "/ignored.mp4", heads[6], size("clip.mp4"), "mp4\r\n"},
        };
        QCOMPARE(reports(), expected);
        QVERIFY(heads[0].contains(QByteArray("\r\nHost: " + base + "\r\n")));
        QCOMPARE(engine.droppedPackets(), 0u);
    }

    void interfacesListedAndEnginesStop()
    {
        const QList<QByteArray> names = CVideoSniffer::listInterfaces();
        QVERIFY2(names.contains("lo") && !names.contains("any"), names.join(' ').constData());
        auto quiet = std::make_unique<CVideoSniffer>("lo");
        CVideoSniffer other("lo");
        QVERIFY(quiet->isCapturing() && other.isCapturing());
        QTRY_VERIFY(quiet->isRunning() && other.isRunning());
        QElapsedTimer clock; // a quiet interface, yet a prompt stop
        clock.start();
        quiet.reset();
        QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
        CVideoSniffer::stopAll();
        QVERIFY(other.loopFinished() && other.isFinished());
    }

    void processExitsWithEnginesRunning()
    {
        QProcess helper;
        helper.start(CAPTURE_EXIT_HELPER);
        QVERIFY(helper.waitForFinished(10000));
        const QByteArray said = helper.readAllStandardError();
        QVERIFY2(helper.exitStatus() == QProcess::NormalExit && helper.exitCode() == 0, said.constData());
        QVERIFY2(!said.contains("QThread: Destroyed while thread is still running"), said.constData());
    }

    void interfacesThatCannotBeOpened_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QString>("failure");
        QTest::addColumn<int>("problem");
        QTest::newRow("unknown") << QByteArray("no-such-interface0") << QString()
                                 << int(CVideoSniffer::Problem::NoInterface);
        // "any" is listed by the capture library but has no address.
        QTest::newRow("without address") << QByteArray("any") << "Unable to get interface address"
                                         << int(CVideoSniffer::Problem::NoAddress);
    }

    void interfacesThatCannotBeOpened()
    {
        QFETCH(QByteArray, name);
        QFETCH(QString, failure);
        QFETCH(int, problem);
        QElapsedTimer clock;
        clock.start();
        {
            CVideoSniffer engine(name);
            QVERIFY(!engine.isCapturing() && !engine.isRunning());
            QCOMPARE(engine.failure(), failure);
            QCOMPARE(int(engine.problem()), problem);
            QVERIFY(!engine.problemReason().isEmpty());
        }
        QVERIFY(clock.elapsed() < 1000);
    }
};

QTEST_GUILESS_MAIN(TestVideoSniffer)
#include "tst_videosniffer.moc"

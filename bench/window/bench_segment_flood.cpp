// The window while a player's segment flood passes on the wire: live capture
// on loopback (a network namespace of its own, so root), one HLS master
// playlist, then SEGMENTS segment responses fetched by curl as fast as the
// local server gives them. A 10 ms probe timer on the GUI thread measures the
// longest stall, against the same probe on the idle capturing window in the
// same run; the rows the flood adds are counted.
//   bench_segment_flood [SEGMENTS]   (default 5000)

#include "CaptureSession.h"
#include "MediaFixture.h"
#include "WindowHarness.h"

#include "ui_Navigation.h"
#include "ui_OldSniffer.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTimer>

#include <cstdio>
#include <sched.h>
#include <unistd.h>

namespace {

// Longest gap between 10 ms ticks while `busy` says the work goes on, and at
// least `minimumMs`.
qint64 longestStall(int minimumMs, const std::function<bool()> &busy)
{
    QElapsedTimer clock, sinceTick;
    qint64 worst = 0;
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    QObject::connect(&probe, &QTimer::timeout, [&] { worst = qMax(worst, sinceTick.restart() - 10); });
    clock.start();
    sinceTick.start();
    probe.start(10);
    while (clock.elapsed() < minimumMs || (busy() && clock.elapsed() < 180000))
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    return qMax<qint64>(0, worst);
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const int segments = argc > 1 ? qMax(1, atoi(argv[1])) : 5000;
    if (geteuid() != 0 || ::unshare(CLONE_NEWNET) != 0 || QProcess::execute("ip", {"link", "set", "lo", "up"}) != 0) {
        std::fprintf(stderr, "live capture needs root (capture rights and a network namespace of its own)\n");
        return 1;
    }
    MediaFixture media(QStringLiteral("127.0.0.2"));
    if (!media.start({.media = false}) || !media.makeStreams(3)) {
        std::fprintf(stderr, "test server: %s\n", qPrintable(media.errorString()));
        return 1;
    }
    WindowHarness harness;
    Sniffer *window = harness.start();
    window->navigationForm()->btnSniffer->click();
    if (window->captureSession()->status() != CaptureSession::Status::Capturing) {
        std::fprintf(stderr, "capture did not start on lo\n");
        return 1;
    }
    const qint64 idle = longestStall(2000, [] { return false; });

    // The master first, as a player asks for it; then the segments over one
    // connection, each address of its own.
    QByteArray config = "url = \"" + media.url("hls/master.m3u8").toUtf8() + "\"\noutput = \"/dev/null\"\n";
    for (int i = 0; i < segments; ++i)
        config += "url = \"" + media.url(QStringLiteral("hls/s_0_%1.ts").arg(i % 2, 3, 10, QChar('0'))).toUtf8()
                  + "?n=" + QByteArray::number(i) + "\"\noutput = \"/dev/null\"\n";
    QProcess curl;
    curl.start(MediaFixture::program("curl"), {"--silent", "--config", "-"});
    curl.write(config);
    curl.closeWriteChannel();
    QElapsedTimer clock;
    clock.start();
    const qint64 flooded = longestStall(0, [&] { return curl.state() != QProcess::NotRunning; });
    const qint64 floodMs = clock.elapsed();
    // The master's row is read once the page has it; give the reading time.
    longestStall(1000, [] { return false; });
    const int rows = window->sniffedList().count();
    const int fetched = int(media.requestHeads(QStringLiteral("/hls/s_0_000.ts")).size()
                            + media.requestHeads(QStringLiteral("/hls/s_0_001.ts")).size());
    std::printf("%d segments fetched in %lld ms on lo: longest GUI stall %lld ms flooded, %lld ms idle "
                "(goal < 50 ms); %d rows listed (goal 1: the master)\n",
                fetched, floodMs, flooded, idle, rows);
    return curl.exitCode() == 0 && fetched == segments ? 0 : 1;
}

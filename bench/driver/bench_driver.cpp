// Wall times of the driver against the real tool on local media:
//   1. title and format runs side by side against each run alone;
//   2. a file download through the driver against bare yt-dlp;
//   3. how long the GUI thread is held when a download under way is
//      stopped, replaced or its driver destroyed, against a blocking end of
//      the same download (SIGKILL to its group, then waitForFinished), and
//      by one look of the reaper at a group left with a zombie (its worst
//      case: the whole of /proc is read).
// Prints each figure and the ratios. Usage: bench_driver [rounds]

#include "BenchMedian.h"
#include "Downloader.h"
#include "MediaFixture.h"
#include "Platform.h"
#include "ProcessReaper.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QFileInfo>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <random>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Runs start() and waits until `needed` of the watched signals came.
double timeSignals(Downloader &driver, const std::function<void()> &start, int needed)
{
    int got = 0;
    QEventLoop loop;
    QList<QMetaObject::Connection> links;
    auto count = [&] {
        if (++got >= needed)
            loop.quit();
    };
    links << QObject::connect(&driver, &Downloader::haveTitle, &loop, count);
    links << QObject::connect(&driver, &Downloader::haveFormats, &loop, count);
    links << QObject::connect(&driver, &Downloader::haveFile, &loop, count);
    links << QObject::connect(&driver, &Downloader::hasError, &loop, [&](Downloader::errors e) {
        std::fprintf(stderr, "driver error %d\n", int(e));
        loop.exit(1);
    });
    QTimer::singleShot(120000, &loop, [&] { loop.exit(2); });
    QElapsedTimer clock;
    clock.start();
    start();
    const int result = loop.exec();
    const double seconds = clock.nsecsElapsed() / 1e9;
    for (const auto &link : links)
        QObject::disconnect(link);
    return result == 0 ? seconds : -1.0;
}

double timeBareTool(const QStringList &arguments)
{
    QProcess tool;
    tool.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer clock;
    clock.start();
    tool.start(QStringLiteral("yt-dlp"), arguments);
    tool.closeWriteChannel();
    tool.waitForFinished(120000);
    tool.readAllStandardOutput();
    const bool ok = tool.exitStatus() == QProcess::NormalExit && tool.exitCode() == 0;
    return ok ? clock.nsecsElapsed() / 1e9 : -1.0;
}

bool waitUntil(const std::function<bool()> &condition, int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(5);
    }
    return true;
}

// Milliseconds the GUI thread spends in `end` once a download is under way.
double timeEnding(MediaFixture &media, const QString &target, const std::function<void(Downloader *&)> &end)
{
    auto *driver = new Downloader;
    driver->checkURL(QUrl(media.url(QStringLiteral("throttle/20000/clip.flv"))));
    driver->requestFile({}, target);
    if (!waitUntil([&] { return QFileInfo(target + QStringLiteral(".part")).size() > 0; }, 60000))
        return -1.0;
    QElapsedTimer clock;
    clock.start();
    end(driver);
    const double ms = clock.nsecsElapsed() / 1e6;
    delete driver;
    waitUntil([] { return ProcessReaper::pending() == 0; }, 10000);
    return ms;
}

// The same for a blocking end: the whole group killed, then waited for.
double timeBlockingEnd(MediaFixture &media, const QString &target)
{
    QProcess tool;
    tool.setChildProcessModifier([] { ::setpgid(0, 0); });
    tool.start(Platform::applicationFolder() + QStringLiteral("/run"),
               {media.url(QStringLiteral("throttle/20000/clip.flv")), QStringLiteral("-o"), target});
    if (!waitUntil([&] { return QFileInfo(target + QStringLiteral(".part")).size() > 0; }, 60000))
        return -1.0;
    QElapsedTimer clock;
    clock.start();
    ::kill(-pid_t(tool.processId()), SIGKILL);
    tool.waitForFinished(5000);
    return clock.nsecsElapsed() / 1e6;
}

// Milliseconds of ProcessGroup::alive() on a group whose only member is a
// zombie, the median of many looks.
double timeGroupLook()
{
    const pid_t zombie = ::fork();
    if (zombie == 0) {
        ::setpgid(0, 0);
        ::_exit(0);
    }
    ::setpgid(zombie, zombie);
    QThread::msleep(100);
    QList<double> looks;
    for (int i = 0; i < 50; ++i) {
        QElapsedTimer clock;
        clock.start();
        if (ProcessGroup::alive(zombie))
            return -1.0;
        looks << clock.nsecsElapsed() / 1e6;
    }
    ::waitpid(zombie, nullptr, 0);
    return median(looks);
}

} // namespace

int main(int argc, char **argv)
{
    // The driver's trace lines would drown the figures.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &text) {
        if (type != QtDebugMsg)
            std::fprintf(stderr, "%s\n", qPrintable(text));
    });
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? qMax(1, atoi(argv[1])) : 3;
    // The launcher of this build, beside the application.
    Platform::setApplicationFolder(QStringLiteral(VIDARRO_BIN_DIR));

    MediaFixture media;
    if (!media.start()) {
        std::fprintf(stderr, "fixture: %s\n", qPrintable(media.errorString()));
        return 1;
    }
    // A larger file, so that the download itself weighs in.
    QByteArray big(16 * 1024 * 1024, Qt::Uninitialized);
    std::mt19937 random(7);
    for (char &c : big)
        c = char(random());
    media.addFile(QStringLiteral("big.mp4"), big);
    if (!media.makeStreams(3)) {
        std::fprintf(stderr, "streams: %s\n", qPrintable(media.errorString()));
        return 1;
    }

    Downloader driver;
    QTemporaryDir out;
    QList<double> title, formats, both, viaDriver, bare, mergedDriver, mergedBare;
    for (int round = 0; round < rounds; ++round) {
        // A new address each time: the launcher shares one answer between
        // runs of the same address, which must not favour the lone runs.
        auto page = [&](const char *kind) {
            return QUrl(media.url(QStringLiteral("sources.html?%1=%2").arg(QLatin1String(kind)).arg(round)));
        };
        driver.checkURL(page("title"));
        title << timeSignals(driver, [&] { driver.requestTitle(); }, 1);
        driver.checkURL(page("formats"));
        formats << timeSignals(driver, [&] { driver.requestFormats(); }, 1);
        driver.checkURL(page("both"));
        both << timeSignals(driver, [&] {
            driver.requestTitle();
            driver.requestFormats();
        }, 2);

        const QString viaTarget = out.filePath(QStringLiteral("driver-%1.mp4").arg(round));
        const QString bareTarget = out.filePath(QStringLiteral("bare-%1.mp4").arg(round));
        driver.checkURL(QUrl(media.url(QStringLiteral("big.mp4"))));
        viaDriver << timeSignals(driver, [&] { driver.requestFile({}, viaTarget); }, 1);
        bare << timeBareTool({QStringLiteral("--ignore-config"), QStringLiteral("--no-cache-dir"), QStringLiteral("-q"),
                              QStringLiteral("-o"), bareTarget, media.url(QStringLiteral("big.mp4"))});

        // Video and sound of an HLS stream joined by ffmpeg, the same selector both ways.
        const QString hls = media.url(QStringLiteral("hls/master.m3u8"));
        driver.checkURL(QUrl(hls));
        mergedDriver << timeSignals(driver, [&] {
            driver.requestFile(QStringLiteral("m720"), out.filePath(QStringLiteral("merged-driver-%1.mp4").arg(round)));
        }, 1);
        mergedBare << timeBareTool({QStringLiteral("--ignore-config"), QStringLiteral("--no-cache-dir"), QStringLiteral("-q"),
                                    QStringLiteral("--no-playlist"), QStringLiteral("-f"),
                                    QStringLiteral("bv*[height<=720]+ba/b[height<=720]"), QStringLiteral("-o"),
                                    out.filePath(QStringLiteral("merged-bare-%1.%(ext)s").arg(round)), hls});
    }
    const double look = timeGroupLook();
    QList<double> stopped, destroyed, replaced, blocking;
    for (int round = 0; round < rounds; ++round) {
        // Each ends in the container's own extension: the tool names its parts after it.
        auto target = [&](const char *kind) { return out.filePath(QStringLiteral("end-%1-%2.flv").arg(round).arg(QLatin1String(kind))); };
        stopped << timeEnding(media, target("stop"), [](Downloader *&d) { d->stop(); });
        destroyed << timeEnding(media, target("delete"), [](Downloader *&d) {
            delete d;
            d = nullptr;
        });
        replaced << timeEnding(media, target("replace"), [&](Downloader *&d) { d->requestFile({}, target("newer")); });
        blocking << timeBlockingEnd(media, target("blocking"));
    }
    QList<double> looks{look};
    for (const QList<double> *list : {&title, &formats, &both, &viaDriver, &bare, &mergedDriver, &mergedBare, &stopped,
                                      &destroyed, &replaced, &blocking, &looks}) {
        if (list->contains(-1.0)) {
            std::fprintf(stderr, "a run failed\n");
            return 1;
        }
    }
    const double slower = qMax(median(title), median(formats));
    std::printf("rounds: %d (medians)\n", rounds);
    std::printf("title alone:        %.3f s\n", median(title));
    std::printf("formats alone:      %.3f s\n", median(formats));
    std::printf("both side by side:  %.3f s\n", median(both));
    std::printf("ratio both / slower alone: %.2f (goal <= 1.15)\n", median(both) / slower);
    std::printf("download, driver:   %.3f s\n", median(viaDriver));
    std::printf("download, yt-dlp:   %.3f s\n", median(bare));
    std::printf("ratio driver / bare yt-dlp: %.2f (goal <= 1.10)\n", median(viaDriver) / median(bare));
    std::printf("merged 720p, driver:  %.3f s\n", median(mergedDriver));
    std::printf("merged 720p, yt-dlp:  %.3f s\n", median(mergedBare));
    std::printf("ratio merged driver / bare yt-dlp: %.2f (goal <= 1.10)\n", median(mergedDriver) / median(mergedBare));
    auto worst = [](const QList<double> &values) { return *std::max_element(values.cbegin(), values.cend()); };
    std::printf("GUI thread held, download ended by (median / worst, ms):\n");
    std::printf("  stop():            %.2f / %.2f\n", median(stopped), worst(stopped));
    std::printf("  destruction:       %.2f / %.2f\n", median(destroyed), worst(destroyed));
    std::printf("  a newer download:  %.2f / %.2f\n", median(replaced), worst(replaced));
    std::printf("  blocking kill+wait: %.2f / %.2f\n", median(blocking), worst(blocking));
    std::printf("reaper's look at a zombie's group: %.2f ms (median)\n", look);
    // A newer download also starts its own process: shown, not in the ratio.
    std::printf("ratio worst stop or destruction / median blocking end: %.3f (goal: every figure <= 50 ms)\n",
                qMax(worst(stopped), worst(destroyed)) / median(blocking));
    return 0;
}

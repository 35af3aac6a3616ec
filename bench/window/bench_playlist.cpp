// A local feed of 5,000 entries listed through the application (the
// listing's adapter filling the download page's table, shown) against
// `yt-dlp --flat-playlist -J` alone, in the same run; and the longest stall
// of the GUI thread while the entries arrive, beside the longest one of the
// same thread idle for as long (what the machine's load alone gives) and the
// longest time the thread spent on one batch of entries.
//   bench_playlist [ROUNDS]

#include "BenchMedian.h"
#include "MediaFixture.h"
#include "Platform.h"
#include "PlaylistListing.h"
#include "PlaylistModel.h"
#include "PlaylistPanel.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace {

constexpr int entryCount = 5000;

struct Listed
{
    double seconds = 0;
    double longestGapMs = 0;
    double longestBatchMs = 0;
    int rows = 0;
};

// The longest gap between ticks of a 1 ms timer while `loop` runs.
struct Ticks
{
    QElapsedTimer clock;
    qint64 last = 0, longest = 0;
    QTimer tick;

    explicit Ticks(QObject *context)
    {
        QObject::connect(&tick, &QTimer::timeout, context, [this] {
            const qint64 now = clock.nsecsElapsed();
            longest = qMax(longest, now - last);
            last = now;
        });
        clock.start();
        tick.start(1);
    }
};

double idleGap(double seconds)
{
    QEventLoop loop;
    Ticks ticks(&loop);
    QTimer::singleShot(int(seconds * 1000), &loop, &QEventLoop::quit);
    loop.exec();
    return ticks.longest / 1e6;
}

Listed throughApplication(const QString &address, PlaylistPanel &panel)
{
    panel.model()->clear();
    PlaylistListing listing;
    qint64 batchLongest = 0;
    QObject::connect(&listing, &PlaylistListing::entriesArrived, panel.model(), [&](const QList<PlaylistEntry> &batch) {
        QElapsedTimer spent;
        spent.start();
        panel.model()->append(batch);
        batchLongest = qMax(batchLongest, spent.nsecsElapsed());
    });
    QEventLoop loop;
    QObject::connect(&listing, &PlaylistListing::finished, &loop, &QEventLoop::quit);
    Ticks ticks(&loop);
    listing.start(QUrl(address));
    loop.exec();
    return {ticks.clock.nsecsElapsed() / 1e9, ticks.longest / 1e6, batchLongest / 1e6, panel.model()->rowCount()};
}

double toolAlone(const QString &address)
{
    QProcess tool;
    QElapsedTimer clock;
    clock.start();
    tool.start(QStringLiteral("yt-dlp"), {QStringLiteral("--ignore-config"), QStringLiteral("--flat-playlist"),
                                          QStringLiteral("-J"), address});
    tool.waitForFinished(600000);
    tool.readAllStandardOutput();
    return clock.nsecsElapsed() / 1e9;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &text) {
        if (type != QtDebugMsg)
            std::fprintf(stderr, "%s\n", qPrintable(text));
    });
    const int rounds = argc > 1 ? qMax(1, atoi(argv[1])) : 3;
    QTemporaryDir appdata;
    qputenv("APPDATA", appdata.path().toUtf8());
    Platform::setApplicationFolder(QStringLiteral(VIDARRO_BIN_DIR));
    MediaFixture media;
    QList<std::pair<QString, QString>> items;
    for (int n = 1; n <= entryCount; ++n)
        items.append({QStringLiteral("Episode %1").arg(n), QStringLiteral("e%1.mp3").arg(n)});
    if (!media.start({.media = false}) || !media.addFeed(QStringLiteral("feed.xml"), QStringLiteral("Bench"), items)) {
        std::fprintf(stderr, "%s\n", qPrintable(media.errorString()));
        return 1;
    }
    const QString address = media.url(QStringLiteral("feed.xml"));
    PlaylistPanel panel;
    panel.resize(400, PlaylistPanel::panelHeight);
    panel.show();
    // The launcher's first run asks the tool what it is: not part of a listing.
    throughApplication(address, panel);
    QList<double> application, alone, gaps, idle, batches;
    for (int i = 0; i < rounds; ++i) {
        alone << toolAlone(address);
        const Listed listed = throughApplication(address, panel);
        if (listed.rows != entryCount) {
            std::fprintf(stderr, "%d entries listed, not %d\n", listed.rows, entryCount);
            return 1;
        }
        application << listed.seconds;
        gaps << listed.longestGapMs;
        batches << listed.longestBatchMs;
        idle << idleGap(listed.seconds);
    }
    const double a = median(application), t = median(alone);
    const auto most = [](const QList<double> &values) { return *std::max_element(values.cbegin(), values.cend()); };
    std::printf("%d-entry feed listed (median of %d): application %.2f s, yt-dlp --flat-playlist -J %.2f s, "
                "ratio %.2f (goal <= 1.10)\n",
                entryCount, rounds, a, t, a / t);
    std::printf("GUI thread while the entries arrive: longest stall %.1f ms (goal < 50), idle for as long %.1f ms, "
                "longest batch of entries %.1f ms\n",
                most(gaps), most(idle), most(batches));
    return 0;
}

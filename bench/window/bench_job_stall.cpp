// The longest stall of the GUI thread while three local saves run at full
// speed and the list of downloads, shown, holds 10,000 rows; against the
// same list idle for as long, in the same run.
//   bench_job_stall [SECONDS]

#include "DownloadsWindow.h"
#include "JobFactory.h"
#include "JobQueue.h"
#include "MediaFixture.h"
#include "Platform.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

namespace {

// The longest gap between ticks of a 1 ms timer while the loop runs for `ms`.
double longestGap(int ms)
{
    QEventLoop loop;
    QElapsedTimer clock;
    clock.start();
    qint64 last = 0;
    qint64 longest = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
        const qint64 now = clock.nsecsElapsed();
        longest = qMax(longest, now - last);
        last = now;
        if (now > qint64(ms) * 1000000)
            loop.quit();
    });
    tick.start(1);
    loop.exec();
    return longest / 1e6;
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
    const int seconds = argc > 1 ? qMax(1, atoi(argv[1])) : 5;
    QTemporaryDir appdata;
    qputenv("APPDATA", appdata.path().toUtf8());
    MediaFixture media;
    if (!media.start({.media = false})) {
        std::fprintf(stderr, "%s\n", qPrintable(media.errorString()));
        return 1;
    }
    media.route(QStringLiteral("/big.bin"), {.made = qint64(1500) * 1024 * 1024});

    JobQueue queue(&makeJob);
    QList<JobRecord> history;
    for (int i = 0; i < 10000; ++i) {
        JobRecord record;
        record.id = 100000 + i;
        record.state = JobState::Finished;
        record.result.state = JobState::Finished;
        record.request.name = QStringLiteral("A clip of some length, number %1").arg(i);
        record.request.address = QUrl(QStringLiteral("https://site%1.example/watch?v=%2").arg(i % 50).arg(i));
        record.result.size = 50000000;
        history << record;
    }
    queue.restoreFinished(history);
    DownloadsWindow list(&queue);
    list.resize(900, 500);
    list.show();
    const double idle = longestGap(seconds * 1000);

    QTemporaryDir out;
    for (int i = 0; i < 3; ++i) {
        JobRequest request;
        request.source = JobSource::Transfer;
        request.name = QStringLiteral("big %1").arg(i);
        request.address = QUrl(media.url(QStringLiteral("big.bin")));
        request.target = out.filePath(QStringLiteral("big%1.bin").arg(i));
        queue.add(request);
    }
    const double busy = longestGap(seconds * 1000);
    qint64 moved = 0;
    for (int row = 0; row < queue.count(); ++row)
        moved += queue.at(row).unfinished() ? queue.at(row).progress.done : 0;
    std::printf("longest GUI stall with three saves at full speed (%.0f MB in %d s) and 10,000 rows listed: %.1f ms; "
                "idle %.1f ms; ratio %.2f (goal < 50 ms)\n",
                moved / 1048576.0, seconds, busy, idle, busy / idle);
    for (int row = 0; row < queue.count(); ++row)
        if (queue.at(row).unfinished())
            queue.cancel(queue.at(row).id);
    QEventLoop settle;
    QTimer::singleShot(1000, &settle, &QEventLoop::quit);
    settle.exec();
    return 0;
}

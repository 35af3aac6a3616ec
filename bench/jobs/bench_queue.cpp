// Twenty small address downloads through the queue, three at once, against
// xargs -P3 running the same launcher command lines, in the same run.
//   bench_queue [ROUNDS]

#include "JobFactory.h"
#include "JobQueue.h"
#include "MediaFixture.h"
#include "Platform.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

namespace {

constexpr int jobCount = 20;

double throughQueue(const QString &address, const QString &folder)
{
    JobQueue queue(&makeJob);
    queue.setLimit(3);
    QEventLoop loop;
    int ended = 0;
    QObject::connect(&queue, &JobQueue::jobEnded, &loop, [&](qint64, const JobResult &result) {
        if (!result.ok())
            std::fprintf(stderr, "a job failed: %s\n", qPrintable(result.toolLine));
        if (++ended == jobCount)
            loop.quit();
    });
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < jobCount; ++i) {
        JobRequest request;
        request.address = QUrl(address);
        request.name = QStringLiteral("q%1").arg(i);
        request.target = folder + QStringLiteral("/q%1.mp4").arg(i);
        queue.add(request);
    }
    loop.exec();
    return clock.nsecsElapsed() / 1e9;
}

double throughXargs(const QString &address, const QString &folder)
{
    QByteArray lines;
    for (int i = 0; i < jobCount; ++i)
        lines += address.toUtf8() + '\0' + "-o" + '\0' + (folder + QStringLiteral("/x%1.mp4").arg(i)).toUtf8() + '\0';
    QProcess xargs;
    QElapsedTimer clock;
    clock.start();
    xargs.start(QStringLiteral("xargs"), {QStringLiteral("-0"), QStringLiteral("-n3"), QStringLiteral("-P3"),
                                          Platform::applicationFolder() + QStringLiteral("/run")});
    xargs.write(lines);
    xargs.closeWriteChannel();
    xargs.waitForFinished(600000);
    return clock.nsecsElapsed() / 1e9;
}

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.at(values.size() / 2);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    // The figures alone: the jobs' trace lines would be timed too.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &text) {
        if (type != QtDebugMsg)
            std::fprintf(stderr, "%s\n", qPrintable(text));
    });
    const int rounds = argc > 1 ? qMax(1, atoi(argv[1])) : 3;
    Platform::setApplicationFolder(QStringLiteral(VIDARRO_BIN_DIR));
    MediaFixture media;
    if (!media.start()) {
        std::fprintf(stderr, "%s\n", qPrintable(media.errorString()));
        return 1;
    }
    const QString address = media.url(QStringLiteral("clip.mp4"));
    QList<double> queued, xargs;
    for (int i = 0; i < rounds; ++i) {
        QTemporaryDir a, b;
        xargs << throughXargs(address, b.path());
        queued << throughQueue(address, a.path());
        if (QDir(a.path()).entryList(QDir::Files).size() != jobCount || QDir(b.path()).entryList(QDir::Files).size() != jobCount) {
            std::fprintf(stderr, "not every file was saved\n");
            return 1;
        }
    }
    const double q = median(queued), x = median(xargs);
    std::printf("%d small address downloads, 3 at once (median of %d): queue %.2f s, xargs -P3 %.2f s, ratio %.2f (goal <= 1.10)\n",
                jobCount, rounds, q, x, q / x);
    return 0;
}

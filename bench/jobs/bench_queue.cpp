// Twenty small address downloads through the queue, three at once, and the
// fifty entries of a playlist as its page saves them, each against xargs -P3
// running the same launcher command lines, in the same run.
//   bench_queue [ROUNDS]

#include "BenchMedian.h"
#include "JobFactory.h"
#include "JobQueue.h"
#include "PlaylistJobs.h"
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
#include <functional>

namespace {

// The jobs of one case: requests through the queue, the same addresses and
// targets' folder through xargs.
double throughQueue(const QList<JobRequest> &requests)
{
    const qsizetype jobCount = requests.size();
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
    for (const JobRequest &request : requests)
        queue.add(request);
    loop.exec();
    return clock.nsecsElapsed() / 1e9;
}

double throughXargs(const QList<JobRequest> &requests, const QString &folder)
{
    QByteArray lines;
    for (qsizetype i = 0; i < requests.size(); ++i)
        lines += requests.at(i).address.toString(QUrl::FullyEncoded).toUtf8() + '\0' + "-o" + '\0'
                 + (folder + QStringLiteral("/x%1.mp4").arg(i)).toUtf8() + '\0';
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
    // Small address downloads, each under a name of its own.
    const auto addresses = [&](const QString &folder) {
        QList<JobRequest> requests;
        for (int i = 0; i < 20; ++i) {
            JobRequest request;
            request.address = QUrl(media.url(QStringLiteral("clip.mp4")));
            request.name = QStringLiteral("q%1").arg(i);
            request.target = folder + QStringLiteral("/q%1.mp4").arg(i);
            requests << request;
        }
        return requests;
    };
    // A playlist's fifty entries, as "Download selected" makes their jobs.
    const auto playlist = [&](const QString &folder) {
        QList<PlaylistEntry> entries;
        for (int n = 1; n <= 50; ++n)
            entries << PlaylistEntry{n, QStringLiteral("Episode %1").arg(n), QStringLiteral("0:03"),
                                     QUrl(media.url(QStringLiteral("clip.mp4?episode=%1").arg(n))), {}, {}};
        JobRequest pattern;
        pattern.kind = JobKind::Video;
        pattern.selector = QStringLiteral("best");
        return PlaylistJobs::requests(entries, pattern, folder, {});
    };
    for (const auto &[name, make] : {std::pair<const char *, std::function<QList<JobRequest>(const QString &)>>{
                                         "small address downloads", addresses},
                                     {"entries of a playlist", playlist}}) {
        QList<double> queued, xargs;
        qsizetype count = 0;
        for (int i = 0; i < rounds; ++i) {
            QTemporaryDir a, b;
            const QList<JobRequest> requests = make(a.path());
            count = requests.size();
            xargs << throughXargs(requests, b.path());
            queued << throughQueue(requests);
            if (QDir(a.path()).entryList(QDir::Files).size() != count || QDir(b.path()).entryList(QDir::Files).size() != count) {
                std::fprintf(stderr, "not every file was saved\n");
                return 1;
            }
        }
        const double q = median(queued), x = median(xargs);
        std::printf("%lld %s, 3 at once (median of %d): queue %.2f s, xargs -P3 %.2f s, ratio %.2f (goal <= 1.10)\n",
                    static_cast<long long>(count), name, rounds, q, x, q / x);
    }
    return 0;
}

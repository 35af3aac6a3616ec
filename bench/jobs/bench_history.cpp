// The history's start: open() of a history with 10,000 jobs (20 of them
// unfinished) against one with none, and one with 100,000 for scale.
//   bench_history [ROUNDS]

#include "BenchMedian.h"
#include "JobHistory.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

namespace {

void fill(const QString &folder, int count)
{
    JobHistory history(folder);
    history.open();
    for (int i = 1; i <= count; ++i) {
        JobRecord record;
        record.state = i % 500 == 0 ? JobState::Waiting : JobState::Finished;
        record.request.name = QStringLiteral("A clip of some length, number %1").arg(i);
        record.request.address = QUrl(QStringLiteral("https://site%1.example/watch?v=%2").arg(i % 50).arg(i));
        if (record.state == JobState::Waiting)
            record.request.requestHeader = QByteArray("Cookie: session=").append(200, 'x');
        record.request.target = QStringLiteral("/home/someone/Videos/clip %1.mp4").arg(i);
        record.result.file = record.request.target;
        record.result.size = 50'000'000;
        record.created = QDateTime::currentDateTimeUtc();
        history.add(record);
    }
}   // close() writes what is pending

// The time of open() alone, in seconds, and the rows it loaded.
double openTime(const QString &folder, qsizetype &loaded)
{
    JobHistory history(folder);
    QElapsedTimer clock;
    clock.start();
    const JobHistory::Opened opened = history.open();
    const double seconds = clock.nsecsElapsed() / 1e9;
    loaded = opened.ok ? opened.jobs.size() : -1;
    return seconds;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? qMax(1, atoi(argv[1])) : 21;
    QTemporaryDir none, some, many;
    fill(none.path(), 0);
    fill(some.path(), 10'000);
    fill(many.path(), 100'000);
    // Interleaved rounds, so a busy moment of the machine weighs on all three alike.
    qsizetype noneRows = 0, someRows = 0, manyRows = 0;
    QList<double> noneTimes, someTimes, manyTimes;
    for (int i = 0; i < rounds; ++i) {
        noneTimes << openTime(none.path(), noneRows);
        someTimes << openTime(some.path(), someRows);
        manyTimes << openTime(many.path(), manyRows);
    }
    const double empty = median(noneTimes), tenThousand = median(someTimes), hundredThousand = median(manyTimes);
    std::printf("open() (median of %d): none %.2f ms, 10,000 jobs %.2f ms (%lld rows loaded), ratio %.2f "
                "(goal <= 1.2 and < 300 ms)\n",
                rounds, empty * 1e3, tenThousand * 1e3, static_cast<long long>(someRows), tenThousand / empty);
    std::printf("open() with 100,000 jobs: %.2f ms (%lld rows loaded)\n", hundredThousand * 1e3,
                static_cast<long long>(manyRows));
    return noneRows < 0 || someRows < 0 || manyRows < 0 ? 1 : 0;
}

#include "JobHistory.h"

#include <QCoreApplication>
#include <QTimer>

#include <cstdio>

// Usage: history_writer FOLDER
// Keeps four jobs at a time going through the history, Waiting, Running,
// Finished, then the next, and prints "<id> <state>" for every commit, so a
// test can kill it mid-write and compare. Ends after a minute.
int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 2)
        return 2;
    JobHistory history(QString::fromLocal8Bit(argv[1]));
    if (!history.open().ok)
        return 1;
    const auto next = [&history] {
        JobRecord record;
        record.request.name = QStringLiteral("clip");
        record.request.address = QUrl(QStringLiteral("https://media.example/v"));
        record.request.requestHeader = "Cookie: a=b\r\n";
        history.add(record);
    };
    QObject::connect(&history, &JobHistory::committed, &app, [&](qint64 id, JobState state) {
        std::printf("%lld %d\n", static_cast<long long>(id), int(state));
        std::fflush(stdout);
        if (state == JobState::Finished)
            return next();
        JobRecord record;
        record.id = id;
        record.state = state == JobState::Waiting ? JobState::Running : JobState::Finished;
        record.progress.done = id * 1000;
        history.store(record);
    });
    for (int i = 0; i < 4; ++i)
        next();
    QTimer::singleShot(60000, &app, &QCoreApplication::quit);
    return app.exec();
}

// The jobs core as the application runs it, in a process of its own for the
// crash test: the queue with its history in APPDATA's per-user folder, the
// real engines. "queue_runner add URL TARGET…" adds one sniffed save per pair
// with a cookie, then runs; "queue_runner resume" takes up what the last run
// left. Prints "running N" once N jobs run together and "done" when none is
// left unfinished.

#include "JobFactory.h"
#include "JobKeeper.h"
#include "JobQueue.h"
#include "Platform.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTimer>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    QDir().mkpath(Platform::perUserFolder());
    JobQueue queue(&makeJob);
    queue.setLimit(JobQueue::maxLimit);
    JobKeeper keeper(&queue, Platform::perUserFolder());
    const QString said = keeper.open(true);
    if (!said.isEmpty())
        std::fprintf(stderr, "%s\n", qPrintable(said));
    for (int i = 1; args.value(0) == QLatin1String("add") && i + 1 < args.size(); i += 2) {
        JobRequest request;
        request.source = JobSource::Transfer;
        request.name = QFileInfo(args.at(i + 1)).fileName();
        request.address = QUrl(args.at(i));
        request.requestHeader = "GET / HTTP/1.1\r\nCookie: sid=queue-s3cret\r\n\r\n";
        request.target = args.at(i + 1);
        queue.add(request);
    }
    int most = 0;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, &app, [&] {
        if (queue.runningCount() > most) {
            most = queue.runningCount();
            std::printf("running %d\n", most);
            std::fflush(stdout);
        }
        for (int row = 0; row < queue.count(); ++row)
            if (queue.at(row).unfinished())
                return;
        keeper.close();
        std::printf("done\n");
        std::fflush(stdout);
        app.quit();
    });
    watch.start(20);
    return app.exec();
}

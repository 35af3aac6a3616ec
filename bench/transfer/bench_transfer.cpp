#include "CYouTubeDownloader.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>

#include <cstdio>

namespace {

// A line of /proc/self/status in kB, e.g. "VmRSS" or "VmHWM".
long statusKb(const char *key)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray wanted = QByteArray(key) + ':';
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith(wanted))
            return line.mid(wanted.size()).trimmed().split(' ').value(0).toLong();
    return -1;
}

} // namespace

// Usage: bench_transfer URL FILE
int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: bench_transfer URL FILE\n");
        return 2;
    }
    qputenv("QT_LOGGING_RULES", "*.debug=false");
    CYouTubeDownloader transfer;
    transfer.url = QString::fromLocal8Bit(argv[1]);
    transfer.requestHeader = "GET / HTTP/1.1\r\nUser-Agent: bench\r\n\r\n";
    transfer.filePath = QString::fromLocal8Bit(argv[2]);
    QObject::connect(&transfer, &CYouTubeDownloader::finished, &app, &QCoreApplication::quit);

    const long idleKb = statusKb("VmRSS");
    QElapsedTimer clock;
    clock.start();
    transfer.startTransfer();
    app.exec();
    const double seconds = clock.nsecsElapsed() / 1e9;
    const long peakKb = statusKb("VmHWM");

    std::printf("bytes=%llu seconds=%.3f idle_rss_kb=%ld peak_rss_kb=%ld ok=%d\n",
                static_cast<unsigned long long>(transfer.bytesWritten()), seconds, idleKb, peakKb,
                transfer.succeeded() ? 1 : 0);
    if (!transfer.succeeded())
        std::fprintf(stderr, "%s\n", qPrintable(transfer.errorString()));
    return transfer.succeeded() ? 0 : 1;
}

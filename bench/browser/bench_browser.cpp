// Browser capture through the native host into the window's side, against
// the same frames written straight to the window's socket in the same run.
//
// Latency: 50 streams, one at a time; each is timed from its frame written
// to the host's stdin to streamSeen. The reference frames go straight to
// the session's socket; the two kinds alternate.
// Flood: 10,000 streams written to the host at once. Every one must come
// back answered (to the window, kept in the spool, or refused) and the
// host's RSS must stay flat; the reference writes them straight to the socket.
//
// Usage: bench_browser [HOST]   (default: the host beside this build)

#include "BrowserFrame.h"
#include "BrowserMessage.h"
#include "BrowserSession.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QLocalSocket>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>

namespace {

constexpr int latencyRounds = 50;
constexpr int floodSize = 10000;

// A stream with the headers a browser sends for a media request (~1 kB).
QByteArray streamFrame(int i)
{
    BrowserStream stream;
    stream.url = QStringLiteral("https://media.example/v/%1/clip.mp4?sig=0123456789abcdef").arg(i);
    stream.method = QStringLiteral("GET");
    stream.status = 206;
    for (const char *name : {"sec-ch-ua-platform", "User-Agent", "sec-ch-ua", "Range", "Accept", "Sec-Fetch-Site",
                             "Sec-Fetch-Mode", "Sec-Fetch-Dest", "Referer", "Accept-Encoding", "Accept-Language"})
        stream.requestHeaders.append({name, QByteArray(60, 'v')});
    stream.requestHeaders.append({"Cookie", QByteArray(300, 'c')});
    stream.contentType = QStringLiteral("video/mp4");
    stream.contentLength = 5000000;
    stream.contentRange = QStringLiteral("bytes 0-4999999/5000000");
    stream.tabTitle = QStringLiteral("A page with a video");
    stream.pageUrl = QStringLiteral("https://media.example/watch");
    stream.seen = QDateTime::currentDateTimeUtc();
    return BrowserFrame::encode(QJsonDocument(browserStreamJson(stream)).toJson(QJsonDocument::Compact));
}

long rssKb(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

// Runs the event loop until done() holds or the time is up.
bool runUntil(const std::function<bool()> &done, int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    }
    return true;
}

double percentile(QList<double> values, double p)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values.at(qsizetype(p * double(values.size() - 1)));
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    qputenv("QT_LOGGING_RULES", "*.warning=false");
    const QString hostProgram = argc > 1 ? QString::fromLocal8Bit(argv[1])
                                         : QCoreApplication::applicationDirPath() + QStringLiteral("/../bin/vidarro-browser-host");
    QTemporaryDir appData;
    const QString folder = appData.path() + QStringLiteral("/Vidarro");
    QDir().mkpath(folder);

    BrowserSession session(folder);
    qint64 seen = 0;
    QObject::connect(&session, &BrowserSession::streamSeen, &app, [&seen] { ++seen; });
    if (!session.start()) {
        std::fprintf(stderr, "cannot listen: %s\n", qPrintable(session.errorString()));
        return 1;
    }

    QProcess host;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("APPDATA"), appData.path());
    host.setProcessEnvironment(environment);
    host.start(hostProgram, {QStringLiteral("chrome-extension://bench/")});
    FrameReader answers;
    qint64 toWindow = 0, toSpool = 0, refused = 0;
    QObject::connect(&host, &QProcess::readyReadStandardOutput, &app, [&] {
        answers.append(host.readAllStandardOutput());
        while (const auto frame = answers.next()) {
            const QJsonObject answer = QJsonDocument::fromJson(frame->payload).object();
            ++(answer.value(QStringLiteral("ok")).toBool()
                   ? (answer.value(QStringLiteral("window")).toBool() ? toWindow : toSpool) : refused);
        }
    });
    QLocalSocket direct;
    direct.connectToServer(session.serverName());
    QObject::connect(&direct, &QLocalSocket::readyRead, &app, [&direct] { direct.readAll(); });
    if (!host.waitForStarted(5000) || !direct.waitForConnected(5000)
        || !runUntil([&] { return session.isBrowserConnected(); }, 5000)) {
        std::fprintf(stderr, "the host did not start or connect: %s\n", qPrintable(hostProgram));
        return 1;
    }

    // Latency, one stream at a time, host and direct alternating.
    QList<double> viaHost, viaSocket;
    for (int i = 0; i < latencyRounds * 2; ++i) {
        const qint64 before = seen;
        const QByteArray frame = streamFrame(i);
        QElapsedTimer clock;
        clock.start();
        i % 2 ? direct.write(frame) : host.write(frame);
        if (!runUntil([&] { return seen > before; }, 5000)) {
            std::fprintf(stderr, "stream %d never arrived\n", i);
            return 1;
        }
        (i % 2 ? viaSocket : viaHost) << double(clock.nsecsElapsed()) / 1e6;
    }
    std::printf("latency frame -> streamSeen, %d streams each:\n", latencyRounds);
    std::printf("  through the host  median %.3f ms  worst %.3f ms\n", percentile(viaHost, 0.5), percentile(viaHost, 1));
    std::printf("  straight (ref.)   median %.3f ms  worst %.3f ms\n", percentile(viaSocket, 0.5), percentile(viaSocket, 1));
    std::printf("  ratio host/ref.   median %.2f\n", percentile(viaHost, 0.5) / percentile(viaSocket, 0.5));

    // The host answers after the window did: wait for the last answers.
    runUntil([&] { return toWindow + toSpool + refused >= latencyRounds; }, 5000);

    // The longest time the session's thread went without running its event loop.
    QElapsedTimer tick;
    qint64 longestGapNs = 0;
    QTimer stallProbe;
    QObject::connect(&stallProbe, &QTimer::timeout, &app, [&] {
        longestGapNs = std::max(longestGapNs, tick.nsecsElapsed());
        tick.start();
    });

    // Flood through the host.
    QByteArray flood;
    for (int i = 0; i < floodSize; ++i)
        flood += streamFrame(100000 + i);
    toWindow = toSpool = refused = 0;
    const qint64 seenBefore = seen;
    QList<long> rss{rssKb(host.processId())};
    QElapsedTimer clock;
    clock.start();
    host.write(flood);
    tick.start();
    stallProbe.start(1);
    qint64 nextSample = floodSize / 4;
    const bool answered = runUntil([&] {
        if (toWindow + toSpool + refused >= nextSample) {
            rss << rssKb(host.processId());
            nextSample += floodSize / 4;
        }
        return toWindow + toSpool + refused >= floodSize;
    }, 300000);
    const double hostSeconds = double(clock.nsecsElapsed()) / 1e9;
    const qint64 hostStallNs = std::exchange(longestGapNs, 0);
    const qint64 lost = floodSize - (toWindow + toSpool + refused);

    // Reference flood straight into the socket.
    const qint64 seenMiddle = seen;
    clock.start();
    direct.write(flood);
    tick.start();
    runUntil([&] { return seen - seenMiddle >= floodSize; }, 300000);
    const double directSeconds = double(clock.nsecsElapsed()) / 1e9;
    stallProbe.stop();

    std::printf("flood of %d streams through the host: %lld to the window, %lld kept in the spool, "
                "%lld refused, %lld unanswered; the session saw %lld\n",
                floodSize, toWindow, toSpool, refused, lost, seenMiddle - seenBefore);
    std::printf("  through the host %.2f s (%.0f/s), straight (ref.) %.2f s (%.0f/s), ratio %.2f\n", hostSeconds,
                floodSize / hostSeconds, directSeconds, floodSize / directSeconds, hostSeconds / directSeconds);
    std::printf("  host RSS kB at 0/25/50/75/100 %%:");
    for (long kb : rss)
        std::printf(" %ld", kb);
    std::printf("  (last/first %.2f)\n", double(rss.last()) / double(rss.first()));
    std::printf("  longest stall of the session's thread: through the host %.1f ms, straight (ref.) %.1f ms\n",
                double(hostStallNs) / 1e6, double(longestGapNs) / 1e6);

    host.closeWriteChannel();
    host.waitForFinished(10000);
    return answered && lost == 0 && toWindow == seenMiddle - seenBefore ? 0 : 1;
}

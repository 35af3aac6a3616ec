// Saving a local HLS stream (master, two variants, an audio group) through
// the application's stream save (the downloader tool's launcher with the
// browser's headers in an options file) against yt-dlp alone with the same
// headers and format selector. Best of three each; prints the ratio.

#include "MediaFixture.h"
#include "StreamSave.h"
#include "StreamText.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cstdio>

namespace {

const QByteArray requestHeader = "GET /hls/master.m3u8 HTTP/1.1\r\nHost: 127.0.0.1\r\nUser-Agent: BenchPlayer/1.0\r\n"
                                 "Referer: http://127.0.0.1/page.html\r\nCookie: session=bench\r\n\r\n";

double throughApplication(const QUrl &address, const QString &target)
{
    StreamSave save;
    QEventLoop loop;
    bool ok = false;
    QObject::connect(&save, &StreamSave::finished, &loop, [&](const StreamSave::Result &result) {
        ok = result.ok;
        loop.quit();
    });
    QElapsedTimer clock;
    clock.start();
    save.start({QStringLiteral(VIDARRO_BIN_DIR "/run"), address, requestHeader, streams::formatSelector(), target});
    loop.exec();
    return ok ? clock.elapsed() / 1000.0 : -1;
}

double toolAlone(const QUrl &address, const QString &target)
{
    QProcess tool;
    QElapsedTimer clock;
    clock.start();
    tool.start(QStandardPaths::findExecutable("yt-dlp"),
               {"--ignore-config", "--no-cache-dir", "--quiet", "--add-header", "User-Agent:BenchPlayer/1.0",
                "--add-header", "Referer:http://127.0.0.1/page.html", "--add-header", "Cookie:session=bench",
                "--merge-output-format", "mp4", "--format", streams::formatSelector(), "-o", target, "--",
                address.toString()});
    const bool ok = tool.waitForFinished(120000) && tool.exitCode() == 0;
    return ok ? clock.elapsed() / 1000.0 : -1;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    MediaFixture media;
    if (!media.start({.media = false}) || !media.makeStreams(20)) {
        std::fprintf(stderr, "%s\n", qPrintable(media.errorString()));
        return 1;
    }
    const QUrl address(media.url(QStringLiteral("hls/master.m3u8")));
    double ours = 1e9, alone = 1e9;
    for (int round = 0; round < 3; ++round) {
        QTemporaryDir folder;
        const double a = toolAlone(address, folder.filePath(QStringLiteral("alone.mp4")));
        const double o = throughApplication(address, folder.filePath(QStringLiteral("ours.mp4")));
        if (a < 0 || o < 0) {
            std::fprintf(stderr, "a save failed (alone %.2f, ours %.2f)\n", a, o);
            return 1;
        }
        alone = std::min(alone, a);
        ours = std::min(ours, o);
    }
    std::printf("HLS stream of 20 s, 1280x720 + 640x360 + audio group, best quality merged with its audio\n");
    std::printf("yt-dlp alone:             %.2f s\n", alone);
    std::printf("through the application:  %.2f s\n", ours);
    std::printf("ratio application/yt-dlp: %.3f\n", ours / alone);
    return 0;
}

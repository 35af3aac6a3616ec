// The verified update of the downloader from a local mirror: a zipapp of
// Debian's yt_dlp (about 9 MB) with signed sums, served from 127.0.0.1. The
// update goes through the driver (Downloader::checkUpdates, as Ctrl+U does)
// while a 10 ms probe timer measures the longest stall of the GUI thread.
// References in the same run: the same file fetched by curl alone and run
// once with --version, unverified; the same probe on an idle loop for as long.
//   bench_toolupdate [ROUNDS]

#include "BenchMedian.h"
#include "Downloader.h"
#include "MediaFixture.h"
#include "Platform.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace {

bool run(const QString &program, const QStringList &arguments, const QProcessEnvironment &env = {})
{
    QProcess process;
    if (!env.isEmpty())
        process.setProcessEnvironment(env);
    process.start(program, arguments);
    return process.waitForFinished(300000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

bool writeAll(const QString &path, const QByteArray &data)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

// The release: the zipapp, its sums and their signature by a key made here.
bool makeRelease(const QString &work, const QString &folder, QProcessEnvironment &gpg)
{
    gpg = QProcessEnvironment::systemEnvironment();
    gpg.insert("GNUPGHOME", work + "/gnupg");
    const QString source = work + "/source";
    if (!QDir().mkpath(work + "/gnupg") || !QFile::setPermissions(work + "/gnupg", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner)
        || !QDir().mkpath(source) || !QDir().mkpath(folder)
        || !run("cp", {"-r", "/usr/lib/python3/dist-packages/yt_dlp", source + "/"}))
        return false;
    QDirIterator caches(source, {"__pycache__"}, QDir::Dirs, QDirIterator::Subdirectories);
    while (caches.hasNext())
        QDir(caches.next()).removeRecursively();
    const QString tool = folder + "/yt-dlp";
    if (!run("/usr/bin/python3", {"-m", "zipapp", source, "-o", tool, "-p", "/usr/bin/env /usr/bin/python3", "-m",
                                  "yt_dlp:main"}))
        return false;
    QFile file(tool);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray sum = QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256).toHex();
    const QStringList batch{"--batch", "--yes", "--passphrase", ""};
    return writeAll(folder + "/SHA2-256SUMS", sum + "  yt-dlp\n")
           && run("gpg", batch + QStringList{"--quick-gen-key", "Bench <b@example.invalid>", "rsa2048", "sign", "never"}, gpg)
           && run("gpg", batch + QStringList{"--armor", "--output", work + "/key.asc", "--export", "b@example.invalid"}, gpg)
           && run("gpg", batch + QStringList{"--detach-sign", "-o", folder + "/SHA2-256SUMS.sig", folder + "/SHA2-256SUMS"}, gpg);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 3;
    QTemporaryDir work;
    MediaFixture media;
    if (!work.isValid() || !media.start(MediaFixture::Setup{false, false})) {
        std::fprintf(stderr, "no fixture: %s\n", qPrintable(media.errorString()));
        return 1;
    }
    QProcessEnvironment gpg;
    if (!makeRelease(work.path(), media.filePath("release"), gpg)) {
        std::fprintf(stderr, "cannot make the release\n");
        return 1;
    }
    const qint64 size = QFileInfo(media.filePath("release/yt-dlp")).size();
    qputenv("XDG_DATA_HOME", work.filePath("data").toUtf8());
    qunsetenv("APPDATA");
    qputenv("VIDARRO_TOOL_KEY", work.filePath("key.asc").toUtf8());
    Platform::setApplicationFolder(QStringLiteral(VIDARRO_BIN_DIR));

    QList<double> updates, references, stalls, idleStalls;
    for (int round = 0; round < rounds; ++round) {
        QDir(work.filePath("data")).removeRecursively();
        Downloader driver;
        driver.setReleaseUrl(media.url("release"));
        QEventLoop loop;
        QElapsedTimer probe;
        double longest = 0;
        QTimer ticks;
        QObject::connect(&ticks, &QTimer::timeout, &loop, [&] {
            longest = std::max(longest, double(probe.restart()));
        });
        QObject::connect(&driver, &Downloader::snifferUpdated, &loop, [&] { loop.exit(0); });
        QObject::connect(&driver, &Downloader::hasError, &loop, [&] { loop.exit(1); });
        QElapsedTimer clock;
        clock.start();
        probe.start();
        ticks.start(10);
        driver.checkUpdates();
        if (loop.exec() != 0) {
            std::fprintf(stderr, "the update failed\n");
            return 1;
        }
        updates << clock.elapsed() / 1000.0;
        stalls << longest - 10;
        // The same probe with nothing to do: what the machine itself costs.
        longest = 0;
        QTimer::singleShot(int(clock.elapsed()), &loop, [&] { loop.exit(0); });
        probe.restart();
        loop.exec();
        idleStalls << longest - 10;

        const QString copy = work.filePath("bare-yt-dlp");
        QFile::remove(copy);
        clock.restart();
        if (!run("curl", {"--fail", "--silent", "-o", copy, media.url("release/yt-dlp")})
            || !QFile::setPermissions(copy, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner)
            || !run(copy, {"--version"})) {
            std::fprintf(stderr, "the reference failed\n");
            return 1;
        }
        references << clock.elapsed() / 1000.0;
    }
    std::printf("tool of %.1f MB, %d rounds (medians)\n", size / 1e6, rounds);
    std::printf("verified update through the driver: %.2f s\n", median(updates));
    std::printf("bare curl + --version (reference):  %.2f s\n", median(references));
    std::printf("ratio update / reference:           %.2f\n", median(updates) / median(references));
    const double stall = *std::max_element(stalls.cbegin(), stalls.cend());
    const double idle = *std::max_element(idleStalls.cbegin(), idleStalls.cend());
    std::printf("longest GUI stall during the update: %.0f ms beyond the 10 ms tick (limit 50)\n", stall);
    std::printf("longest stall of an idle loop:       %.0f ms (the machine's own share)\n", idle);
    return 0;
}

// What the browser extension costs the browser: the load time of a local
// page making 200 requests, in headless Chromium with the extension (its host
// manifest installed, so it runs as it does for a user) and without it, in
// the same run. Launches alternate between the two; each launch loads the
// page several times, the first load of each launch is a warm-up. The page
// times itself (navigation start to the load event) and reports to the
// tests' server, which keeps every request head.
//
// Usage: bench_extension [LAUNCHES] [LOADS]   (default 3 launches of 8 loads each way)

#include "MediaFixture.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QUrlQuery>

#include <algorithm>
#include <cstdio>

namespace {

constexpr int requestsPerPage = 200;

// Loads itself `loads` times; each load fetches 200 small files named by the
// load and reports its time to /done.
QByteArray benchPage(int loads)
{
    return "<!DOCTYPE html><html><head><title>200 requests</title></head><body><script>\n"
           "const q = new URLSearchParams(location.search);\n"
           "const run = q.get('run'), load = Number(q.get('load'));\n"
           "for (let i = 0; i < " + QByteArray::number(requestsPerPage) + "; ++i) {\n"
           "  const img = document.createElement('img');\n"
           "  img.src = `/dot.bin?run=${run}&load=${load}&i=${i}`;\n"
           "  document.body.appendChild(img);\n"
           "}\n"
           "addEventListener('load', () => setTimeout(() => {\n"
           "  const t = performance.getEntriesByType('navigation')[0];\n"
           "  fetch(`/done?run=${run}&load=${load}&ms=${t.loadEventStart}`).finally(() => {\n"
           "    if (load + 1 < " + QByteArray::number(loads) + ") location = `/bench.html?run=${run}&load=${load + 1}`;\n"
           "  });\n"
           "}));\n"
           "</script></body></html>\n";
}

// The load times reported for one launch, in load order.
QList<double> reported(const MediaFixture &server, const QString &run)
{
    QMap<int, double> times;
    for (const QByteArray &head : server.requestHeads(QStringLiteral("/done"))) {
        const QUrlQuery query(QUrl::fromEncoded(head.split(' ').value(1)));
        if (query.queryItemValue(QStringLiteral("run")) == run)
            times.insert(query.queryItemValue(QStringLiteral("load")).toInt(),
                         query.queryItemValue(QStringLiteral("ms")).toDouble());
    }
    return times.values();
}

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values.at(values.size() / 2);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int launches = argc > 1 ? qMax(1, atoi(argv[1])) : 3;
    const int loads = argc > 2 ? qMax(2, atoi(argv[2])) : 8;
    const QString chromium = QStandardPaths::findExecutable(QStringLiteral("chromium"));
    if (chromium.isEmpty()) {
        std::fprintf(stderr, "chromium is not installed\n");
        return 1;
    }
    MediaFixture server(QStringLiteral("127.0.0.3"));
    if (!server.start({.media = false})) {
        std::fprintf(stderr, "the server did not start: %s\n", qPrintable(server.errorString()));
        return 1;
    }
    // A 1x1 GIF under a name no media rule matches, as most of a page's requests are.
    server.addFile(QStringLiteral("dot.bin"),
                   QByteArray::fromBase64("R0lGODlhAQABAIAAAP///wAAACH5BAEAAAAALAAAAAABAAEAAAICRAEAOw=="));
    server.addFile(QStringLiteral("bench.html"), benchPage(loads));

    QTemporaryDir work;
    const QString host = QCoreApplication::applicationDirPath() + QStringLiteral("/../bin/vidarro-browser-host");
    QList<double> with, without;
    for (int launch = 0; launch < launches * 2; ++launch) {
        const bool extension = launch % 2 == 0;
        const QString run = QString::number(launch);
        const QString profile = work.filePath(QStringLiteral("profile") + run);
        QDir().mkpath(profile);
        QStringList arguments{"--headless=new", "--no-sandbox", "--disable-gpu", "--no-first-run",
                              "--disable-background-networking", "--disable-component-update", "--disable-sync",
                              "--user-data-dir=" + profile};
        if (extension) {
            QProcess::execute(QStringLiteral("bash"), {VIDARRO_SOURCE_DIR "/tools/browser/install-host-manifests.sh",
                                                       "--profile", profile, "--host", host});
            arguments << QStringLiteral("--load-extension=" VIDARRO_SOURCE_DIR "/browser/extension");
        }
        // A first page given on the command line may stall while the extension loads.
        arguments << QStringLiteral("data:text/html,<script>setTimeout(()=>location='%1',500)</script>")
                         .arg(server.url(QStringLiteral("bench.html?run=%1&load=0").arg(run)));
        QProcess browser;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("APPDATA"), work.path());
        browser.setProcessEnvironment(environment);
        browser.setStandardOutputFile(QProcess::nullDevice());
        browser.setStandardErrorFile(QProcess::nullDevice());
        browser.start(chromium, arguments);
        QElapsedTimer clock;
        clock.start();
        while (reported(server, run).size() < loads && clock.elapsed() < 120000)
            QThread::msleep(100);
        browser.terminate();
        browser.waitForFinished(30000);
        QList<double> times = reported(server, run);
        if (times.size() < loads) {
            std::fprintf(stderr, "launch %d (%s) reported %lld of %d loads\n", launch,
                         extension ? "with" : "without", qint64(times.size()), loads);
            return 1;
        }
        times.removeFirst();   // the warm-up
        (extension ? with : without) << times;
    }
    const double withMs = median(with), withoutMs = median(without);
    std::printf("page of %d requests, %lld loads each way (%d launches, first load of each left out):\n",
                requestsPerPage, qint64(with.size()), launches);
    std::printf("  without the extension (ref.)  median %.1f ms  worst %.1f ms\n", withoutMs,
                *std::max_element(without.cbegin(), without.cend()));
    std::printf("  with the extension            median %.1f ms  worst %.1f ms\n", withMs,
                *std::max_element(with.cbegin(), with.cend()));
    std::printf("  ratio with/without            %.3f  (goal <= 1.05)\n", withMs / withoutMs);
    return 0;
}

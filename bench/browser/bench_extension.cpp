// What the browser extension costs the browser: the load time of a local
// page of 200 images and of a page making 200 fetch() calls, in headless
// Chromium without the extension, with it as shipped (watching off) and with
// a copy that holds webRequest (watching on), its host manifest installed so
// it runs as it does for a user; all in the same run. Beside them, an
// extension that holds webRequest and listens to nothing: what Chromium's
// passing every request through its own process costs by itself, the least
// any watching can cost. Launches rotate between the four; each launch loads
// each page several times, the first load of each page a warm-up. The page times itself (navigation start to the load
// event, or to the last fetch's end) and reports to the tests' server, which
// keeps every request head.
//
// Usage: bench_extension [LAUNCHES] [LOADS]   (default 3 launches of 8 loads of each page each way)

#include "BenchMedian.h"
#include "MediaFixture.h"
#include "TestMessages.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
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

// Loads itself `loads` times, then the other page (the image page first):
// each load asks for 200 small files named by the load and reports its time
// to /done.
QByteArray benchPage(int loads)
{
    return "<!DOCTYPE html><html><head><title>200 requests</title></head><body><script>\n"
           "const q = new URLSearchParams(location.search);\n"
           "const run = q.get('run'), page = q.get('page'), load = Number(q.get('load'));\n"
           "const report = (ms) => fetch(`/done?run=${run}&page=${page}&load=${load}&ms=${ms}`).finally(() => {\n"
           "  if (load + 1 < " + QByteArray::number(loads) + ") location = `/bench.html?run=${run}&page=${page}&load=${load + 1}`;\n"
           "  else if (page === 'img') location = `/bench.html?run=${run}&page=fetch&load=0`;\n"
           "});\n"
           "const names = [...Array(" + QByteArray::number(requestsPerPage) + ").keys()].map((i) =>\n"
           "  `/dot.bin?run=${run}&page=${page}&load=${load}&i=${i}`);\n"
           "if (page === 'img') {\n"
           "  for (const name of names) {\n"
           "    const img = document.createElement('img');\n"
           "    img.src = name;\n"
           "    document.body.appendChild(img);\n"
           "  }\n"
           "  addEventListener('load', () => setTimeout(() =>\n"
           "    report(performance.getEntriesByType('navigation')[0].loadEventStart)));\n"
           "} else {\n"
           "  Promise.allSettled(names.map((name) => fetch(name).then((r) => r.arrayBuffer())))\n"
           "    .then(() => setTimeout(() => report(performance.now())));\n"
           "}\n"
           "</script></body></html>\n";
}

// The load times reported for one launch and page, in load order.
QList<double> reported(const MediaFixture &server, const QString &run, const QString &page)
{
    QMap<int, double> times;
    for (const QByteArray &head : server.requestHeads(QStringLiteral("/done"))) {
        const QUrlQuery query(QUrl::fromEncoded(head.split(' ').value(1)));
        if (query.queryItemValue(QStringLiteral("run")) == run && query.queryItemValue(QStringLiteral("page")) == page)
            times.insert(query.queryItemValue(QStringLiteral("load")).toInt(),
                         query.queryItemValue(QStringLiteral("ms")).toDouble());
    }
    return times.values();
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
    const QString watchingCopy = work.filePath(QStringLiteral("watching"));
    if (!copyWatchingExtension(watchingCopy, "chromium")) {
        std::fprintf(stderr, "the watching copy of the extension could not be made\n");
        return 1;
    }
    const QString host = QCoreApplication::applicationDirPath() + QStringLiteral("/../bin/vidarro-browser-host");
    const QString floorCopy = work.filePath(QStringLiteral("floor"));
    QDir().mkpath(floorCopy);
    for (const auto &[name, text] : {std::pair{"background.js", QByteArray("\n")},
                                     {"manifest.json", R"({"manifest_version": 3, "name": "floor", "version": "1",
                                        "permissions": ["webRequest"], "background": {"service_worker": "background.js"}})"}}) {
        QFile file(floorCopy + '/' + name);
        if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size()) {
            std::fprintf(stderr, "the listening-to-nothing extension could not be made\n");
            return 1;
        }
    }
    enum Setup { None, Off, On, Floor };
    const char *setupNames[] = {"without the extension (ref.)", "with it, watching off", "with it, watching on",
                                "webRequest, no listener"};
    const QStringList pages{QStringLiteral("img"), QStringLiteral("fetch")};
    QMap<std::pair<int, QString>, QList<double>> times;   // (setup, page) -> load times
    for (int launch = 0; launch < launches * 4; ++launch) {
        const Setup setup = Setup(launch % 4);
        const QString run = QString::number(launch);
        const QString profile = work.filePath(QStringLiteral("profile") + run);
        QDir().mkpath(profile);
        QStringList arguments{"--headless=new", "--no-sandbox", "--disable-gpu", "--no-first-run",
                              "--disable-background-networking", "--disable-component-update", "--disable-sync",
                              "--user-data-dir=" + profile};
        if (setup != None) {
            QProcess::execute(QStringLiteral("bash"), {VIDARRO_SOURCE_DIR "/tools/browser/install-host-manifests.sh",
                                                       "--profile", profile, "--host", host});
            arguments << QStringLiteral("--load-extension=")
                             + (setup == On      ? watchingCopy
                                : setup == Floor ? floorCopy
                                                 : QStringLiteral(VIDARRO_EXTENSION_DIR "/chromium"));
        }
        // A first page given on the command line may stall while the extension loads.
        arguments << QStringLiteral("data:text/html,<script>setTimeout(()=>location='%1',500)</script>")
                         .arg(server.url(QStringLiteral("bench.html?run=%1&page=img&load=0").arg(run)));
        QProcess browser;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("APPDATA"), work.path());
        browser.setProcessEnvironment(environment);
        browser.setStandardOutputFile(QProcess::nullDevice());
        browser.setStandardErrorFile(QProcess::nullDevice());
        browser.start(chromium, arguments);
        QElapsedTimer clock;
        clock.start();
        while (reported(server, run, pages.last()).size() < loads && clock.elapsed() < 240000)
            QThread::msleep(100);
        browser.terminate();
        browser.waitForFinished(30000);
        for (const QString &page : pages) {
            QList<double> got = reported(server, run, page);
            if (got.size() < loads) {
                std::fprintf(stderr, "launch %d (%s) reported %lld of %d loads of the %s page\n", launch,
                             setupNames[setup], qint64(got.size()), loads, qPrintable(page));
                return 1;
            }
            got.removeFirst();   // the warm-up
            times[{setup, page}] << got;
        }
    }
    std::printf("%d launches of each setup, %d loads of each page a launch (the first left out); median load time:\n",
                launches, loads);
    for (const QString &page : pages) {
        const double reference = median(times[{None, page}]);
        std::printf("%s page (%d %s):\n", page == pages.first() ? "image" : "fetch", requestsPerPage,
                    page == pages.first() ? "images" : "fetch() calls");
        for (const Setup setup : {None, Off, On, Floor}) {
            const QList<double> &list = times[{setup, page}];
            std::printf("  %-30s median %7.1f ms  worst %7.1f ms", setupNames[setup], median(list),
                        *std::max_element(list.cbegin(), list.cend()));
            if (setup == Off || setup == On)
                std::printf("  ratio %.3f (goal <= %.2f)", median(list) / reference, setup == Off ? 1.05 : 1.25);
            else if (setup == Floor)
                std::printf("  ratio %.3f (no extension can watch for less)", median(list) / reference);
            std::printf("\n");
        }
    }
    return 0;
}

// The window under a flood of stream reports: 10000 reports from four
// threads while the sniffed-media page lists at most 25, then 10000 browser
// messages written at once to the window's local socket, as hosts would. A
// 10 ms probe timer on the GUI thread measures the longest stall, against
// the same probe on an idle window in the same run.
//   bench_report_flood [REPORTS]

#include "BrowserCapture.h"
#include "BrowserFrame.h"
#include "BrowserMessage.h"
#include "BrowserSession.h"
#include "CaptureSession.h"
#include "Sniffer.h"
#include "UserDialogs.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QJsonDocument>
#include <QLocalSocket>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <cstdio>

namespace {

class Silent : public UserDialogs::Responder
{
public:
    void message(const UserDialogs::Message &) override {}
    QString folder(const QString &, const QString &) override { return {}; }
    bool saveDialog(QFileDialog *) override { return false; }
};

// Longest gap between 10 ms ticks while the loop runs for the given time.
qint64 longestStall(int runMs, const std::function<void()> &during = {})
{
    QElapsedTimer clock, sinceTick;
    qint64 worst = 0;
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        worst = qMax(worst, sinceTick.restart() - 10);
    });
    clock.start();
    sinceTick.start();
    probe.start(10);
    if (during)
        during();
    while (clock.elapsed() < runMs)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    return qMax<qint64>(0, worst);
}

// A media stream as the extension reports it, with a browser's headers.
QByteArray browserFrame(int i)
{
    BrowserStream stream;
    stream.url = QStringLiteral("https://flood.example/v/%1.mp4?sig=0123456789").arg(i);
    stream.method = QStringLiteral("GET");
    stream.status = 200;
    for (const char *name : {"User-Agent", "Accept", "Referer", "Accept-Language", "Cookie"})
        stream.requestHeaders.append({name, QByteArray(80, 'v')});
    stream.contentType = QStringLiteral("video/mp4");
    stream.contentLength = 200000 + i;
    stream.seen = QDateTime::currentDateTimeUtc();
    return BrowserFrame::encode(QJsonDocument(browserStreamJson(stream)).toJson(QJsonDocument::Compact));
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const int reports = argc > 1 ? qMax(1, atoi(argv[1])) : 10000;
    QTemporaryDir home;
    qputenv("APPDATA", home.path().toUtf8());
    Silent silent;
    UserDialogs::setResponder(&silent);

    Sniffer window;
    window.setUpdateCheckAllowed(false);
    window.initialise();
    window.show();
    window.showOldSniffer();

    const qint64 idle = longestStall(2000);
    QList<QThread *> senders;
    CaptureSession *session = window.captureSession();
    const qint64 flooded = longestStall(3000, [&] {
        for (int t = 0; t < 4; ++t) {
            senders << QThread::create([t, reports, session] {
                for (int i = 0; i < reports / 4; ++i) {
                    const QByteArray id = QByteArray::number(t * 1000000 + i);
                    session->queueReport("flood.example/" + id + ".mp4", "GET /x HTTP/1.1\r\n\r\n",
                                         QByteArray::number(200000 + t * 1000000 + i) + "\r\n", "mp4\r\n");
                    if (i % 100 == 0)
                        QThread::msleep(1);
                }
            });
            senders.last()->start();
        }
    });
    for (QThread *sender : senders) {
        sender->wait();
        delete sender;
    }
    std::printf("%d reports: longest GUI stall %lld ms flooded, %lld ms idle (goal < 50 ms); %d rows listed\n",
                reports, flooded, idle, window.sniffedList().count());

    // Browser messages: all written at once, as fast as the socket takes them.
    BrowserSession *browser = window.browserCapture()->session();
    QLocalSocket host;
    host.connectToServer(browser->serverName());
    if (!host.waitForConnected(5000)) {
        std::fprintf(stderr, "cannot reach the window's socket\n");
        return 1;
    }
    QObject::connect(&host, &QLocalSocket::readyRead, &host, [&host] { host.readAll(); });
    QByteArray frames;
    for (int i = 0; i < reports; ++i)
        frames += browserFrame(i);
    const qint64 before = browser->streamCount();
    QElapsedTimer clock;
    clock.start();
    qint64 handledMs = -1;
    const qint64 browserStall = longestStall(3000, [&] {
        host.write(frames);
        QObject::connect(browser, &BrowserSession::streamSeen, &host, [&] {
            if (handledMs < 0 && browser->streamCount() - before >= reports)
                handledMs = clock.elapsed();
        });
    });
    while (browser->streamCount() - before < reports && clock.elapsed() < 60000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    std::printf("%d browser messages: longest GUI stall %lld ms (goal < 50 ms), all handled in %lld ms, "
                "%lld handled, %lld refused; %d rows listed\n",
                reports, browserStall, handledMs, browser->streamCount() - before, browser->refusedCount(),
                window.sniffedList().count());
    UserDialogs::setResponder(nullptr);
    return 0;
}

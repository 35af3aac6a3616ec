// Walks the real window through its pages and saves a picture of each.
//   vidarro_screens OUTPUT_FOLDER [PAGE_ADDRESS [STREAM_ADDRESS [ERROR_ADDRESS]]]
// With an address on the video-site list, the download page shows that
// address's real title and formats; a stream of separate video and sound
// shows its merged rows; an address that fails shows its classified error.

#include "BrowserCapture.h"
#include "BrowserFrame.h"
#include "BrowserMessage.h"
#include "BrowserSession.h"
#include "CYouTubeDownloadDlg.h"
#include "DownloadsWindow.h"
#include "Job.h"
#include "JobFactory.h"
#include "JobQueue.h"
#include "CYouTubeDownloader.h"
#include "CaptureSession.h"
#include "LogHandler.h"
#include "Platform.h"
#include "PlaylistPanel.h"
#include "SettingsFile.h"
#include "Sniffer.h"
#include "UserDialogs.h"
#include "ui_InsertURL.h"
#include "ui_Navigation.h"
#include "ui_OldSniffer.h"
#include "ui_Options.h"
#include "ui_Progress.h"

#include <QApplication>
#include <QLineEdit>
#include <QDesktopServices>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QJsonDocument>
#include <QListWidget>
#include <QLocalSocket>
#include <QMenu>
#include <QMessageBox>
#include <QProgressBar>
#include <QTimer>

#include <cstdio>

// A save that stays where it is: 37% of 120 MB at 2.4 MB/s, for the picture.
class StillJob : public Job
{
public:
    StillJob(const JobRequest &request, QObject *parent) : Job(request, {}, parent) {}

protected:
    void doStart(bool) override
    {
        JobProgress now;
        now.total = 125829120;
        now.done = now.total * 37 / 100;
        now.percent = 37;
        now.rate = 2516582;
        now.secondsLeft = 31;
        report(now);
    }
    void doSuspend() override { stopped(); }
    void doKill() override { ended(JobResult::canceled()); }
};

class ScreenshotTour : public QObject, public UserDialogs::Responder
{
    Q_OBJECT
public:
    explicit ScreenshotTour(const QString &folder) : m_folder(folder) {}

    void message(const UserDialogs::Message &shown) override { m_messages.append(shown); }
    QString folder(const QString &, const QString &) override { return QString(); }
    bool saveDialog(QFileDialog *) override { return false; }

    void shoot(QWidget *widget, const QString &name)
    {
        waitFor(150);
        const QString path = m_folder + QLatin1Char('/') + name + QStringLiteral(".png");
        if (!widget->grab().save(path))
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        else
            std::printf("%s\n", qPrintable(path));
    }

    static void waitFor(int ms)
    {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < ms)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }

    static QByteArray browserFrame(const QString &url, const QString &type, qint64 size, const QString &title = {})
    {
        BrowserStream stream;
        stream.url = url;
        stream.method = QStringLiteral("GET");
        stream.status = 200;
        stream.requestHeaders = {{"user-agent", "Mozilla/5.0"}, {"cookie", "session=example"}};
        stream.contentType = type;
        stream.contentLength = size;
        stream.tabTitle = title;
        stream.seen = QDateTime::currentDateTimeUtc();
        return BrowserFrame::encode(QJsonDocument(browserStreamJson(stream)).toJson(QJsonDocument::Compact));
    }

    static bool waitUntil(const std::function<bool()> &done, int ms)
    {
        QElapsedTimer clock;
        clock.start();
        while (!done() && clock.elapsed() < ms)
            waitFor(50);
        return done();
    }

    // The address through the Other-sites button; true when the download page came.
    bool openOther(Sniffer &w, const QString &address)
    {
        w.navigationForm()->btnDownloaderOS->click();
        w.insertUrlForm()->inputURL->setText(address);
        w.processURL();
        return waitUntil([&] { return w.currentPage() == PageLayout::DownloadPage || !m_messages.isEmpty(); }, 90000)
               && w.currentPage() == PageLayout::DownloadPage;
    }

    void shootLastMessage(Sniffer &w, const QString &name)
    {
        if (m_messages.isEmpty())
            return;
        const UserDialogs::Message &error = m_messages.last();
        QMessageBox box(error.icon, error.title, error.text, QMessageBox::Ok, &w);
        box.setTextFormat(error.richText ? Qt::RichText : Qt::PlainText);
        box.show();
        shoot(&box, name);
    }

    // The list of downloads with a job of each state: the running one an
    // engine that stays where it is, the others as the history keeps them.
    void shootDownloads(Sniffer &w)
    {
        JobQueue *queue = w.jobQueue();
        qint64 nextId = 9001;
        const auto record = [&nextId](const char *name, const char *address, JobKind kind, JobState state, qint64 size) {
            JobRecord r;
            r.id = nextId++;
            r.request.source = kind == JobKind::Stream ? JobSource::Manifest : JobSource::Address;
            r.request.kind = kind;
            r.request.name = QString::fromUtf8(name);
            r.request.address = QUrl(QString::fromLatin1(address));
            r.request.target = QStringLiteral("/home/me/Videos/") + r.request.name + QStringLiteral(".mp4");
            r.state = state;
            r.progress.total = size;
            r.progress.done = state == JobState::Finished ? size : size * 2 / 5;
            r.progress.percent = state == JobState::Finished ? 100 : 40;
            r.result.state = state;
            r.result.size = size;
            r.result.file = r.request.target;
            if (state == JobState::Failed) {
                r.progress.done = 0;
                r.progress.percent = -1;
                r.result.errorText = QStringLiteral("This page or video was not found (HTTP 404).");
                r.result.toolLine = QStringLiteral("ERROR: [generic] Unable to download webpage: HTTP Error 404: Not Found");
            }
            return r;
        };
        queue->restoreFinished({record("Evening walk in the old town", "https://video.example/w/17", JobKind::Video, JobState::Finished, 48234496),
                                record("Interview, part 2", "https://cdn.media.example/hls/master.m3u8", JobKind::Stream, JobState::Finished, 130023424),
                                record("Lecture 4: sorting", "https://video.example/w/404", JobKind::Video, JobState::Failed, 0)});
        queue->restore({record("Concert, full recording", "https://stage.example/c/8", JobKind::Audio, JobState::Paused, 92274688)}, false);
        queue->setFactory([](const JobRecord &r, QObject *parent) -> Job * { return new StillJob(r.request, parent); });
        JobRequest running = record("Big Test Pattern: the movie", "https://video.example/w/42", JobKind::Video, JobState::Running, 0).request;
        queue->add(running);
        waitUntil([&] { return queue->runningCount() == 1; }, 5000);
        waitFor(300);
        w.showDownloads();
        DownloadsWindow *list = w.downloadsView();
        list->resize(820, 300);
        list->select(queue->at(queue->count() - 3).id);
        waitFor(300);
        shoot(list, QStringLiteral("downloads"));
        list->hide();
        queue->setFactory(&makeJob);
    }

    int run(Sniffer &w, const QString &address, const QString &stream, const QString &failing, const QString &feed)
    {
        w.showPage(PageLayout::MainPage);
        shoot(&w, QStringLiteral("page0-main"));

        w.navigationForm()->btnDownloaderYT->click();
        w.insertUrlForm()->inputURL->setText(address.isEmpty() ? QStringLiteral("https://www.youtube.com/watch?v=...") : address);
        w.focusOnInputURL();
        shoot(&w, QStringLiteral("page2-address"));

        w.progressBarStart(100);
        waitFor(2500);
        shoot(&w, QStringLiteral("page1-busy"));
        w.stopLastProcess();
        w.progressBarStart();
        w.showPercents(45.3f);
        w.showSpeed(QStringLiteral("1.20MiB/s"), QStringLiteral("00:12"));
        shoot(&w, QStringLiteral("page1-busy-download"));
        w.stopLastProcess();

        w.showOptions();
        // The health line fills in once the launcher and ffmpeg answered.
        waitUntil([&] { return !w.healthCheck; }, 60000);
        shoot(&w, QStringLiteral("page4-settings"));

        if (!address.isEmpty()) {
            w.navigationForm()->btnDownloaderYT->click();
            w.insertUrlForm()->inputURL->setText(address);
            w.processURL();
            if (waitUntil([&] { return w.currentPage() == PageLayout::DownloadPage; }, 90000)) {
                shoot(&w, QStringLiteral("page3-download"));
                // Only a part, and one that is refused before anything starts.
                w.optionsForm()->inputFrom->setText(QStringLiteral("0:00:01"));
                w.optionsForm()->inputTo->setText(QStringLiteral("0:00:09"));
                shoot(&w, QStringLiteral("page3-download-part"));
                m_messages.clear();
                w.downloadVideo();
                shootLastMessage(w, QStringLiteral("error-part"));
                m_messages.clear();
                w.optionsForm()->inputFrom->clear();
                w.optionsForm()->inputTo->clear();
            } else
                std::fprintf(stderr, "the download page did not come for %s\n", qPrintable(address));
        }

        if (!stream.isEmpty()) {
            if (openOther(w, stream))
                shoot(&w, QStringLiteral("page3-download-merged"));
            else
                std::fprintf(stderr, "the download page did not come for %s\n", qPrintable(stream));
        }
        // A podcast feed: its entries with check boxes, some of them ticked.
        if (!feed.isEmpty()) {
            if (openOther(w, feed)) {
                w.playlistView()->rangeField()->setText(QStringLiteral("1-3,5"));
                w.playlistView()->applyRange();
                shoot(&w, QStringLiteral("page3-playlist"));
            } else {
                std::fprintf(stderr, "the download page did not come for %s\n", qPrintable(feed));
            }
        }
        if (!failing.isEmpty()) {
            m_messages.clear();
            openOther(w, failing);
            shootLastMessage(w, QStringLiteral("error-classified"));
        }

        w.showOldSniffer();
        // Without capture rights the page says so, in the catalogue's words.
        if (w.captureSession()->status() != CaptureSession::Status::Capturing)
            shoot(&w, QStringLiteral("page5-nocapture"));
        const QByteArray header = "GET /v HTTP/1.1\r\nHost: media.example\r\n\r\n";
        w.captureSession()->queueReport("media.example/clip-one.mp4", header, "8912345\r\n", "mp4\r\n");
        w.captureSession()->queueReport("media.example/clip-two.flv", header, "2312345\r\n", "x-flv\r\n");
        w.captureSession()->queueReport("media.example/song.mp3", header, "4412345\r\n", "MP3");
        waitUntil([&] { return w.sniffedList().count() == 3; }, 5000);
        w.setItemState(0, SniffedItem::Downloaded);
        w.setItemState(1, SniffedItem::Downloading);
        shoot(&w, QStringLiteral("page5-sniffed"));

        // A streaming manifest of the local site: one row, read by the window,
        // with its quality choice beside the buttons.
        if (!address.isEmpty()) {
            const QUrl manifest = QUrl(address).resolved(QUrl(QStringLiteral("hls/master.m3u8")));
            w.captureSession()->queueReport(manifest.toString().mid(7).toLatin1(),
                                            "GET /hls/master.m3u8 HTTP/1.1\r\nHost: " + manifest.authority().toLatin1()
                                                + "\r\n\r\n",
                                            "640\r\n", "HLS");
            waitUntil([&] { return w.sniffedList().count() == 4 && !w.sniffedList().at(3).streamText.isEmpty(); },
                      10000);
            // Chosen, as a click on it would: its quality choice shows above the list.
            QListWidget *list = w.oldSnifferForm()->mediaList;
            list->setCurrentRow(0);
            emit list->itemClicked(list->item(0));
            shoot(&w, QStringLiteral("page5-stream"));
        }
        // A browser with the extension: its host connects and hands over what it plays.
        QLocalSocket host;
        host.connectToServer(w.browserCapture()->session()->serverName());
        if (host.waitForConnected(5000)) {
            host.write(browserFrame("https://cdn.media.example/v/8c1f/720p.mp4?sig=x", "video/mp4", 31457280,
                                    "Harbour lights at dusk - Media Example"));
            host.write(browserFrame("https://cdn.media.example/hls/master.m3u8", "application/vnd.apple.mpegurl", 2048,
                                    "Live from the harbour - Media Example"));
            host.write(browserFrame("https://audio.media.example/track/42.mp3", "audio/mpeg", 6815744));
            waitUntil([&] { return w.sniffedList().count() >= 6; }, 5000);
            shoot(&w, QStringLiteral("page5-browser"));
        }
        for (const auto &item : std::as_const(w.helpItems)) {
            if (item.action->text() == QLatin1String("Browser capture"))
                item.action->trigger();
        }
        if (!m_messages.isEmpty() && m_messages.last().text.startsWith(QLatin1String("Browser capture"))) {
            const UserDialogs::Message &help = m_messages.last();
            QMessageBox box(QMessageBox::Information, help.title, help.text, QMessageBox::Ok, &w);
            box.show();
            shoot(&box, QStringLiteral("help-browser"));
        }
        host.disconnectFromServer();

        shootDownloads(w);

        w.testSniffer();
        shoot(&w, QStringLiteral("page5-selftest"));
        w.runOldSniffer();

        w.showPage(PageLayout::UpdatePage);
        shoot(&w, QStringLiteral("page6-update"));

        // A live stream's save, as the recording goes on, in the catalogue's words.
        SettingsFile settings;
        if (settings.setSettingsFile())
            settings.readSettings();
        const SettingsList words = settings.list(QStringLiteral("warning_messages"));
        const auto word = [&words](int code) { return words.value(code).section(QLatin1Char('~'), 1); };
        CYouTubeDownloadDlg recording(&w);
        recording.transfer()->filePath = QStringLiteral("Evening news.mp4");
        recording.startRecording(QUrl(QStringLiteral("http://tv.example/live/index.m3u8")),
                                 {word(8), word(9), word(10), word(11)}, [] {});
        recording.showRecorded(754, 50631475);
        recording.show();
        shoot(&recording, QStringLiteral("recording"));
        recording.hide();

        w.showAboutDialog();
        shoot(w.aboutDialog(), QStringLiteral("about"));
        w.closeAboutDialog();

        // Refused by the video sites' button: nothing is fetched.
        m_messages.clear();
        w.navigationForm()->btnDownloaderYT->click();
        w.insertUrlForm()->inputURL->setText(QStringLiteral("https://vimeo.com/1"));
        w.processURL();
        shootLastMessage(w, QStringLiteral("error-box"));
        return 0;
    }

public slots:
    // The self-test opens a browser; the tour stays with the window.
    void skipBrowser(const QUrl &) {}

private:
    QString m_folder;
    QList<UserDialogs::Message> m_messages;
};

int main(int argc, char *argv[])
{
    qInstallMessageHandler(logMessageHandler);
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: vidarro_screens OUTPUT_FOLDER [PAGE_ADDRESS]\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(folder);
    // The tools sit beside the application, one folder over.
    Platform::setApplicationFolder(QCoreApplication::applicationDirPath() + QStringLiteral("/../bin"));

    ScreenshotTour tour(folder);
    UserDialogs::setResponder(&tour);
    QDesktopServices::setUrlHandler(QStringLiteral("http"), &tour, "skipBrowser");
    Sniffer window;
    window.setUpdateCheckAllowed(false);
    window.initialise();
    window.show();
    auto argument = [&](int n) { return argc > n ? QString::fromLocal8Bit(argv[n]) : QString(); };
    const int result = tour.run(window, argument(2), argument(3), argument(4), argument(5));
    UserDialogs::setResponder(nullptr);
    return result;
}

#include "ScreenshotTour.moc"

// The real program's command line: "--get" without a window, and a later
// start handing its addresses to the window already running.

#include "BrowserFrame.h"
#include "BrowserSocket.h"
#include "JobHistory.h"
#include "MediaFixture.h"
#include "TestFiles.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalSocket>
#include <QtTest>

#include <csignal>

class TestCommandLine : public QObject
{
    Q_OBJECT

    struct Ran { int exitCode = -1; QString out, err; };

    MediaFixture m_media;
    QTemporaryDir m_home;
    QProcess m_window;

    QString perUser() const { return m_home.filePath("appdata/Vidarro"); }
    QString log() const { return readFile(perUser() + QString("/log_%1.txt").arg(QDate::currentDate().dayOfYear())); }

    static Ran vidarro(const QStringList &arguments)
    {
        QProcess process;
        process.start(VIDARRO_BIN_DIR "/vidarro", arguments);
        if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit)
            return {};
        return {process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError()};
    }

    // The window's answer to one frame; empty when it closed without one.
    QJsonObject sendFrame(const QByteArray &bytes) const
    {
        for (const QString &name : BrowserSocket::serverPlaces(perUser(), false, "handover").names) {
            QLocalSocket socket;
            socket.connectToServer(name);
            if (!socket.waitForConnected(1000))
                continue;
            socket.write(bytes);
            QByteArray reply;
            for (bool more = true; more && BrowserFrame::decode(reply).kind == BrowserFrame::Step::Kind::NeedMore;
                 reply += socket.readAll())
                more = socket.bytesAvailable() > 0 || socket.waitForReadyRead(10000);
            return QJsonDocument::fromJson(BrowserFrame::decode(reply).payload.toByteArray()).object();
        }
        return {};
    }

    bool windowAnswers() const { return sendFrame(BrowserFrame::encode("{\"action\":\"open\",\"addresses\":[]}"))["ok"].toBool(); }

    void startWindow()
    {
        if (m_window.state() != QProcess::NotRunning)
            return;
        // The tool counts as updated today: the window starts no update of its own.
        const QDate today = QDate::currentDate();
        QVERIFY(QDir().mkpath(perUser()));
        writeFile(perUser() + "/sniffer.ini",
                  QString("[General]\nlast_update=%1\nlast_update_year=%2\nsavepath_video=%3\n")
                          .arg(today.dayOfYear()).arg(today.year()).arg(m_home.filePath("video")).toUtf8()
                      + readFile(VIDARRO_SOURCE_DIR "/resources/sniffer_linux.ini"));
        m_window.start(VIDARRO_BIN_DIR "/vidarro", QStringList());
        QTRY_VERIFY2_WITH_TIMEOUT(windowAnswers(), m_window.readAllStandardError().constData(), 30000);
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(m_media.start(), qPrintable(m_media.errorString()));
        QVERIFY2(m_media.makeStreams(), qPrintable(m_media.errorString()));
        QVERIFY(m_media.route("slow.mp4", {.headers = {"Content-Type: video/mp4"}, .rate = 200000, .made = 64 << 20}));
        // Every program started here, and the test's own socket look-up, use these folders.
        QVERIFY(QDir().mkpath(m_home.filePath("run")));
        QVERIFY(QFile::setPermissions(m_home.filePath("run"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        qputenv("XDG_RUNTIME_DIR", m_home.filePath("run").toUtf8());
        qputenv("APPDATA", m_home.filePath("appdata").toUtf8());
        qputenv("HOME", m_home.path().toUtf8());
        for (const char *name : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME"})
            qputenv(name, m_home.filePath(name).toUtf8());
        qputenv("VIDARRO_TOOL_RELEASE_URL", "http://127.0.0.1:9/no-release");
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }

    void cleanupTestCase()
    {
        m_window.terminate();
        if (!m_window.waitForFinished(15000))
            m_window.kill();
    }

    void get_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("quality");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("expected");   // the file's streams by ffprobe, or words on stderr
        const QString master = m_media.url("hls/master.m3u8");
        QTest::newRow("720p with sound") << master << "720" << 0 << "h264,720 aac";
        QTest::newRow("audio as MP3") << master << "audio" << 0 << "mp3";
        QTest::newRow("404") << m_media.url("missing.m3u8") << "best" << 1 << "does not exist (HTTP 404 or 410)";
        QTest::newRow("file address") << "file:///etc/passwd" << "best" << 2 << "This address cannot be used.";
        QTest::newRow("unknown quality") << master << "4k" << 2 << "unknown quality";
    }

    void get()
    {
        QFETCH(QString, address);
        QFETCH(QString, quality);
        QFETCH(int, exitCode);
        QFETCH(QString, expected);
        QTemporaryDir folder;
        const Ran ran = vidarro({"--get", address, "--quality", quality, "--folder", folder.path()});
        QVERIFY2(ran.exitCode == exitCode, qPrintable(ran.err));
        // Made from the template on the first run, as the window does.
        QVERIFY(QFileInfo::exists(perUser() + "/sniffer.ini"));
        if (exitCode != 0) {
            QVERIFY2(ran.err.contains(expected), qPrintable(ran.err));
            QVERIFY(ran.out.isEmpty());
            return;
        }
        const QString file = ran.out.trimmed();
        QCOMPARE(QFileInfo(file).absolutePath(), folder.path());
        QVERIFY(ran.err.contains('%'));
        const MediaFixture::Ran probe = MediaFixture::execute(MediaFixture::program("ffprobe"),
            {"-v", "error", "-show_entries", "stream=codec_name,height", "-of", "csv=p=0", file},
            QProcessEnvironment::systemEnvironment(), false);
        QCOMPARE(probe.output.simplified(), expected);

        JobHistory history(perUser());
        QVERIFY(history.open().ok);
        QSignalSpy found(&history, &JobHistory::found);
        history.search({}, 100);
        QVERIFY(found.wait(10000));
        const auto records = found.first().at(1).value<QList<JobRecord>>();
        QVERIFY(std::any_of(records.cbegin(), records.cend(), [&](const JobRecord &record) {
            return record.result.file == file && record.state == JobState::Finished;
        }));
    }

    void interrupted()
    {
        QTemporaryDir folder;
        QProcess get;
        get.start(VIDARRO_BIN_DIR "/vidarro", {"--get", m_media.url("slow.mp4"), "--folder", folder.path()});
        QByteArray said;
        QTRY_VERIFY2_WITH_TIMEOUT((said += get.readAllStandardError()).contains('%'), said.constData(), 60000);
        get.terminate();
        QVERIFY(get.waitForFinished(20000));
        QCOMPARE(get.exitCode(), 128 + SIGTERM);
        QVERIFY(get.readAllStandardOutput().isEmpty());
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
        QTRY_VERIFY(!MediaFixture::processMentions(m_media.url("slow.mp4")));
    }

    void handover()
    {
        startWindow();
        if (QTest::currentTestFailed())
            return;
        const QString master = m_media.url("hls/master.m3u8");
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(vidarro({master}).exitCode, 0);
        QVERIFY(clock.elapsed() < 10000);
        QTRY_VERIFY_WITH_TIMEOUT(log().contains("on the download page : \"" + master), 60000);
        QCOMPARE(m_window.state(), QProcess::Running);

        QCOMPARE(vidarro({"--queue", master}).exitCode, 0);
        const QDir videos(m_home.filePath("video"));
        QTRY_VERIFY_WITH_TIMEOUT(videos.entryList({"*.mp4"}, QDir::Files).size() == 1
                                     && videos.entryList({"*.part*"}, QDir::Files).isEmpty(), 90000);

        // The window holds the history: a windowless save goes on without it.
        QTemporaryDir folder;
        const Ran got = vidarro({"--get", master, "--quality", "360", "--folder", folder.path()});
        QVERIFY2(got.exitCode == 0, qPrintable(got.err));
        QVERIFY2(got.err.contains("in use by another program"), qPrintable(got.err));
    }

    void hostileFrame_data()
    {
        QTest::addColumn<QByteArray>("frame");
        const quint32 huge = (1 << 20) + 1;   // over the handover limit, which a saved stream's headers need
        QTest::newRow("file address") << BrowserFrame::encode("{\"action\":\"open\",\"addresses\":[\"file:///etc/passwd\"]}");
        QTest::newRow("queue nothing") << BrowserFrame::encode("{\"action\":\"queue\",\"addresses\":[]}");
        QTest::newRow("unknown action") << BrowserFrame::encode("{\"action\":\"run\",\"addresses\":[\"http://127.0.0.1/\"]}");
        QTest::newRow("garbage") << BrowserFrame::encode("\xff\xfe{not json");
        QTest::newRow("oversized") << QByteArray(reinterpret_cast<const char *>(&huge), 4) + QByteArray(4096, 'x');
    }

    void hostileFrame()
    {
        QFETCH(QByteArray, frame);
        startWindow();
        if (QTest::currentTestFailed())
            return;
        const QJsonObject answer = sendFrame(frame);
        QVERIFY(answer.contains("ok") && !answer["ok"].toBool() && !answer["error"].toString().isEmpty());
        QVERIFY(windowAnswers() && log().contains("handover : refused"));
    }
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"

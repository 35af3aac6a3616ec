#include "BrowserFrame.h"
#include "BrowserSession.h"
#include "BrowserSpool.h"
#include "TestMessages.h"

#include <QProcess>
#include <QtTest>

#include <sys/stat.h>

namespace {

// The real host, started as the browser starts it, with its own per-user folder.
class Host
{
public:
    explicit Host(const QString &appData)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("APPDATA"), appData);
        m_process.setProcessEnvironment(environment);
        m_process.start(QStringLiteral(VIDARRO_BIN_DIR "/vidarro-browser-host"),
                        {QStringLiteral("chrome-extension://test/")});
    }

    // Writes bytes, then collects `count` answers with the event loop running for a session of this process.
    QList<QJsonObject> exchange(const QByteArray &bytes, qsizetype count)
    {
        if (!bytes.isEmpty())
            m_process.write(bytes);
        QList<QJsonObject> answers;
        (void)QTest::qWaitFor([&] {
            m_reader.append(m_process.readAllStandardOutput());
            while (const auto frame = m_reader.next())
                answers << QJsonDocument::fromJson(frame->payload).object();
            return answers.size() >= count;
        }, 20000);
        return answers;
    }

    // Closes stdin; true when the host then ends cleanly.
    bool end()
    {
        m_process.closeWriteChannel();
        return m_process.waitForFinished(10000) && m_process.exitStatus() == QProcess::NormalExit
               && m_process.exitCode() == 0;
    }

private:
    QProcess m_process;
    FrameReader m_reader;
};

} // namespace

class tst_BrowserHost : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        QVERIFY(m_appData.emplace().isValid());
        m_folder = m_appData->path() + QStringLiteral("/Vidarro");
        QVERIFY(QDir().mkpath(m_folder));
    }

    void answersEveryFrame_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("answers");   // empty text: {"ok":true}, else a part of the error
        const QByteArray hello = BrowserFrame::encode("{\"kind\":\"hello\"}");
        QTest::newRow("hello") << hello << QStringList{""};
        QTest::newRow("stream") << BrowserFrame::encode(stream()) << QStringList{""};
        QTest::newRow("short length, then the end") << QByteArray(3, '\x10') << QStringList{};
        QTest::newRow("1 MiB + 1, then hello")
            << lengthOnly(BrowserFrame::maxPayload + 1) + QByteArray(BrowserFrame::maxPayload + 1, '{') + hello
            << QStringList{"over the limit", ""};
        QTest::newRow("refused message, then hello")
            << BrowserFrame::encode(stream("url", "file:///etc/passwd")) + hello << QStringList{"http or https", ""};
    }

    void answersEveryFrame()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, answers);
        Host host(m_appData->path());
        const QList<QJsonObject> got = host.exchange(bytes, answers.size());
        QCOMPARE(got.size(), answers.size());
        for (qsizetype i = 0; i < got.size(); ++i) {
            QCOMPARE(got[i].value("ok").toBool(), answers[i].isEmpty());
            QVERIFY2(got[i].value("error").toString().contains(answers[i]), qPrintable(got[i].value("error").toString()));
        }
        QVERIFY(host.end());
        QVERIFY(host.exchange({}, 0).isEmpty());   // nothing more was answered
        QFile log(m_folder + QStringLiteral("/browser-host.log"));
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QByteArray lines = log.readAll();
        QCOMPARE(lines.count("refused a message"), answers.size() - answers.count(QString()));
        QVERIFY(!lines.contains("secret"));
    }

    void spoolKeepsTheNewest25ForTheWindow()
    {
        Host host(m_appData->path());
        QByteArray frames;
        for (int i = 1; i <= 30; ++i)
            frames += BrowserFrame::encode(stream("url", QStringLiteral("https://media.example/%1.mp4").arg(i)));
        const QList<QJsonObject> got = host.exchange(frames, 30);
        QCOMPARE(got.size(), 30);
        QCOMPARE(got.count(QJsonObject{{"ok", true}, {"window", false}}), 30);
        QVERIFY(host.end());
        struct stat info = {};
        QCOMPARE(::stat(QFile::encodeName(BrowserSpool(m_folder).filePath()).constData(), &info), 0);
        QCOMPARE(info.st_mode & 0777, 0600u);   // it holds cookies

        BrowserSession session(m_folder);
        QSignalSpy seen(&session, &BrowserSession::streamSeen);
        QVERIFY(session.start());
        QCOMPARE(seen.size(), BrowserSpool::capacity);
        QCOMPARE(seen.first().first().value<BrowserStream>().url, QStringLiteral("https://media.example/6.mp4"));
        QCOMPARE(seen.last().first().value<BrowserStream>().url, QStringLiteral("https://media.example/30.mp4"));
        QVERIFY(!QFile::exists(BrowserSpool(m_folder).filePath()));
    }

private:
    std::optional<QTemporaryDir> m_appData;
    QString m_folder;
};

QTEST_GUILESS_MAIN(tst_BrowserHost)
#include "tst_browserhost.moc"

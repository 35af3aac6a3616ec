#include "BrowserFrame.h"
#include "BrowserSession.h"
#include "BrowserSpool.h"
#include "TestMessages.h"

#include <QCryptographicHash>
#include <QProcess>
#include <QtTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A command run as another user, as a process of theirs would.
int asNobody(const QStringList &command)
{
    return QProcess::execute(QStringLiteral("setpriv"),
                             QStringList{"--reuid=nobody", "--regid=nogroup", "--clear-groups", "env",
                                         "PATH=/usr/local/bin:/usr/bin:/bin"} + command);
}

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

    void cleanup()
    {
        // Rows change where the window and the host look for the socket.
        for (const char *name : {"TMPDIR", "XDG_RUNTIME_DIR"})
            m_environment.contains(name) ? qputenv(name, m_environment.value(name).toLocal8Bit()) : qunsetenv(name);
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
        // Actions name a web address or a stream the host holds, nothing else.
        QTest::newRow("open a file address") << BrowserFrame::encode("{\"kind\":\"open\",\"url\":\"file:///etc/passwd\"}")
                                             << QStringList{"http or https"};
        QTest::newRow("open a script") << BrowserFrame::encode("{\"kind\":\"open\",\"url\":\"javascript:alert(1)\"}")
                                       << QStringList{"http or https"};
        QTest::newRow("save an unknown stream, then a held one's neighbour")
            << BrowserFrame::encode("{\"kind\":\"save\",\"ids\":[5]}") + BrowserFrame::encode(stream())
                   + BrowserFrame::encode("{\"kind\":\"save\",\"ids\":[2]}")
            << QStringList{"no stream of that number", "", "no stream of that number"};
        QTest::newRow("save no list") << BrowserFrame::encode("{\"kind\":\"save\",\"ids\":\"1\"}") << QStringList{"\"ids\""};
        QTest::newRow("save a fraction") << BrowserFrame::encode("{\"kind\":\"save\",\"ids\":[1.5]}") << QStringList{"\"ids\""};
        QTest::newRow("media of a data address")
            << BrowserFrame::encode("{\"kind\":\"media\",\"url\":\"data:video/mp4,x\",\"requestHeaders\":[],\"tabTitle\":\"\",\"pageUrl\":\"\"}")
            << QStringList{"http or https"};
        const QByteArray big = "{\"kind\":\"media\",\"url\":\"https://media.example/a.mp4\",\"requestHeaders\":[],\"pageUrl\":\"\","
                               "\"tabTitle\":\"" + QByteArray(2 << 20, 'x') + "\"}";
        QTest::newRow("media with a 2 MB title, then hello")
            << lengthOnly(quint32(big.size())) + big + hello << QStringList{"over the limit", ""};
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
        QVERIFY(!lines.contains("secret") && !lines.contains("passwd") && !lines.contains("alert"));
        QVERIFY(!lines.contains("started Vidarro"));
    }

    void spoolKeepsTheNewest25ForTheWindow()
    {
        Host host(m_appData->path());
        QByteArray frames;
        for (int i = 1; i <= 30; ++i)
            frames += BrowserFrame::encode(stream("url", QStringLiteral("https://media.example/%1.mp4").arg(i)));
        const QList<QJsonObject> got = host.exchange(frames, 30);
        QCOMPARE(got.size(), 30);
        for (qsizetype i = 0; i < got.size(); ++i)
            QCOMPARE(got[i], (QJsonObject{{"ok", true}, {"window", false}, {"id", i + 1}}));
        QVERIFY(host.end());
        struct stat info = {};
        QCOMPARE(::stat(QFile::encodeName(BrowserSpool(m_folder).filePath()).constData(), &info), 0);
        QCOMPARE(info.st_mode & 0777, 0600u);   // it holds cookies

        // A host that found no window connects to one that starts later.
        Host waiting(m_appData->path());
        QCOMPARE(waiting.exchange(BrowserFrame::encode("{\"kind\":\"hello\"}"), 1).value(0).value("window"), QJsonValue(false));
        BrowserSession session(m_folder);
        QSignalSpy seen(&session, &BrowserSession::streamSeen);
        QVERIFY(session.start());
        QTRY_VERIFY_WITH_TIMEOUT(session.isBrowserConnected(), 6000);   // the host looks every 2 s
        QVERIFY(waiting.end());
        QCOMPARE(seen.size(), BrowserSpool::capacity);
        QCOMPARE(seen.first().first().value<BrowserStream>().url, QStringLiteral("https://media.example/6.mp4"));
        QCOMPARE(seen.last().first().value<BrowserStream>().url, QStringLiteral("https://media.example/30.mp4"));
        QVERIFY(!QFile::exists(BrowserSpool(m_folder).filePath()));
    }

    // The window's socket is in a private folder of the user's: when the runtime folder
    // is not one, or another user took a name in the shared temporary folder first,
    // the window still listens and the host finds it.
    void windowSocketInAPrivateFolder_data()
    {
        QTest::addColumn<QString>("runtime");   // $XDG_RUNTIME_DIR: unset, "shared" or "private"
        QTest::addColumn<QString>("taken");     // what stands at the temporary folder's name for the user
        QTest::addColumn<QString>("place");     // the socket's folder: "runtime", "temporary" or "per-user"
        QTest::addColumn<QString>("why");       // logged by the host for a folder passed over
        QTest::newRow("private runtime folder") << "private" << "" << "runtime" << "";
        QTest::newRow("shared runtime folder") << "shared" << "" << "temporary" << "open to other users";
        QTest::newRow("no runtime folder") << "" << "" << "temporary" << "";
        QTest::newRow("own folder open to others") << "" << "open folder" << "per-user" << "open to other users";
        QTest::newRow("link to a private folder") << "" << "link" << "per-user" << "is a link";
        QTest::newRow("another user's folder") << "" << "other's folder" << "per-user" << "another user";
        QTest::newRow("another user's socket") << "" << "other's socket" << "per-user" << "not a folder";
    }

    void windowSocketInAPrivateFolder()
    {
        QFETCH(QString, runtime);
        QFETCH(QString, taken);
        QFETCH(QString, place);
        QFETCH(QString, why);
        if (taken.startsWith("other's") && ::geteuid() != 0)
            QSKIP("another user's files need root (setpriv)");
        QTemporaryDir privateFolder;
        QTemporaryDir shared;   // as /tmp: everyone's, sticky
        QVERIFY(shared.isValid() && ::chmod(QFile::encodeName(shared.path()), 01777) == 0);
        qputenv("TMPDIR", QFile::encodeName(shared.path()));
        const QString runtimeFolder = runtime == "shared" ? shared.path() : privateFolder.path();
        runtime.isEmpty() ? qunsetenv("XDG_RUNTIME_DIR") : qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtimeFolder));
        const QString uid = QString::number(::geteuid());
        const QString folder = shared.filePath("vidarro-" + uid);
        if (taken == "open folder")
            QVERIFY(QDir().mkdir(folder) && ::chmod(QFile::encodeName(folder), 0755) == 0);
        else if (taken == "link")
            QVERIFY(QFile::link(privateFolder.path(), folder));
        // And the name the window once had there: a folder there kept even root's window from listening.
        const QString tag = QCryptographicHash::hash(m_folder.toUtf8(), QCryptographicHash::Sha256).toHex().left(12);
        const QString bind = "import socket, sys; socket.socket(socket.AF_UNIX).bind(sys.argv[1])";
        for (const QString &name : {folder, shared.filePath("vidarro-browser-" + uid + '-' + tag)}) {
            if (taken == "other's folder")
                QCOMPARE(asNobody({"mkdir", "-m", "700", name}), 0);
            else if (taken == "other's socket")
                QCOMPARE(asNobody({"python3", "-c", bind, name}), 0);
        }

        BrowserSession session(m_folder);
        QSignalSpy seen(&session, &BrowserSession::streamSeen);
        QVERIFY2(session.start(), qPrintable(session.errorString()));
        const QString expected = place == "runtime"     ? privateFolder.path()
                                 : place == "temporary" ? folder
                                                        : m_folder + "/browser-socket";
        QCOMPARE(QFileInfo(session.serverName()).path(), expected);
        struct stat info = {};
        QVERIFY(::lstat(QFile::encodeName(expected).constData(), &info) == 0 && S_ISDIR(info.st_mode));
        QVERIFY(info.st_uid == ::geteuid() && (info.st_mode & 0777) == 0700);

        Host host(m_appData->path());
        const QJsonObject forwarded{{"ok", true}, {"window", true}, {"id", 1}};
        QCOMPARE(host.exchange(BrowserFrame::encode(stream()), 1).value(0), forwarded);
        QCOMPARE(seen.size(), 1);
        QVERIFY(host.end());
        const QByteArray log = readFile(m_folder + "/browser-host.log");
        QCOMPARE(log.contains("is not looked for"), !why.isEmpty());
        QVERIFY2(log.contains(why.toLatin1()), log.constData());
    }

    // A link or a FIFO at the name of the spool, its lock or the host's log: the host
    // answers, the window starts, a link's target stays as it was and a FIFO unread.
    void linksAndFifosAreReplacedUnread_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("kind");   // "link", "fifo", or "fifo with bytes" a writer keeps in it
        QTest::newRow("spool: FIFO") << "browser-streams.json" << "fifo";
        QTest::newRow("spool: FIFO with bytes") << "browser-streams.json" << "fifo with bytes";
        QTest::newRow("spool: link") << "browser-streams.json" << "link";
        QTest::newRow("lock: FIFO with bytes") << "browser-streams.lock" << "fifo with bytes";
        QTest::newRow("lock: link") << "browser-streams.lock" << "link";
        QTest::newRow("log: FIFO") << "browser-host.log" << "fifo";
        QTest::newRow("log: link") << "browser-host.log" << "link";
    }

    void linksAndFifosAreReplacedUnread()
    {
        QFETCH(QString, file);
        QFETCH(QString, kind);
        const QString path = m_folder + '/' + file;
        // A spool elsewhere: read through a link, its stream would be listed.
        const QString other = m_appData->filePath("other.json");
        const QByteArray otherBytes = "{\"streams\":[" + stream("url", "https://media.example/other.mp4") + "]}";
        QFile otherFile(other);
        QVERIFY(otherFile.open(QIODevice::WriteOnly) && otherFile.write(otherBytes) == otherBytes.size());
        otherFile.close();
        QList<int> writers;
        const auto plant = [&] {
            QFile::remove(path);
            if (kind == "link")
                return QFile::link(other, path);
            if (::mkfifo(QFile::encodeName(path).constData(), 0600) != 0)
                return false;
            if (kind == "fifo")
                return true;
            writers << ::open(QFile::encodeName(path).constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
            return ::write(writers.last(), "unread", 6) == 6;
        };
        QVERIFY(plant());
        Host host(m_appData->path());
        const QJsonObject kept{{"ok", true}, {"window", false}, {"id", 1}};
        QCOMPARE(host.exchange(BrowserFrame::encode(stream()), 1).value(0), kept);
        QVERIFY(host.end());
        struct stat info = {};
        QVERIFY(::lstat(QFile::encodeName(path).constData(), &info) == 0 && S_ISREG(info.st_mode));

        // The host's stream is in the spool, unless the spool's name is taken again.
        if (file != "browser-host.log")
            QVERIFY(plant());
        BrowserSession session(m_folder);
        QSignalSpy seen(&session, &BrowserSession::streamSeen);
        QVERIFY(session.start());
        QCOMPARE(seen.size(), file == "browser-streams.json" ? 0 : 1);
        QCOMPARE(readFile(other), otherBytes);
        for (const int fd : std::as_const(writers)) {
            char bytes[8];
            QCOMPARE(::read(fd, bytes, sizeof bytes), 6);
            ::close(fd);
        }
        QVERIFY(::lstat(QFile::encodeName(BrowserSpool(m_folder).lockPath()).constData(), &info) == 0);
        QVERIFY(S_ISREG(info.st_mode) && (info.st_mode & 0777) == 0600);
    }

private:
    const QProcessEnvironment m_environment = QProcessEnvironment::systemEnvironment();
    std::optional<QTemporaryDir> m_appData;
    QString m_folder;
};

QTEST_GUILESS_MAIN(tst_BrowserHost)
#include "tst_browserhost.moc"

// The downloader's own copy: update.sh against releases served from
// 127.0.0.1 (zipapps of Debian's yt_dlp, their sums signed with a key made
// here), run's choice of tool and JavaScript runtime, the health line's
// readers and the cookie source on the tool's option file.

#include "CookieSource.h"
#include "Downloader.h"
#include "MediaFixture.h"
#include "Platform.h"
#include "ToolHealthCheck.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeAll(const QString &path, const QByteArray &data, bool executable = false)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(data) != data.size())
        return false;
    file.close();
    return !executable || file.setPermissions(file.permissions() | QFile::ExeOwner);
}

QByteArray sha256(const QByteArray &data)
{
    return QCryptographicHash::hash(data, QCryptographicHash::Sha256).toHex();
}

struct Ran
{
    int exitCode = -1;
    QString output;
    QString lastLine() const { return output.trimmed().section('\n', -1); }
};

} // namespace

class tst_ToolUpdate : public QObject
{
    Q_OBJECT

private:
    MediaFixture media;
    QTemporaryDir gnupg;  // the releases' signing key
    QTemporaryDir build;  // the zipapps being made
    QTemporaryDir data;   // XDG data folder: the per-user folder is data/Vidarro
    QString keyFile;
    QByteArray older, newer;
    QString debianVersion;

    QString tools() const { return data.filePath("Vidarro/tools"); }
    QString binFile(const QString &name) const { return qEnvironmentVariable("VIDARRO_BIN_DIR") + '/' + name; }

    // key: the key file, empty for the one shipped beside update.sh.
    Ran run(const QString &program, const QStringList &arguments, const QString &release = {},
            const QString &path = {}, const QString &key = QStringLiteral("test"))
    {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("APPDATA");
        env.remove("VIDARRO_TOOL_KEY");
        env.insert("XDG_DATA_HOME", data.path());
        if (!key.isEmpty())
            env.insert("VIDARRO_TOOL_KEY", key == "test" ? keyFile : key);
        env.insert("VIDARRO_TOOL_RELEASE_URL", media.url(release));
        if (!path.isEmpty())
            env.insert("PATH", path);
        process.setProcessEnvironment(env);
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(program, arguments);
        Ran ran;
        if (!process.waitForFinished(180000) || process.exitStatus() != QProcess::NormalExit)
            return ran;
        ran.exitCode = process.exitCode();
        ran.output = QString::fromUtf8(process.readAll());
        return ran;
    }

    bool gpg(const QStringList &arguments)
    {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("GNUPGHOME", gnupg.path());
        process.setProcessEnvironment(env);
        process.start("gpg", QStringList{"--batch", "--yes", "--passphrase", ""} + arguments);
        return process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit
               && process.exitCode() == 0;
    }

    // Debian's yt_dlp as one runnable file that says it is `version`.
    QByteArray zipapp(const QString &version)
    {
        const QString source = build.filePath(version);
        if (!QDir().mkpath(source))
            return {};
        QProcess copy;
        copy.start("cp", {"-r", "/usr/lib/python3/dist-packages/yt_dlp", source + "/"});
        if (!copy.waitForFinished(60000) || copy.exitCode() != 0)
            return {};
        QDirIterator caches(source, {"__pycache__"}, QDir::Dirs, QDirIterator::Subdirectories);
        while (caches.hasNext())
            QDir(caches.next()).removeRecursively();
        if (!writeAll(source + "/yt_dlp/version.py", "__version__ = '" + version.toUtf8() + "'\nRELEASE_GIT_HEAD = ''\n"
                                                     "VARIANT = None\nUPDATE_HINT = None\nCHANNEL = 'stable'\n"))
            return {};
        QProcess pack;
        pack.start("/usr/bin/python3", {"-m", "zipapp", source, "-o", source + ".pyz", "-p",
                                        "/usr/bin/env /usr/bin/python3", "-m", "yt_dlp:main"});
        return pack.waitForFinished(120000) && pack.exitCode() == 0 ? readAll(source + ".pyz") : QByteArray();
    }

    // A release folder: the tool, its sums among others, their signature.
    bool release(const QString &name, const QByteArray &tool, const QByteArray &listed, bool signedAfter = false)
    {
        const QString folder = media.filePath(name);
        const QByteArray sums = sha256("other") + "  yt-dlp.exe\n" + sha256(listed) + "  yt-dlp\n";
        return QDir().mkpath(folder) && writeAll(folder + "/yt-dlp", tool)
               && writeAll(folder + "/SHA2-256SUMS", signedAfter ? sha256("earlier") + "  yt-dlp\n" : sums)
               && gpg({"--detach-sign", "-o", folder + "/SHA2-256SUMS.sig", folder + "/SHA2-256SUMS"})
               && (!signedAfter || writeAll(folder + "/SHA2-256SUMS", sums));
    }

    QString versionOf(const QString &program)
    {
        QProcess process;
        process.start(program, {"--version"});
        return process.waitForFinished(60000) ? QString::fromUtf8(process.readAllStandardOutput().trimmed()) : QString();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(gnupg.isValid() && build.isValid() && data.isValid());
        QVERIFY2(media.start(MediaFixture::Setup{false, false}), qPrintable(media.errorString()));
        QVERIFY(gpg({"--quick-gen-key", "Test <t@example.invalid>", "rsa2048", "sign", "never"}));
        keyFile = gnupg.filePath("release-key.asc");
        QVERIFY(gpg({"--armor", "--output", keyFile, "--export", "t@example.invalid"}));
        older = zipapp("2098.01.01");
        newer = zipapp("2099.01.01");
        QVERIFY(!older.isEmpty() && !newer.isEmpty());
        debianVersion = versionOf("yt-dlp");
        QVERIFY(!debianVersion.isEmpty());
        const QByteArray dead = "#!/bin/sh\nexit 1\n";
        QVERIFY(release("old", older, older) && release("new", newer, newer) && release("sum", newer, "another tool")
                && release("sig", newer, newer, true) && release("dead", dead, dead) && release("cut", newer, newer));
        MediaFixture::Route cut;
        cut.file = "cut/yt-dlp";
        cut.cut = newer.size() / 2;
        QVERIFY(media.route("cut/yt-dlp", cut));
    }

    void init()
    {
        QVERIFY(QDir(data.filePath("Vidarro")).removeRecursively());
    }

    void update_data()
    {
        QTest::addColumn<QString>("installed"); // "", or the release whose tool is installed
        QTest::addColumn<QString>("release");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("line");      // the start of the last line
        QTest::addColumn<QString>("after");     // what run --version then says, after a success
        QTest::addColumn<int>("toolFetches");
        QTest::addColumn<QString>("key");       // "test", "" the shipped one, or a file of the release
        // The fault once mended: Debian's old copy passed for current.
        QTest::newRow("first copy, over Debian's") << "" << "new" << 0 << "yt-dlp DEBIAN was updated to 2099.01.01"
                                                   << "2099.01.01" << 1 << "test";
        QTest::newRow("newer release") << "old" << "new" << 0 << "yt-dlp 2098.01.01 was updated to 2099.01.01"
                                       << "2099.01.01" << 1 << "test";
        QTest::newRow("same release") << "old" << "old" << 0 << "yt-dlp 2098.01.01 is up to date" << "2098.01.01" << 0 << "test";
        QTest::newRow("wrong checksum") << "old" << "sum" << 1
                                        << "The update of yt-dlp failed: the downloaded yt-dlp does not match"
                                        << "2098.01.01" << 1 << "test";
        QTest::newRow("bad signature") << "old" << "sig" << 1
                                       << "The update of yt-dlp failed: the signature of SHA2-256SUMS is not good"
                                       << "2098.01.01" << 0 << "test";
        QTest::newRow("cut download") << "old" << "cut" << 1 << "The update of yt-dlp failed: cannot download yt-dlp"
                                      << "2098.01.01" << 1 << "test";
        QTest::newRow("copy does not run") << "old" << "dead" << 1
                                           << "The update of yt-dlp failed: the new copy does not run" << "2098.01.01"
                                           << 1 << "test";
        QTest::newRow("no release") << "old" << "missing" << 1
                                    << "The update of yt-dlp failed: cannot download SHA2-256SUMS" << "2098.01.01" << 0 << "test";
        QTest::newRow("no copy, bad signature") << "" << "sig" << 1
                                                << "The update of yt-dlp failed: the signature of SHA2-256SUMS"
                                                << "DEBIAN" << 0 << "test";
        // The release key beside the script, unwrapped here, knows no test signature.
        QTest::newRow("shipped key") << "old" << "new" << 1
                                     << "The update of yt-dlp failed: the signature of SHA2-256SUMS is not good"
                                     << "2098.01.01" << 0 << "";
        QTest::newRow("unreadable key") << "old" << "new" << 1 << "The update of yt-dlp failed: the release key"
                                        << "2098.01.01" << 0 << "none/key.asc";
    }
    void update()
    {
        QFETCH(QString, installed);
        QFETCH(QString, release);
        QFETCH(int, exitCode);
        QFETCH(QString, line);
        QFETCH(QString, after);
        QFETCH(int, toolFetches);
        QFETCH(QString, key);
        line.replace("DEBIAN", debianVersion);
        after.replace("DEBIAN", debianVersion);
        const QString target = tools() + "/yt-dlp";
        const QByteArray before = installed.isEmpty() ? QByteArray() : media.bytes(installed + "/yt-dlp");
        if (!installed.isEmpty())
            QVERIFY(QDir().mkpath(tools()) && writeAll(target, before, true));
        const int fetched = media.requests("GET /" + release + "/yt-dlp");

        const Ran ran = run(binFile("update.sh"), {}, release, {}, key.contains('/') ? media.filePath(key) : key);
        QCOMPARE(ran.exitCode, exitCode);
        QVERIFY2(ran.lastLine().startsWith(line), qPrintable(ran.output));
        QCOMPARE(media.requests("GET /" + release + "/yt-dlp") - fetched, toolFetches);
        // A failure changes nothing; every run leaves no work files and its result.
        if (exitCode == 0)
            QCOMPARE(run(binFile("run"), {"--version"}).output.trimmed(), after);
        else
            QCOMPARE(readAll(target), before);
        QCOMPARE(QDir(tools()).entryList({".update.*"}, QDir::Dirs | QDir::Hidden), QStringList());
        ToolHealth health;
        health.readLastUpdate(readAll(tools() + "/last-update"));
        QCOMPARE(health.updateOk, exitCode == 0);
        QCOMPARE(health.updateResult, ran.lastLine());
    }

    void rollback()
    {
        QCOMPARE(run(binFile("update.sh"), {"--rollback"}).exitCode, 1);
        QCOMPARE(run(binFile("update.sh"), {}, "old").exitCode, 0);
        QCOMPARE(run(binFile("update.sh"), {}, "new").exitCode, 0);
        const Ran back = run(binFile("update.sh"), {"--rollback"});
        QCOMPARE(back.exitCode, 0);
        QCOMPARE(back.lastLine(), "yt-dlp 2099.01.01 was updated to 2098.01.01");
        QCOMPARE(run(binFile("run"), {"--version"}).output.trimmed(), "2098.01.01");
        // The copy given up is the one to go back to.
        QCOMPARE(readAll(tools() + "/yt-dlp.previous"), newer);
    }

    void launcher_data()
    {
        QTest::addColumn<QString>("tool");   // this user's copy: "" none, "runtimes", "plain", "dead"
        QTest::addColumn<bool>("deno");      // this user's deno
        QTest::addColumn<bool>("node");      // node on PATH
        QTest::addColumn<QString>("info");   // run --tool-info, NODE and TOOLS standing for their places
        QTest::addColumn<QString>("option"); // the --js-runtimes value a download gets, "" none
        QTest::newRow("runtimes, node") << "runtimes" << false << true
                                        << "tool 2099.03.03 TOOLS/yt-dlp\njs-runtime node NODEVERSION NODE"
                                        << "node:NODE";
        QTest::newRow("runtimes, deno first") << "runtimes" << true << true
                                              << "tool 2099.03.03 TOOLS/yt-dlp\njs-runtime deno 2.5.6 TOOLS/deno"
                                              << "deno:TOOLS/deno";
        QTest::newRow("runtimes, none") << "runtimes" << false << false
                                        << "tool 2099.03.03 TOOLS/yt-dlp\njs-runtime none" << "";
        QTest::newRow("no runtimes taken") << "plain" << false << true
                                           << "tool 2099.03.03 TOOLS/yt-dlp\njs-runtime unsupported" << "";
        QTest::newRow("own copy does not run") << "dead" << false << true
                                               << "tool DEBIAN PATH/yt-dlp\njs-runtime unsupported" << "";
    }
    void launcher()
    {
        QFETCH(QString, tool);
        QFETCH(bool, deno);
        QFETCH(bool, node);
        QFETCH(QString, info);
        QFETCH(QString, option);
        const QString nodePath = QStandardPaths::findExecutable("node");
        if (node && nodePath.isEmpty())
            QSKIP("no node on PATH");
        QTemporaryDir path; // PATH: yt-dlp, and node when the row has it
        QVERIFY(QDir().mkpath(tools()));
        QVERIFY(QFile::link("/usr/bin/yt-dlp", path.filePath("yt-dlp")));
        if (node)
            QVERIFY(QFile::link(nodePath, path.filePath("node")));
        const QString log = data.filePath("arguments");
        const QByteArray help = tool == "runtimes" ? "  --js-runtimes RUNTIME[:PATH]  Runtimes to use" : "  --version";
        if (!tool.isEmpty())
            QVERIFY(writeAll(tools() + "/yt-dlp",
                             tool == "dead" ? QByteArray("#!/bin/sh\nexit 1\n")
                                            : "#!/bin/sh\nfor a; do case $a in\n--version) echo 2099.03.03; exit 0 ;;\n"
                                              "--help) echo '" + help + "'; exit 0 ;;\nesac; done\nprintf '%s\\n' \"$@\" >"
                                                  + log.toUtf8() + QByteArray("\n"),
                             true));
        if (deno)
            QVERIFY(writeAll(tools() + "/deno", "#!/bin/sh\necho 'deno 2.5.6 (stable, release, x86_64)'\n", true));
        const QString nodeVersion = node ? versionOf(nodePath).mid(1) : QString();
        const auto places = [&](QString text) {
            return text.replace("NODEVERSION", nodeVersion).replace("NODE", path.filePath("node"))
                .replace("TOOLS", tools()).replace("DEBIAN", debianVersion).replace("PATH", path.path());
        };
        // Asked once, then remembered: both runs say the same.
        for (int i = 0; i < 2; ++i)
            QCOMPARE(run(binFile("run"), {"--tool-info"}, {}, path.path()).output.trimmed(), places(info));
        ToolHealth health;
        health.readToolInfo(places(info).split('\n'), tools());
        QCOMPARE(health.ownCopy, tool == "runtimes" || tool == "plain");
        QCOMPARE(health.text().contains("JavaScript runtime: none found"), info.endsWith("none"));
        if (tool == "dead")
            return;
        QFile::remove(log);
        QCOMPARE(run(binFile("run"), {"http://127.0.0.1:9/v", "-o", data.filePath("v.mp4")}, {}, path.path()).exitCode, 0);
        const QStringList got = QString::fromUtf8(readAll(log)).split('\n');
        const int at = got.indexOf("--js-runtimes");
        QCOMPARE(at < 0 ? QString() : got.value(at + 1), places(option));
    }

    void healthReaders_data()
    {
        QTest::addColumn<QString>("what");
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QString>("text"); // the line of the health text it makes, "" none
        QTest::newRow("ffmpeg") << "ffmpeg" << QByteArray("ffmpeg version 5.1.9-0+deb12u1 Copyright (c) 2000")
                                << "ffmpeg: 5.1.9-0+deb12u1";
        QTest::newRow("ffmpeg, other words") << "ffmpeg" << QByteArray("avconv version 9") << "ffmpeg: not found";
        QTest::newRow("ffmpeg, empty") << "ffmpeg" << QByteArray() << "ffmpeg: not found";
        QTest::newRow("update done") << "update" << QByteArray("2026-12-07T03:40:12Z 0 yt-dlp 1 is up to date\n")
                                     << "Last update: 2026-12-07 03:40 UTC, done: yt-dlp 1 is up to date";
        QTest::newRow("update failed") << "update" << QByteArray("2026-12-07T03:40:12Z 1 The update failed\x1b[2J")
                                       << "Last update: 2026-12-07 03:40 UTC, failed: The update failed [2J";
        QTest::newRow("update, no time") << "update" << QByteArray("yesterday 0 fine") << "Last update: none yet";
        QTest::newRow("tool, relative path") << "tool" << QByteArray("tool 1.0 yt-dlp") << "Downloader: not found";
        QTest::newRow("tool, odd version") << "tool" << QByteArray("tool 1$0 /bin/yt-dlp") << "Downloader: not found";
        QTest::newRow("tool, system") << "tool" << QByteArray("tool 1.0 /usr/bin/yt-dlp")
                                      << "Downloader: yt-dlp 1.0, system copy /usr/bin/yt-dlp";
        QTest::newRow("runtime, odd path") << "runtime" << QByteArray("js-runtime node 20.1.0 node")
                                           << "JavaScript runtime: unknown";
    }
    void healthReaders()
    {
        QFETCH(QString, what);
        QFETCH(QByteArray, input);
        QFETCH(QString, text);
        ToolHealth health;
        if (what == "ffmpeg")
            health.readFfmpeg(input.isEmpty() ? QStringList() : QStringList{QString::fromUtf8(input)});
        else if (what == "update")
            health.readLastUpdate(input);
        else
            health.readToolInfo({QString::fromUtf8(input)}, "/home/u/.local/share/Vidarro/tools");
        QVERIFY2(health.text().split('\n').contains(text), qPrintable(health.text()));
    }

    // The whole check against the real launcher and ffmpeg, without waiting on them.
    void healthCheck()
    {
        QVERIFY(QDir().mkpath(tools()));
        QVERIFY(writeAll(tools() + "/yt-dlp", older, true));
        qputenv("XDG_DATA_HOME", data.path().toUtf8());
        qunsetenv("APPDATA");
        ToolHealthCheck check(binFile("run"), MediaFixture::program("ffmpeg"), tools(), nullptr);
        QSignalSpy ready(&check, &ToolHealthCheck::ready);
        check.start();
        QCOMPARE(ready.count(), 0);
        QVERIFY(ready.wait(120000));
        const ToolHealth health = ready.takeFirst().at(0).value<ToolHealth>();
        QCOMPARE(health.toolVersion, "2098.01.01");
        QVERIFY(health.ownCopy);
        QVERIFY(health.runtimeUnused);
        QVERIFY2(!health.ffmpegVersion.isEmpty(), qPrintable(health.text()));
    }

    // Only the hand-over is tested here: Debian's yt-dlp 2023.03.04, the one
    // copy on this machine, cannot decrypt the cookies of today's Chromium
    // ("failed to decrypt cookie (AES-CBC)"), so a real browser's cookies
    // reach a download only through a current copy.
    void cookieSource_data()
    {
        QTest::addColumn<QString>("browser");
        QTest::addColumn<QString>("profile");
        QTest::addColumn<QString>("argument");
        QTest::addColumn<QByteArray>("optionLine"); // in the tool's option file, "" none
        QTest::newRow("none") << "" << "/p" << "" << QByteArray();
        QTest::newRow("chromium") << "chromium" << "" << "chromium" << QByteArray("--cookies-from-browser 'chromium'");
        QTest::newRow("firefox, profile") << "firefox" << " /home/u/it's mine " << "firefox:/home/u/it's mine"
                                          << QByteArray("--cookies-from-browser 'firefox:/home/u/it'\"'\"'s mine'");
        QTest::newRow("unknown browser") << "netscape" << "" << "" << QByteArray();
        QTest::newRow("control character") << "edge" << "a\nb" << "" << QByteArray();
    }
    void cookieSource()
    {
        QFETCH(QString, browser);
        QFETCH(QString, profile);
        QFETCH(QString, argument);
        QFETCH(QByteArray, optionLine);
        QCOMPARE(CookieSource::argument(browser, profile), argument);
        // The driver hands it to the tool in its option file.
        QTemporaryDir app;
        QVERIFY(QFile::copy(QFINDTESTDATA("fake-tool.sh"), app.filePath("run")));
        QVERIFY(writeAll(app.filePath("title"), "A Title\n1:00\n"));
        qputenv("FAKE_LOG", app.filePath("arguments").toUtf8());
        qputenv("FAKE_OUT", app.filePath("title").toUtf8());
        Platform::setApplicationFolder(app.path());
        Downloader driver;
        driver.setCookieSource(argument);
        QVERIFY(driver.checkURL(QUrl("http://127.0.0.1:9/v")));
        QSignalSpy title(&driver, &Downloader::haveTitle);
        driver.requestTitle();
        QVERIFY(title.wait(30000));
        const QByteArray options = readAll(app.filePath("arguments.conf"));
        QVERIFY2(optionLine.isEmpty() ? options.isEmpty() : options.split('\n').contains(optionLine), options);
        QCOMPARE(readAll(app.filePath("arguments")).startsWith("--config-locations"), !optionLine.isEmpty());
        qunsetenv("FAKE_LOG");
        qunsetenv("FAKE_OUT");
    }
};

QTEST_GUILESS_MAIN(tst_ToolUpdate)
#include "tst_toolupdate.moc"

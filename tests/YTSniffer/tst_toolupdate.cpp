// update.sh against releases on 127.0.0.1 over http and https (zipapps of Debian's yt_dlp signed with a key
// made here, zips of a stand-in deno), run's choice of tool and JavaScript runtime, the health line, the
// cookie source and where its browser keeps it.

#include "CookieSource.h"
#include "Downloader.h"
#include "MediaFixture.h"
#include "Platform.h"
#include "TestFiles.h"
#include "ToolHealthCheck.h"
#include "ToolOutput.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>

namespace {

bool writeAll(const QString &path, const QByteArray &data, bool executable = false)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(data) == data.size()
           && (!executable || file.setPermissions(file.permissions() | QFile::ExeOwner));
}

QByteArray sha256(const QByteArray &data)
{
    return QCryptographicHash::hash(data, QCryptographicHash::Sha256).toHex();
}

using Ran = MediaFixture::Ran;

// A tool that says it is 2099.03.03, shows `help` and writes the arguments of any other run to `log`.
QByteArray fakeTool(const QByteArray &help, const QString &log)
{
    return "#!/bin/sh\nfor a; do case $a in\n--version) echo 2099.03.03; exit 0 ;;\n--help) echo '" + help
           + "'; exit 0 ;;\nesac; done\nprintf '%s\\n' \"$@\" >" + log.toUtf8() + "\n";
}

QByteArray denoScript(const char *version)
{
    return QByteArray("#!/bin/sh\necho 'deno ") + version + " (stable, release, x86_64)'\n";
}

const QByteArray takesRuntimes = "  --js-runtimes RUNTIME[:PATH]  Runtimes to use";

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
    QString denoRelease = QStringLiteral("no-deno"); // where update.sh fetches deno
    const QString zip = QStringLiteral("deno-%1-unknown-linux-gnu.zip")
                            .arg(QSysInfo::currentCpuArchitecture() == "arm64" ? "aarch64" : "x86_64");

    QString tools() const { return data.filePath("Vidarro/tools"); }
    QString curlBin() const { return build.filePath("bin"); } // a curl that notes each address, ahead on PATH
    // "s:NAME" the release NAME over https, an address as it is, else NAME over plain http.
    QString address(const QString &release) const
    {
        return release.startsWith("s:") ? media.tlsUrl(release.mid(2)) : release.contains("://") ? release : media.url(release);
    }
    // Requests for the plain-http releases that refused redirects point to: none, ever.
    int plainAsked() const
    {
        const QList<QByteArray> heads = media.requestHeads();
        return int(std::count_if(heads.cbegin(), heads.cend(), [](const QByteArray &h) { return h.startsWith("GET /plain"); }));
    }
    QString binFile(const QString &name) const { return qEnvironmentVariable("VIDARRO_BIN_DIR") + '/' + name; }

    // key: the key file, empty for the one shipped beside update.sh.
    Ran run(const QString &program, const QStringList &arguments, const QString &release = {},
            const QString &path = {}, const QString &key = QStringLiteral("test"))
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("APPDATA");
        env.remove("VIDARRO_TOOL_KEY");
        env.remove("VIDARRO_TOOLS");
        env.insert("XDG_DATA_HOME", data.path());
        if (!key.isEmpty())
            env.insert("VIDARRO_TOOL_KEY", key == "test" ? keyFile : key);
        env.insert("VIDARRO_TOOL_RELEASE_URL", address(release));
        env.insert("VIDARRO_DENO_RELEASE_URL", address(denoRelease));
        if (!path.isEmpty())
            env.insert("PATH", path);
        return MediaFixture::execute(program, arguments, env);
    }

    bool gpg(const QStringList &arguments)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("GNUPGHOME", gnupg.path());
        const QStringList batch{"--batch", "--yes", "--passphrase", ""};
        return MediaFixture::execute("gpg", batch + arguments, env).exitCode == 0;
    }

    // Debian's yt_dlp as one runnable file that says it is `version`.
    QByteArray zipapp(const QString &version)
    {
        const QString source = build.filePath(version);
        const QStringList copy{"-r", "/usr/lib/python3/dist-packages/yt_dlp", source + "/"};
        if (!QDir().mkpath(source) || MediaFixture::execute("cp", copy).exitCode)
            return {};
        QDirIterator caches(source, {"__pycache__"}, QDir::Dirs, QDirIterator::Subdirectories);
        while (caches.hasNext())
            QDir(caches.next()).removeRecursively();
        if (!writeAll(source + "/yt_dlp/version.py", "__version__ = '" + version.toUtf8() + "'\nRELEASE_GIT_HEAD = ''\n"
                                                     "VARIANT = None\nUPDATE_HINT = None\nCHANNEL = 'stable'\n"))
            return {};
        const QStringList pack{"-m", "zipapp", source, "-o", source + ".pyz", "-p", "/usr/bin/env /usr/bin/python3",
                               "-m", "yt_dlp:main"};
        return MediaFixture::execute("/usr/bin/python3", pack).exitCode == 0 ? readFile(source + ".pyz") : QByteArray();
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

    // A deno release folder: the zip of a program named deno, and a sum of `listed` in either form seen.
    bool runtimeRelease(const QString &name, const QByteArray &deno, const QByteArray &listed, bool table = false)
    {
        const QString folder = media.filePath(name), program = build.filePath(name + "/deno");
        const QByteArray sum = table ? QByteArray("Algorithm Hash Path\r\n--------- ---- ----\r\nSHA256 " + sha256(listed).toUpper()
                                           + " D:\\a\\" + zip.toUtf8() + "\r\n")
                                     : QByteArray(sha256(listed) + "  " + zip.toUtf8() + "\n");
        return QDir().mkpath(folder) && QDir().mkpath(build.filePath(name)) && writeAll(program, deno, true)
               && MediaFixture::execute("/usr/bin/python3", {"-m", "zipfile", "-c", folder + '/' + zip, program})
                          .exitCode == 0
               && writeAll(folder + '/' + zip + ".sha256sum", listed.isEmpty() ? sha256(readFile(folder + '/' + zip)) : sum);
    }

    static QString versionOf(const QString &program)
    {
        const QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        return MediaFixture::execute(program, {"--version"}, env, false).output.trimmed();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(gnupg.isValid() && build.isValid() && data.isValid());
        QVERIFY2(media.start(MediaFixture::Setup{false, true}), qPrintable(media.errorString()));
        QVERIFY(gpg({"--quick-gen-key", "Test <t@example.invalid>", "rsa2048", "sign", "never"}));
        keyFile = gnupg.filePath("release-key.asc");
        QVERIFY(gpg({"--armor", "--output", keyFile, "--export", "t@example.invalid"}));
        // As the application's runs see it: this folder, this key, nothing fetched unless a test says where from.
        qputenv("XDG_DATA_HOME", data.path().toUtf8());
        qunsetenv("APPDATA");
        qputenv("VIDARRO_TOOL_KEY", keyFile.toUtf8());
        for (const char *name : {"VIDARRO_TOOL_RELEASE_URL", "VIDARRO_DENO_RELEASE_URL"})
            qputenv(name, "http://127.0.0.1:9/none");
        qputenv("CURL_CA_BUNDLE", media.caFile().toUtf8());
        QVERIFY(QDir().mkpath(curlBin()) && writeAll(curlBin() + "/curl", "#!/bin/sh\nfor a; do last=$a; done\necho \"$last\" >>"
                                                    + curlBin().toUtf8() + "/log\nexec " + QStandardPaths::findExecutable("curl").toUtf8() + " \"$@\"\n", true));
        older = zipapp("2098.01.01");
        newer = zipapp("2099.01.01");
        QVERIFY(!older.isEmpty() && !newer.isEmpty());
        debianVersion = versionOf("yt-dlp");
        QVERIFY(!debianVersion.isEmpty());
        const QByteArray dead = "#!/bin/sh\nexit 1\n";
        const QByteArray runtimes = fakeTool(takesRuntimes, data.filePath("arguments"));
        QVERIFY(release("old", older, older) && release("new", newer, newer) && release("sum", newer, "another tool")
                && release("sig", newer, newer, true) && release("dead", dead, dead) && release("cut", newer, newer)
                && release("js", runtimes, runtimes) && release("plain", newer, newer));
        QVERIFY(runtimeRelease("deno", denoScript("2.5.6"), {}, true) && runtimeRelease("deno-sum", denoScript("2.5.6"), "other")
                && runtimeRelease("deno-dead", dead, {}) && runtimeRelease("deno-cut", denoScript("2.5.6"), {})
                && runtimeRelease("plain-deno", denoScript("6.6.6"), {}));
        // Over https on to https ("hop"), or down to a good release over plain http: the sums ("down"), the
        // tool ("down-tool"), deno's sum ("deno-sum-down"), deno's zip ("deno-down").
        const auto redirect = [&](const QString &path, const QString &to) {
            MediaFixture::Route moved;
            moved.status = "302 Found";
            moved.headers = {"Location: " + to.toUtf8()};
            return media.route(path, moved);
        };
        for (const QString &name : QStringList{"SHA2-256SUMS", "SHA2-256SUMS.sig", "yt-dlp"})
            QVERIFY(redirect("hop/" + name, media.tlsUrl("new/" + name))
                    && redirect("down-tool/" + name, name == "yt-dlp" ? media.url("plain/yt-dlp") : media.tlsUrl("new/" + name)));
        QVERIFY(redirect("down/SHA2-256SUMS", media.url("plain/SHA2-256SUMS")));
        for (const QString &name : QStringList{zip, zip + ".sha256sum"})
            QVERIFY(redirect("deno-sum-down/" + name, media.url("plain-deno/" + name))
                    && redirect("deno-down/" + name, name == zip ? media.url("plain-deno/" + zip) : media.tlsUrl("deno/" + name)));
        for (const QString &path : QStringList{"cut/yt-dlp", "deno-cut/" + zip}) {
            MediaFixture::Route cut;
            cut.file = path;
            cut.cut = int(QFileInfo(media.filePath(path)).size() / 2);
            QVERIFY(media.route(path, cut));
        }
    }

    void init()
    {
        QVERIFY(QDir(data.filePath("Vidarro")).removeRecursively() && QDir(data.filePath("elsewhere")).removeRecursively());
    }

    void update_data()
    {
        QTest::addColumn<QString>("installed"); // "", or the release whose tool is installed
        QTest::addColumn<QString>("release");   // after a success, run --version says its version
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("line");      // the start of the last line
        QTest::addColumn<int>("toolFetches");
        QTest::addColumn<QString>("key");       // "test", "" the shipped one, or a file of the release
        const auto row = [](const char *name, const char *installed, const char *release, int exitCode,
                            const QString &line, int fetches, const char *key = "test") {
            QTest::newRow(name) << QString(installed) << QString(release) << exitCode << line << fetches << QString(key);
        };
        const QString failed = "The update of yt-dlp failed: ";
        // The fault once mended: Debian's old copy passed for current.
        row("first copy, over Debian's", "", "new", 0, "yt-dlp DEBIAN was updated to 2099.01.01", 1);
        row("newer release", "old", "new", 0, "yt-dlp 2098.01.01 was updated to 2099.01.01", 1);
        row("same release", "old", "old", 0, "yt-dlp 2098.01.01 is up to date", 0);
        row("wrong checksum", "old", "sum", 1, failed + "the downloaded yt-dlp does not match", 1);
        row("bad signature", "old", "sig", 1, failed + "the signature of SHA2-256SUMS is not good", 0);
        row("cut download", "old", "cut", 1, failed + "cannot download yt-dlp", 1);
        row("copy does not run", "old", "dead", 1, failed + "the new copy does not run", 1);
        row("no release", "old", "missing", 1, failed + "cannot download SHA2-256SUMS", 0);
        row("no copy, bad signature", "", "sig", 1, failed + "the signature of SHA2-256SUMS", 0);
        // The release key beside the script, unwrapped here, knows no test signature.
        row("shipped key", "old", "new", 1, failed + "the signature of SHA2-256SUMS is not good", 0, "");
        row("unreadable key", "old", "new", 1, failed + "the release key", 0, "none/key.asc");
        row("over https", "old", "s:new", 0, "yt-dlp 2098.01.01 was updated to 2099.01.01", 1);
        row("https, redirected within https", "", "s:hop", 0, "yt-dlp DEBIAN was updated to 2099.01.01", 1);
        // The reason on standard error too; nothing fetched from the plain-http end.
        row("sums redirected to http", "old", "s:down", 1, failed + "cannot download SHA2-256SUMS: refused the redirect to http://", 0);
        row("tool redirected to http", "old", "s:down-tool", 1, failed + "cannot download yt-dlp: refused the redirect to http://", 1);
        row("plain http off this computer", "old", "http://192.0.2.1/new", 1,
            failed + "cannot download SHA2-256SUMS: refused http://192.0.2.1/new/SHA2-256SUMS: plain http is taken only from this computer", 0);
    }
    void update()
    {
        QFETCH(QString, installed);
        QFETCH(QString, release);
        QFETCH(int, exitCode);
        QFETCH(QString, line);
        QFETCH(int, toolFetches);
        QFETCH(QString, key);
        const QString failed = "The update of yt-dlp failed: ";
        line.replace("DEBIAN", debianVersion);
        const QString target = tools() + "/yt-dlp", folder = release.mid(release.indexOf(':') + 1);
        // "tools" a link to a folder elsewhere, holding the work folder of a run killed two hours ago.
        const QString elsewhere = data.filePath("elsewhere");
        QVERIFY(QDir().mkpath(elsewhere + "/.update.killed") && QDir().mkpath(data.filePath("Vidarro"))
                && QFile::link(elsewhere, tools()));
        QCOMPARE(MediaFixture::execute("touch", {"-d", "2 hours ago", elsewhere + "/.update.killed"}).exitCode, 0);
        const QByteArray before = installed.isEmpty() ? QByteArray() : media.bytes(installed + "/yt-dlp");
        if (!installed.isEmpty())
            QVERIFY(writeAll(target, before, true));
        const int fetched = media.requests("GET /" + folder + "/yt-dlp");

        const Ran ran = run(binFile("update.sh"), {}, release, curlBin() + ':' + qEnvironmentVariable("PATH"),
                            key.contains('/') ? media.filePath(key) : key);
        QCOMPARE(ran.exitCode, exitCode);
        QVERIFY2(ran.lastLine().startsWith(line), qPrintable(ran.output));
        QCOMPARE(ran.output.trimmed().section('\n', -2, -2).trimmed() == ran.lastLine(), line.contains("refused"));
        QCOMPARE(media.requests("GET /" + folder + "/yt-dlp") - fetched, toolFetches);
        QCOMPARE(plainAsked(), 0);
        QVERIFY(!readFile(curlBin() + "/log").contains("192.0.2."));
        // A failure changes nothing; every run leaves no work files and its result.
        if (exitCode == 0)
            QCOMPARE(run(binFile("run"), {"--version"}).output.trimmed(), folder == "old" ? "2098.01.01" : "2099.01.01");
        else
            QCOMPARE(readFile(target), before);
        QCOMPARE(QDir(tools()).entryList({".update.*"}, QDir::Dirs | QDir::Hidden), QStringList());
        ToolHealth health;
        health.readLastUpdate(readFile(tools() + "/last-update"));
        const QString result = QString(exitCode == 0 ? " UTC, done: " : " UTC, failed: ") + ran.lastLine() + '\n';
        QVERIFY2(health.text().contains(result), qPrintable(health.text()));
        // One step back, when a copy was replaced; the copy given up is the one to go back to.
        const bool replaced = exitCode == 0 && !installed.isEmpty() && installed != release;
        QCOMPARE(run(binFile("update.sh"), {"--rollback"}).lastLine(),
                 replaced ? QString("yt-dlp 2099.01.01 was updated to 2098.01.01") : failed + "there is no earlier copy that runs to go back to");
        QCOMPARE(readFile(tools() + "/yt-dlp.previous"), replaced ? newer : QByteArray());
    }

    void runtime_data()
    {
        QTest::addColumn<QString>("tool");     // the tool's release: "js" takes a runtime, "old" does not
        QTest::addColumn<QString>("release");  // deno's
        QTest::addColumn<QByteArray>("node");  // what node on PATH says
        QTest::addColumn<QByteArray>("before"); // this user's deno before, "" none
        QTest::addColumn<QString>("line");     // the start of deno's line, "" none
        QTest::addColumn<QByteArray>("after"); // this user's deno after, "" none
        const auto row = [](const char *name, const char *tool, const char *release, const char *node,
                            const char *before, const QString &line, const char *after) {
            QTest::newRow(name) << QString(tool) << QString(release) << QByteArray(node)
                                << (*before ? denoScript(before) : QByteArray()) << line
                                << (*after ? denoScript(after) : QByteArray());
        };
        const QString failed = "The update of deno failed: ";
        row("fetched, node too old", "js", "deno", "v18.19.0", "", "deno none was updated to 2.5.6", "2.5.6");
        row("kept current beside node 20", "js", "deno", "v20.1.0", "2.0.0", "deno 2.0.0 was updated to 2.5.6", "2.5.6");
        row("wrong checksum", "js", "deno-sum", "v18.19.0", "2.0.0", failed + "the downloaded deno-", "2.0.0");
        row("cut download", "js", "deno-cut", "v18.19.0", "", failed + "cannot download deno-", "");
        row("deno does not run", "js", "deno-dead", "v18.19.0", "2.0.0", failed + "the new deno does not run", "2.0.0");
        row("no release", "js", "missing", "v18.19.0", "", failed + "cannot download ZIP.sha256sum", "");
        row("over https", "js", "s:deno", "v18.19.0", "", "deno none was updated to 2.5.6", "2.5.6");
        // Refused, so not verified: said so in the health line, and nothing installed.
        row("checksum redirected to http", "js", "s:deno-sum-down", "v18.19.0", "2.0.0",
            failed + "cannot download ZIP.sha256sum: refused the redirect to http://", "2.0.0");
        row("zip redirected to http", "js", "s:deno-down", "v18.19.0", "", failed + "cannot download ZIP: refused the redirect to http://", "");
        row("plain http off this computer", "js", "http://192.0.2.1/deno", "v18.19.0", "2.0.0",
            failed + "cannot download ZIP.sha256sum: refused http://192.0.2.1/deno/ZIP.sha256sum: plain http", "2.0.0");
        row("node 20 on PATH", "js", "deno", "v20.1.0", "", "", "");
        row("tool takes none", "old", "deno", "v18.19.0", "", "", "");
    }
    // deno's step never changes the tool's result: exit code 0 and the tool's line last, every time.
    void runtime()
    {
        QFETCH(QString, tool);
        QFETCH(QString, release);
        QFETCH(QByteArray, node);
        QFETCH(QByteArray, before);
        QFETCH(QString, line);
        QFETCH(QByteArray, after);
        line.replace("ZIP", zip);
        QTemporaryDir path; // node, ahead of the rest of PATH
        QVERIFY(writeAll(path.filePath("node"), "#!/bin/sh\necho " + node + "\n", true) && QDir().mkpath(tools()));
        if (!before.isEmpty())
            QVERIFY(writeAll(tools() + "/deno", before, true));
        denoRelease = release;
        const QString zipGets = "GET /" + release.mid(release.indexOf(':') + 1) + '/' + zip;
        const int fetched = media.requests(zipGets);
        const QString paths = path.path() + ':' + curlBin() + ':' + qEnvironmentVariable("PATH");
        const Ran ran = run(binFile("update.sh"), {}, tool, paths);
        QCOMPARE(ran.exitCode, 0);
        QVERIFY2(ran.lastLine().startsWith("yt-dlp "), qPrintable(ran.output));
        QVERIFY2(line.isEmpty() ? !ran.output.contains("deno") : ran.output.trimmed().section('\n', -2, -2).startsWith(line), qPrintable(ran.output));
        QCOMPARE(media.requests(zipGets) - fetched, line.isEmpty() || line.contains(".sha256sum") ? 0 : 1);
        QCOMPARE(plainAsked(), 0);
        QVERIFY(!readFile(curlBin() + "/log").contains("192.0.2."));
        QCOMPARE(readFile(tools() + "/deno"), after);
        QCOMPARE(QDir(tools()).entryList({".update.*"}, QDir::Dirs | QDir::Hidden), QStringList());
        ToolHealth health;
        health.readLastUpdate(readFile(tools() + "/last-update"));
        const bool failed = line.startsWith("The");
        QVERIFY2(failed ? health.runtimeFailure.startsWith(line) && ran.output.contains(health.runtimeFailure)
                        : health.runtimeFailure.isEmpty(), qPrintable(health.text()));
        QCOMPARE(health.text().contains("JavaScript runtime update: not verified, nothing installed: " + health.runtimeFailure),
                 line.contains("refused"));
        if (after.isEmpty() || after == before)
            return;
        // Passed to the tool, and kept for one rollback.
        QVERIFY(run(binFile("run"), {"--tool-info"}, {}, paths).output.contains("js-runtime deno 2.5.6 " + tools() + "/deno"));
        QCOMPARE(readFile(tools() + "/deno.previous"), before);
        // Once more from the application, the addresses from its settings: current, so not fetched again.
        const QByteArray systemPath = qgetenv("PATH");
        qputenv("PATH", paths.toUtf8());
        Platform::setApplicationFolder(qEnvironmentVariable("VIDARRO_BIN_DIR"));
        Downloader driver;
        driver.setReleaseUrl(media.url(tool));
        driver.setRuntimeReleaseUrl(address(release));
        QSignalSpy updated(&driver, &Downloader::snifferUpdated);
        driver.checkUpdates();
        const bool done = updated.wait(60000);
        qputenv("PATH", systemPath);
        QVERIFY(done);
        QCOMPARE(QString(readFile(tools() + "/last-update")).section('\n', 1, 1).section(' ', 1), "0 deno 2.5.6 is up to date");
        QCOMPARE(media.requests(zipGets) - fetched, 1);
        QCOMPARE(run(binFile("update.sh"), {"--rollback", "deno"}).exitCode, before.isEmpty() ? 1 : 0);
        QCOMPARE(readFile(tools() + "/deno"), before.isEmpty() ? after : before);
    }

    void launcher_data()
    {
        QTest::addColumn<QString>("tool");   // this user's copy: "runtimes", "plain", "dead"
        QTest::addColumn<bool>("deno");      // this user's deno
        QTest::addColumn<bool>("node");      // node on PATH
        QTest::addColumn<QString>("info");   // run --tool-info, NODE and TOOLS standing for their places
        QTest::addColumn<QString>("option"); // the --js-runtimes value a download gets, "" none
        const auto row = [](const char *name, const char *tool, bool deno, bool node, const char *runtime,
                            const char *option) {
            const QString own = QString(tool) == "dead" ? "tool DEBIAN PATH/yt-dlp\n" : "tool 2099.03.03 TOOLS/yt-dlp\n";
            QTest::newRow(name) << QString(tool) << deno << node << QString(own + "js-runtime " + runtime)
                                << QString(option);
        };
        row("runtimes, node", "runtimes", false, true, "node NODEVERSION NODE", "node:NODE");
        row("runtimes, deno first", "runtimes", true, true, "deno 2.5.6 TOOLS/deno", "deno:TOOLS/deno");
        row("runtimes, none", "runtimes", false, false, "none", "");
        row("no runtimes taken", "plain", false, true, "unsupported", "");
        row("own copy does not run", "dead", false, true, "unsupported", "");
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
        QVERIFY(writeAll(tools() + "/yt-dlp", tool == "dead" ? QByteArray("#!/bin/sh\nexit 1\n")
                                                             : fakeTool(tool == "runtimes" ? takesRuntimes : "  --version", log),
                         true));
        if (deno)
            QVERIFY(writeAll(tools() + "/deno", denoScript("2.5.6"), true));
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
        QVERIFY(health.text().contains(tool == "dead" ? ", system copy " + path.path() : ", own copy in " + tools()));
        QCOMPARE(health.text().contains("JavaScript runtime: none found"), info.endsWith("none"));
        if (tool == "dead")
            return;
        QFile::remove(log);
        QCOMPARE(run(binFile("run"), {"http://127.0.0.1:9/v", "-o", data.filePath("v.mp4")}, {}, path.path()).exitCode, 0);
        const QStringList got = QString::fromUtf8(readFile(log)).split('\n');
        const int at = got.indexOf("--js-runtimes");
        QCOMPARE(at < 0 ? QString() : got.value(at + 1), places(option));
    }

    // What the application asks the tool for, the launcher passes on as it stands; what the
    // application would refuse, the launcher refuses too.
    void selectorsAgree_data()
    {
        QTest::addColumn<QString>("code");
        for (const char *code : {"best", "m720", "ba/b", "22", "hls-720p.1", "a;b", "$(id)", "-x", "b b", "m1 ", "x]["})
            QTest::newRow(code) << QString(code);
        QTest::newRow("long") << QString(129, 'x');
    }
    void selectorsAgree()
    {
        QFETCH(QString, code);
        QVERIFY(QDir().mkpath(tools()));
        const QString log = data.filePath("arguments");
        QVERIFY(writeAll(tools() + "/yt-dlp", fakeTool("  --version", log), true));
        QFile::remove(log);
        const QString selector = ToolOutput::selectorFor(code);
        const Ran ran = run(binFile("run"), {"http://127.0.0.1:9/v", "-o", data.filePath("v.mp4"), "--format", selector});
        QVERIFY2((ran.exitCode == 0) == ToolOutput::isSafeSelector(selector), qPrintable(ran.output));
        const QStringList got = QString::fromUtf8(readFile(log)).split('\n');
        QCOMPARE(got.value(got.indexOf("--format") + 1), ran.exitCode == 0 ? selector : QString());
    }

    // The whole check against the real launcher and ffmpeg, without waiting on them.
    void healthCheck()
    {
        QVERIFY(QDir().mkpath(tools()));
        QVERIFY(writeAll(tools() + "/yt-dlp", older, true));
        ToolHealthCheck check(binFile("run"), MediaFixture::program("ffmpeg"), tools(), nullptr);
        QSignalSpy ready(&check, &ToolHealthCheck::ready);
        check.start();
        QCOMPARE(ready.count(), 0);
        QVERIFY(ready.wait(120000));
        const ToolHealth health = ready.takeFirst().at(0).value<ToolHealth>();
        QVERIFY(health.ffmpegVersion.contains(QRegularExpression("^\\d+\\.\\d")));
        QCOMPARE(health.text(), "Downloader: yt-dlp 2098.01.01, own copy in " + tools() + "\nLast update: none yet\n"
                                "JavaScript runtime: not used by this yt-dlp version; update it\nffmpeg: " + health.ffmpegVersion);
    }

    // Only the hand-over: Debian's yt-dlp here cannot decrypt today's Chromium cookies.
    void cookieSource_data()
    {
        QTest::addColumn<QString>("browser");
        QTest::addColumn<QString>("profile");
        QTest::addColumn<QByteArray>("optionLine"); // in the tool's option file, "" none
        const auto row = [](const char *name, const char *browser, const char *profile, const QByteArray &optionLine) {
            QTest::newRow(name) << QString(browser) << QString(profile) << optionLine;
        };
        row("none", "", "/p", "");
        row("chromium", "chromium", "", "--cookies-from-browser 'chromium'");
        row("firefox, profile", "firefox", " /home/u/it's mine ",
            "--cookies-from-browser 'firefox:/home/u/it'\"'\"'s mine'");
        row("unknown browser", "netscape", "", "");
        row("control character", "edge", "a\nb", "");
    }
    void cookieSource()
    {
        QFETCH(QString, browser);
        QFETCH(QString, profile);
        QFETCH(QByteArray, optionLine);
        // The driver hands it to the tool in its option file.
        QTemporaryDir app;
        QVERIFY(QFile::copy(QFINDTESTDATA("fake-tool.sh"), app.filePath("run")));
        QVERIFY(writeAll(app.filePath("title"), "A Title\n1:00\n"));
        qputenv("FAKE_LOG", app.filePath("arguments").toUtf8());
        qputenv("FAKE_OUT", app.filePath("title").toUtf8());
        Platform::setApplicationFolder(app.path());
        Downloader driver;
        driver.setCookieSource(CookieSource::argument(browser, profile));
        QVERIFY(driver.checkURL(QUrl("http://127.0.0.1:9/v")));
        QSignalSpy title(&driver, &Downloader::haveTitle);
        driver.requestTitle();
        QVERIFY(title.wait(30000));
        const QByteArray options = readFile(app.filePath("arguments.conf"));
        QVERIFY2(optionLine.isEmpty() ? options.isEmpty() : options.split('\n').contains(optionLine), options);
        QCOMPARE(readFile(app.filePath("arguments")).startsWith("--config-locations"), !optionLine.isEmpty());
        qunsetenv("FAKE_LOG");
        qunsetenv("FAKE_OUT");
    }

    // Where the tool finds a browser's cookies, in a HOME of the test's own.
    void cookieStore_data()
    {
        QTest::addColumn<QString>("browser");
        QTest::addColumn<QString>("profile"); // "~" stands for HOME
        QTest::addColumn<QStringList>("files"); // below HOME; a "/" at the end: a folder
        QTest::addColumn<bool>("xdg");          // XDG_CONFIG_HOME set to HOME/xdg
        QTest::addColumn<bool>("found");
        const auto row = [](const char *name, const char *browser, const char *profile, const QStringList &files,
                            bool found, bool xdg = false) {
            QTest::newRow(name) << QString(browser) << QString(profile) << files << xdg << found;
        };
        row("none", "", "", {}, true);
        row("unknown browser", "netscape", "", {}, true);
        row("chromium, nothing", "chromium", "", {}, false);
        row("chromium, profile", "chromium", "", {".config/chromium/Default/Network/Cookies"}, true);
        row("chromium, older profile", "chromium", "", {".config/chromium/Profile 1/Cookies"}, true);
        row("chromium, profile never used", "chromium", "", {".config/chromium/Default/Preferences"}, false);
        row("chromium, a folder named Cookies", "chromium", "", {".config/chromium/Default/Cookies/"}, false);
        row("chrome, only chromium's", "chrome", "", {".config/chromium/Default/Cookies"}, false);
        row("chrome", "chrome", "", {".config/google-chrome/Default/Network/Cookies"}, true);
        row("brave", "brave", "", {".config/BraveSoftware/Brave-Browser/Default/Cookies"}, true);
        row("XDG_CONFIG_HOME", "chromium", "", {"xdg/chromium/Default/Cookies"}, true, true);
        row("XDG_CONFIG_HOME, not ~/.config", "chromium", "", {".config/chromium/Default/Cookies"}, false, true);
        row("named profile", "chromium", "Profile 2", {".config/chromium/Profile 2/Network/Cookies"}, true);
        row("named profile, another used", "chromium", "Profile 2", {".config/chromium/Default/Cookies"}, false);
        row("profile path", "edge", "~/elsewhere/p", {"elsewhere/p/Network/Cookies"}, true);
        row("profile path, empty", "edge", " ~/elsewhere/q ", {"elsewhere/q/", ".config/microsoft-edge/Default/Cookies"}, false);
        row("firefox", "firefox", "", {".mozilla/firefox/ab12.default-release/cookies.sqlite"}, true);
        row("firefox, profiles.ini alone", "firefox", "", {".mozilla/firefox/profiles.ini", ".mozilla/firefox/x.default/"},
            false);
        row("firefox, snap", "firefox", "", {"snap/firefox/common/.mozilla/firefox/x.default/cookies.sqlite"}, true);
        row("firefox, XDG", "firefox", "", {"xdg/mozilla/firefox/x.default/cookies.sqlite"}, true, true);
        row("firefox, named profile", "firefox", "x.default", {".mozilla/firefox/x.default/cookies.sqlite"}, true);
    }
    void cookieStore()
    {
        QFETCH(QString, browser);
        QFETCH(QString, profile);
        QFETCH(QStringList, files);
        QFETCH(bool, xdg);
        QTemporaryDir home;
        for (const QString &file : files) {
            const QString path = home.filePath(file);
            QVERIFY(file.endsWith('/') ? QDir().mkpath(path) : QDir().mkpath(QFileInfo(path).path()) && writeAll(path, "x"));
        }
        const QByteArray oldHome = qgetenv("HOME"), oldConfig = qgetenv("XDG_CONFIG_HOME");
        qputenv("HOME", home.path().toUtf8());
        if (xdg)
            qputenv("XDG_CONFIG_HOME", home.filePath("xdg").toUtf8());
        else
            qunsetenv("XDG_CONFIG_HOME");
        const bool found = CookieSource::storeFound(browser, profile.replace('~', home.path()));
        qputenv("HOME", oldHome);
        if (oldConfig.isNull())
            qunsetenv("XDG_CONFIG_HOME");
        else
            qputenv("XDG_CONFIG_HOME", oldConfig);
        QTEST(found, "found");
    }
};

QTEST_GUILESS_MAIN(tst_ToolUpdate)
#include "tst_toolupdate.moc"

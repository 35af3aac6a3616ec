// The driver against stand-in tools for what the real ones cannot be made
// to do on purpose: given exit codes, garbled or endless output, programs
// that cannot start.

#include "DriverTestTools.h"
#include "Platform.h"

#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QtTest>

using namespace DriverTest;

class tst_DownloaderFaults : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir app;

    QString at(const QString &name) const { return app.filePath(name); }

    // A fresh application folder holding only a stand-in `run`.
    void useTool(const QByteArray &body)
    {
        for (const QString &name : QDir(app.path()).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot)) {
            QFileInfo entry(at(name));
            if (entry.isDir())
                QDir(entry.filePath()).removeRecursively();
            else
                QFile::remove(entry.filePath());
        }
        QVERIFY(writeScript(at("run"), body));
    }

    static QStringList keptTitleLines(const Downloader &d) { return d.titleOutput; }
    static QStringList keptFormatLines(const Downloader &d) { return d.formatOutput; }

private slots:
    void initTestCase()
    {
        QVERIFY(app.isValid());
        Platform::setApplicationFolder(app.path());
    }

    void toolMissingArrivesAfterConstruction()
    {
        useTool("exit 0");
        QFile::remove(at("run"));
        Downloader driver;
        QSignalSpy error(&driver, &Downloader::hasError);
        QCOMPARE(error.count(), 0);
        QVERIFY(waitFor(error));
        QCOMPARE(errorOf(error), Downloader::ToolMissing);
        // No tool, no script suffix: the update script is not there either.
        QVERIFY(writeScript(at("update.sh"), "exit 0"));
        driver.checkUpdates();
        QCOMPARE(error.count(), 2);
        QCOMPARE(errorOf(error, 1), Downloader::UpdateFailed);
    }

    void aToolThatCannotStartReportsEachRequest()
    {
        useTool("exit 0");
        QVERIFY(QFile::setPermissions(at("run"), QFile::ReadOwner | QFile::WriteOwner));
        Downloader driver;
        QSignalSpy error(&driver, &Downloader::hasError);
        driver.checkURL(QUrl("http://127.0.0.1/x"));
        driver.requestTitle();
        driver.requestFormats();
        driver.requestFile(0, at("never.mp4"));
        QCOMPARE(error.count(), 0);
        QVERIFY(waitFor(error, 3));
        QCOMPARE(errorOf(error, 0), Downloader::TitleFailed);
        QCOMPARE(errorOf(error, 1), Downloader::FormatsFailed);
        QCOMPARE(errorOf(error, 2), Downloader::DownloadFailed);
        QCOMPARE(driver.job(), 0);
        QVERIFY(!QFile::exists(at("never.mp4")));
    }

    void anFfmpegThatCannotStartIsAnExtractionFailure()
    {
        useTool("exit 0");
        QVERIFY(writeFile(at("in.flv"), "data"));
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", app.path().toUtf8() + "/nowhere");
        Downloader driver;
        QSignalSpy error(&driver, &Downloader::hasError);
        driver.extractAudio(at("in.flv"), at("out.mp3"));
        qputenv("PATH", path);
        QVERIFY(waitFor(error));
        QCOMPARE(errorOf(error), Downloader::ExtractFailed);
        QCOMPARE(driver.job(), 0);
        QVERIFY(QFile::exists(at("in.flv")));
    }

    void aFailedTitleRunKeepsTheOldAnswer()
    {
        useTool("echo New; echo 1:00; exit 3");
        Downloader driver;
        driver.info->title = "Old";
        driver.info->duration = "2:00";
        QSignalSpy error(&driver, &Downloader::hasError);
        QSignalSpy title(&driver, &Downloader::haveTitle);
        driver.requestTitle();
        QVERIFY(waitFor(error));
        QCOMPARE(errorOf(error), Downloader::TitleFailed);
        QCOMPARE(title.count(), 0);
        QCOMPARE(driver.info->title, QString("Old"));
        QCOMPARE(driver.info->duration, QString("2:00"));
        QVERIFY(!driver.info->done.contains(TitleStep));
    }

    void titleOutputs_data()
    {
        QTest::addColumn<QByteArray>("output");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("duration");
        QTest::newRow("typical") << QByteArray("Some Title: Part 2!\n3:05\n") << "Some Title Part 2" << "3:05";
        QTest::newRow("nothing") << QByteArray() << "default" << "0:00";
        QTest::newRow("one line") << QByteArray("Only One\n") << "Only One" << "0:00";
        QTest::newRow("long") << QByteArray("An Extremely Long Title Of A Video That Goes On\n4:13")
                              << "An Extremely Long Title Of A V" << "4:13";
        QTest::newRow("replaced only") << QByteArray("!!!\n1:00") << "" << "1:00";
        QTest::newRow("non-utf8") << QByteArray("Caf\xe9 \xff\xfe au lait\n9:99") << "Caf au lait" << "9:99";
        QTest::newRow("zero byte") << QByteArray("Before\0After\n1:00", 18) << "Before" << "0:00";
        QTest::newRow("escape codes") << QByteArray("\x1b[31mRed\x1b[0m\n1:00") << "31mRed 0m" << "1:00";
    }
    void titleOutputs()
    {
        QFETCH(QByteArray, output);
        QFETCH(QString, title);
        QFETCH(QString, duration);
        useTool("cat \"$(dirname \"$0\")/output\"");
        QVERIFY(writeFile(at("output"), output));
        Downloader driver;
        QSignalSpy have(&driver, &Downloader::haveTitle);
        driver.requestTitle();
        QVERIFY(waitFor(have));
        QCOMPARE(driver.info->title, title);
        QCOMPARE(driver.info->duration, duration);
        QCOMPARE(driver.info->done, QList<DownloadStep>{TitleStep});
    }

    void endlessOutputIsBounded()
    {
        // 10 MB of lines on each stream.
        useTool("echo 'First Line'\n"
                "yes 'more output of the tool' | head -c 10485760\n"
                "yes 'complaints' | head -c 10485760 >&2\n"
                "exit 0");
        Downloader driver;
        QSignalSpy title(&driver, &Downloader::haveTitle);
        driver.requestTitle();
        QVERIFY(waitFor(title, 1, 60000));
        QCOMPARE(driver.info->title, QString("First Line"));
        QCOMPARE(driver.info->duration, QString("more output of the tool"));
        QVERIFY(keptTitleLines(driver).size() <= 64);

        useTool("echo 'format code extension resolution note'\n"
                "yes '18 mp4 640x360 (best)' | head -c 10485760\n"
                "head -c 10485760 /dev/zero | tr '\\0' 'x'\n"
                "exit 0");
        QSignalSpy formats(&driver, &Downloader::haveFormats);
        driver.requestFormats();
        QVERIFY(waitFor(formats, 1, 60000));
        // Lines cut at chunk ends make a few odd entries, never more.
        QVERIFY(driver.info->formats.contains(18));
        QVERIFY(driver.info->formats.size() < 20);
        QVERIFY(keptFormatLines(driver).size() <= 4096);
    }

    void garbledListingStillAnswers()
    {
        useTool("printf 'format code\\n\\377\\376 mp4 x\\n[info] \\000 22 mp4\\n22 webm 640x360\\n\\t\\n'; exit 0");
        Downloader driver;
        QSignalSpy formats(&driver, &Downloader::haveFormats);
        driver.requestFormats();
        QVERIFY(waitFor(formats));
        // The zero byte ends the chunk; the garbled code lands under 0.
        QCOMPARE(driver.info->formats.keys(), QList<int>{0});
        QCOMPARE(driver.info->formats.value(0).extension, QString("mp4"));
    }

    void aFailedListingIsReported()
    {
        useTool("echo '18 mp4 640x360'; exit 1");
        Downloader driver;
        FormatInfo earlier;
        earlier.code = 5;
        driver.info->formats.insert(5, earlier);
        QSignalSpy error(&driver, &Downloader::hasError);
        QSignalSpy formats(&driver, &Downloader::haveFormats);
        driver.requestFormats();
        QVERIFY(waitFor(error));
        QCOMPARE(errorOf(error), Downloader::FormatsFailed);
        QCOMPARE(formats.count(), 0);
        QCOMPARE(driver.info->formats.keys(), QList<int>{5});
    }

    void progressStaysInRange()
    {
        useTool("for p in ']1e9%' ']abc%' '[download] -3%' '[download]  50.0%' 'no figure'; do\n"
                "  echo \"$p\"; sleep 0.1\n"
                "done\n"
                "echo done > \"$3\"; exit 0");
        Downloader driver;
        QSignalSpy progress(&driver, &Downloader::percent);
        QSignalSpy file(&driver, &Downloader::haveFile);
        driver.requestFile(0, at("ranged.mp4"));
        QVERIFY(waitFor(file));
        QList<float> values;
        for (const QList<QVariant> &v : std::as_const(progress))
            values << v.at(0).toFloat();
        for (float v : values)
            QVERIFY2(v >= 0.0f && v <= 100.0f, qPrintable(QString::number(v)));
        QVERIFY(values.contains(100.0f));
        QVERIFY(values.contains(50.0f));
        QVERIFY(values.contains(0.0f));
    }

    void aFailedDownloadLeavesNoFile()
    {
        useTool("echo half > \"$3.part\"; echo looks-done > \"$3\"; echo x > \"$3.ytdl\"; exit 1");
        Downloader driver;
        QSignalSpy error(&driver, &Downloader::hasError);
        QSignalSpy file(&driver, &Downloader::haveFile);
        const QString target = at("failed.mp4");
        driver.requestFile(0, target);
        QCOMPARE(driver.job(), int(FileStep));
        QVERIFY(waitFor(error));
        QCOMPARE(errorOf(error), Downloader::DownloadFailed);
        QCOMPARE(file.count(), 0);
        for (const QString &name : {target, QString(target + ".part"), QString(target + ".ytdl")})
            QVERIFY2(!QFile::exists(name), qPrintable(name));
        QCOMPARE(driver.job(), 0);
    }

    void successWithoutAFileIsAFailure()
    {
        useTool("echo '[download] 100%'; exit 0");
        Downloader driver;
        QSignalSpy error(&driver, &Downloader::hasError);
        QSignalSpy file(&driver, &Downloader::haveFile);
        driver.requestFile(0, at("nothing.mp4"));
        QVERIFY(waitFor(error));
        QCOMPARE(errorOf(error), Downloader::DownloadFailed);
        QCOMPARE(file.count(), 0);
    }

    void anExistingTargetIsNeverOverwritten()
    {
        useTool("touch \"$(dirname \"$0\")/ran\"; echo new > \"$3\"; exit 0");
        const QString target = at("mine.mp4");
        QVERIFY(writeFile(target, "the user's own file"));
        Downloader driver;
        QSignalSpy error(&driver, &Downloader::hasError);
        driver.requestFile(0, target);
        QVERIFY(waitFor(error));
        QCOMPARE(errorOf(error), Downloader::DownloadFailed);
        QCOMPARE(readFile(target), QByteArray("the user's own file"));
        QVERIFY(!QFile::exists(at("ran")));
        QCOMPARE(driver.job(), 0);
    }

    void downloadArguments_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<QStringList>("tail");
        QTest::newRow("tool's choice") << 0 << QStringList();
        QTest::newRow("negative") << -4 << QStringList();
        QTest::newRow("code 22") << 22 << QStringList{"--format", "22"};
    }
    void downloadArguments()
    {
        QFETCH(int, code);
        QFETCH(QStringList, tail);
        useTool("printf '%s\\n' \"$@\" > \"$(dirname \"$0\")/args\"; echo x > \"$3\"");
        Downloader driver;
        QSignalSpy file(&driver, &Downloader::haveFile);
        QVERIFY(driver.checkURL(QUrl("http://127.0.0.1:9/watch?v=1")));
        const QString target = at("args.mp4");
        driver.requestFile(code, target);
        QVERIFY(waitFor(file));
        const QStringList args = QString::fromUtf8(readFile(at("args"))).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(args, QStringList({"http://127.0.0.1:9/watch?v=1", "-o", target}) + tail);
    }

    void stopEndsTheWholeRunAndIsHarmlessTwice()
    {
        useTool("echo part > \"$3.part\"\n"
                "sleep 30 &\n"
                "echo $! > \"$(dirname \"$0\")/sleeper\"\n"
                "wait");
        Downloader driver;
        driver.stop();
        QCOMPARE(driver.job(), 0);
        QSignalSpy error(&driver, &Downloader::hasError);
        QSignalSpy file(&driver, &Downloader::haveFile);
        const QString target = at("stopped.mp4");
        driver.requestFile(0, target);
        QTRY_VERIFY_WITH_TIMEOUT(!readFile(at("sleeper")).trimmed().isEmpty(), 10000);
        const QByteArray sleeper = readFile(at("sleeper")).trimmed();
        driver.stop();
        driver.stop();
        QCOMPARE(driver.job(), 0);
        QVERIFY(!QFile::exists(target + ".part"));
        // The tool's own child is gone too.
        QTRY_VERIFY_WITH_TIMEOUT(!QFile::exists(QString::fromLatin1("/proc/" + sleeper + "/cmdline"))
                                     || readFile(QString::fromLatin1("/proc/" + sleeper + "/stat")).contains(" Z "),
                                 5000);
        settle();
        QCOMPARE(error.count(), 0);
        QCOMPARE(file.count(), 0);
    }

    void aNewerListingIsNotDisturbedByTheOlder()
    {
        useTool("case \"$2\" in\n"
                "*slow*) sleep 2; echo '22 mp4 1x1' ;;\n"
                "*) echo '18 mp4 640x360 (best)' ;;\n"
                "esac");
        Downloader driver;
        QSignalSpy formats(&driver, &Downloader::haveFormats);
        QSignalSpy error(&driver, &Downloader::hasError);
        QVERIFY(driver.checkURL(QUrl("http://127.0.0.1/slow")));
        driver.requestFormats();
        QVERIFY(driver.checkURL(QUrl("http://127.0.0.1/fast")));
        driver.requestFormats();
        QVERIFY(waitFor(formats));
        settle(2500);
        QCOMPARE(formats.count(), 1);
        QCOMPARE(error.count(), 0);
        QCOMPARE(driver.info->formats.keys(), QList<int>{18});
    }

    void checkURLKeepsTheLastGoodAddress()
    {
        useTool("exit 0");
        Downloader driver;
        QVERIFY(driver.checkURL(QUrl("http://127.0.0.1/a b")));
        const QString good = driver.url();
        QVERIFY(!driver.checkURL(QUrl("http://[::1")));
        QVERIFY(!driver.checkURL(QUrl()));
        QCOMPARE(driver.url(), good);
    }

    void extractionOutcomes_data()
    {
        QTest::addColumn<QByteArray>("ffmpeg");
        QTest::addColumn<bool>("sourceIsFolder");
        QTest::addColumn<int>("error");
        QTest::addColumn<bool>("sourceStays");
        QTest::addColumn<bool>("targetStays");
        const QByteArray target = "eval last=\\${$#}; ";
        QTest::newRow("success") << target + "echo mp3 > \"$last\"; exit 0" << false << -1 << false << true;
        QTest::newRow("exit code") << target + "echo half > \"$last\"; exit 1" << false
                                   << int(Downloader::ExtractFailed) << true << false;
        QTest::newRow("no audio file") << QByteArray("exit 0") << false << int(Downloader::NoAudioFile) << true << false;
        QTest::newRow("source not removed") << target + "echo mp3 > \"$last\"; exit 0" << true
                                            << int(Downloader::SourceNotRemoved) << true << true;
    }
    void extractionOutcomes()
    {
        QFETCH(QByteArray, ffmpeg);
        QFETCH(bool, sourceIsFolder);
        QFETCH(int, error);
        QFETCH(bool, sourceStays);
        QFETCH(bool, targetStays);
        useTool("exit 0");
        QVERIFY(writeScript(at("ffmpeg"), "printf '%s\\n' \"$@\" > \"$(dirname \"$0\")/args\"\n" + ffmpeg));
        const QString source = at("in.flv");
        const QString target = at("out.mp3");
        if (sourceIsFolder)
            QVERIFY(QDir().mkpath(source + "/inside"));
        else
            QVERIFY(writeFile(source, "video"));
        Downloader driver;
        QSignalSpy errors(&driver, &Downloader::hasError);
        QSignalSpy done(&driver, &Downloader::doneExtractAudio);
        driver.extractAudio(source, target);
        QCOMPARE(driver.job(), int(AudioStep));
        if (error < 0) {
            QVERIFY(waitFor(done));
            QCOMPARE(driver.info->done.last(), AudioStep);
        } else {
            QVERIFY(waitFor(errors));
            QCOMPARE(int(errorOf(errors)), error);
            QCOMPARE(done.count(), 0);
        }
        QCOMPARE(driver.job(), 0);
        QCOMPARE(QFileInfo::exists(source), sourceStays);
        QCOMPARE(QFileInfo::exists(target), targetStays);
        // Never a question on the console, never an overwrite.
        QCOMPARE(QString::fromUtf8(readFile(at("args"))).split('\n', Qt::SkipEmptyParts),
                 (QStringList{"-nostdin", "-n", "-i", source, target}));
    }

    void updateScriptOutcomes_data()
    {
        QTest::addColumn<QByteArray>("script");
        QTest::addColumn<bool>("executable");
        QTest::addColumn<bool>("updated");
        QTest::newRow("success") << QByteArray("echo fine; exit 0") << true << true;
        QTest::newRow("exit code") << QByteArray("echo broken; exit 2") << true << false;
        QTest::newRow("cannot start") << QByteArray("exit 0") << false << false;
    }
    void updateScriptOutcomes()
    {
        QFETCH(QByteArray, script);
        QFETCH(bool, executable);
        QFETCH(bool, updated);
        useTool("exit 0");
        const QString path = at("update" + Platform::updateScriptSuffix());
        QVERIFY(writeScript(path, script));
        if (!executable)
            QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner));
        Downloader driver;
        QSignalSpy ok(&driver, &Downloader::snifferUpdated);
        QSignalSpy error(&driver, &Downloader::hasError);
        driver.checkUpdates();
        QVERIFY(waitFor(updated ? ok : error));
        QCOMPARE(ok.count(), updated ? 1 : 0);
        QCOMPARE(error.count(), updated ? 0 : 1);
        if (!updated)
            QCOMPARE(errorOf(error), Downloader::UpdateFailed);
    }

    void theUpdateScriptOnAUserInstalledTool_data()
    {
        QTest::addColumn<QByteArray>("fake");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("says");
        QTest::newRow("updated") << QByteArray("case \"$*\" in *-U*) echo Updated; exit 0;; esac; echo 2099.01.01")
                                 << 0 << "now";
        QTest::newRow("update failed") << QByteArray("case \"$*\" in *-U*) echo offline; exit 1;; esac; echo 2023.01.01")
                                       << 1 << "failed";
        QTest::newRow("not installed") << QByteArray() << 1 << "not installed";
    }
    void theUpdateScriptOnAUserInstalledTool()
    {
        QFETCH(QByteArray, fake);
        QFETCH(int, exitCode);
        QFETCH(QString, says);
        QTemporaryDir bin;
        // Only the few programs the script needs, and our stand-in.
        for (const char *tool : {"readlink", "head", "sed", "dpkg"}) {
            const QString real = QStandardPaths::findExecutable(tool);
            if (!real.isEmpty())
                QVERIFY(QFile::link(real, bin.filePath(tool)));
        }
        if (!fake.isEmpty())
            QVERIFY(writeScript(bin.filePath("yt-dlp"), fake));
        QProcess script;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("PATH", bin.path());
        script.setProcessEnvironment(env);
        script.start("/bin/sh", {binFolder() + "/update.sh"});
        QVERIFY(script.waitForFinished(30000));
        const QString output = QString::fromUtf8(script.readAllStandardOutput());
        QCOMPARE(script.exitCode(), exitCode);
        QVERIFY2(output.contains(says), qPrintable(output));
    }
};

QTEST_GUILESS_MAIN(tst_DownloaderFaults)
#include "tst_downloaderfaults.moc"

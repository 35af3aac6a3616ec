// The driver against the real launcher, yt-dlp and ffmpeg, on media served
// from 127.0.0.1.

#include "DriverTestTools.h"
#include "MediaFixture.h"
#include "Platform.h"

#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace DriverTest;

class tst_Downloader : public QObject
{
    Q_OBJECT

private:
    MediaFixture media;
    QTemporaryDir out;

    // A WAV header announcing far more 8 kHz mono samples than will come.
    static QByteArray endlessWavHeader()
    {
        QByteArray h;
        auto u32 = [&h](quint32 v) { for (int i = 0; i < 4; ++i) h.append(char((v >> (8 * i)) & 0xff)); };
        auto u16 = [&h](quint16 v) { h.append(char(v & 0xff)); h.append(char(v >> 8)); };
        h += "RIFF"; u32(0x7fffffff); h += "WAVEfmt ";
        u32(16); u16(1); u16(1); u32(8000); u32(16000); u16(2); u16(16);
        h += "data"; u32(0x7ffffff0);
        return h;
    }

    // Downloads a page address to target with the given code; true on haveFile.
    bool download(Downloader &driver, const QString &path, int code, const QString &target)
    {
        QSignalSpy file(&driver, &Downloader::haveFile);
        QSignalSpy error(&driver, &Downloader::hasError);
        if (!driver.checkURL(QUrl(media.url(path))))
            return false;
        driver.requestFile(code, target);
        while (file.isEmpty() && error.isEmpty()) {
            if (!file.wait(60000))
                break;
        }
        return file.count() == 1 && error.isEmpty();
    }

private slots:
    void initTestCase()
    {
        const QFileInfo tool(binFolder() + "/run");
        QVERIFY2(tool.isFile() && tool.isExecutable(), "VIDARRO_BIN_DIR must name the build's application folder");
        Platform::setApplicationFolder(binFolder());
        QVERIFY2(media.start(), qPrintable(media.errorString()));
        QVERIFY(out.isValid());
    }

    void toolFoundMeansNoError()
    {
        Downloader driver;
        QSignalSpy error(&driver, &Downloader::hasError);
        settle(50);
        QCOMPARE(error.count(), 0);
        QCOMPARE(driver.tool(), QDir::toNativeSeparators(binFolder() + "/run"));
    }

    void titleAndFormatsOfAPageSideBySide()
    {
        Downloader driver;
        QSignalSpy title(&driver, &Downloader::haveTitle);
        QSignalSpy formats(&driver, &Downloader::haveFormats);
        QSignalSpy error(&driver, &Downloader::hasError);
        QVERIFY(driver.checkURL(QUrl(media.url("page.html"))));
        driver.requestTitleAndFormats();
        QVERIFY(waitFor(title));
        QVERIFY(waitFor(formats));
        QCOMPARE(error.count(), 0);
        // The page's own title, cleaned; a page gives no length.
        QCOMPARE(driver.info->title, QString("Fixture Clip Part 2 (1)"));
        QCOMPARE(driver.info->duration, QString("0:00"));
        QVERIFY(driver.info->done.contains(TitleStep));
        QVERIFY(driver.info->done.contains(FormatsStep));
        QCOMPARE(driver.info->formats.size(), 1);
        const FormatInfo only = driver.info->formats.value(0);
        QCOMPARE(only.extension, QString("mp4"));
        QVERIFY(only.best);
        QCOMPARE(only.description, QString("N/A"));
    }

    void sideBySideRunsFetchThePageOnce()
    {
        Downloader driver;
        QSignalSpy title(&driver, &Downloader::haveTitle);
        QSignalSpy formats(&driver, &Downloader::haveFormats);
        QVERIFY(driver.checkURL(QUrl(media.url("sources.html?once=1"))));
        driver.requestTitleAndFormats();
        QVERIFY(waitFor(title));
        QVERIFY(waitFor(formats));
        QCOMPARE(driver.info->title, QString("Two Sources (1)"));
        QCOMPARE(driver.info->formats.size(), 2);
        QCOMPARE(media.requests("GET /sources.html?once=1"), 1);
    }

    void formatsOfAPageWithTwoSources()
    {
        Downloader driver;
        QSignalSpy formats(&driver, &Downloader::haveFormats);
        QVERIFY(driver.checkURL(QUrl(media.url("sources.html"))));
        driver.requestFormats();
        QVERIFY(waitFor(formats));
        QCOMPARE(driver.info->formats.keys(), (QList<int>{0, 1}));
        QCOMPARE(driver.info->formats.value(0).extension, QString("webm"));
        QCOMPARE(driver.info->formats.value(1).extension, QString("mp4"));
        QVERIFY(!driver.info->formats.value(0).best);
        QVERIFY(driver.info->formats.value(1).best);
    }

    void formatsOfADirectMp3()
    {
        Downloader driver;
        QSignalSpy title(&driver, &Downloader::haveTitle);
        QSignalSpy formats(&driver, &Downloader::haveFormats);
        QVERIFY(driver.checkURL(QUrl(media.url("clip.mp3"))));
        driver.requestTitleAndFormats();
        QVERIFY(waitFor(formats));
        QVERIFY(waitFor(title));
        QCOMPARE(driver.info->title, QString("clip"));
        // Audio only: one entry under code 0 with extension mp3.
        QCOMPARE(driver.info->formats.size(), 1);
        QCOMPARE(driver.info->formats.value(0).extension, QString("mp3"));
    }

    void downloadShowsProgressAndLandsWhole()
    {
        Downloader driver;
        QSignalSpy progress(&driver, &Downloader::percent);
        const QString target = out.filePath("whole.flv");
        QVERIFY(download(driver, "throttle/400000/clip.flv", 0, target));
        QCOMPARE(readFile(target), media.bytes("clip.flv"));
        QVERIFY(!QFile::exists(target + ".part"));
        QVERIFY(progress.count() >= 2);
        for (const QList<QVariant> &value : std::as_const(progress)) {
            QVERIFY(value.at(0).toFloat() >= 0.0f);
            QVERIFY(value.at(0).toFloat() <= 100.0f);
        }
        QCOMPARE(progress.last().at(0).toFloat(), 100.0f);
        QCOMPARE(driver.job(), 0);
        QCOMPARE(driver.info->done.last(), FileStep);
    }

    void downloadOfAChosenFormat()
    {
        Downloader driver;
        const QString target = out.filePath("chosen.mp4");
        QVERIFY(download(driver, "sources.html", 1, target));
        QCOMPARE(readFile(target), media.bytes("clip.mp4"));
    }

    void targetNamesAreTakenLiterally_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("template signs") << "~ 50% %(title)s %% $HOME ${PATH} $NO_SUCH  b.mp4";
        QTest::newRow("dash") << "-";
        QTest::newRow("unicode") << QString::fromUtf8("Café \u00e9t\u00e9.mp4");
    }
    void targetNamesAreTakenLiterally()
    {
        QFETCH(QString, name);
        Downloader driver;
        const QString target = out.filePath(name);
        QVERIFY(download(driver, "clip.mp4", 0, target));
        QCOMPARE(readFile(target), media.bytes("clip.mp4"));
        QCOMPARE(QDir(out.path()).entryList(QDir::Files).filter(".part").size(), 0);
        QFile::remove(target);
    }

    void stopDuringDownloadLeavesNothing()
    {
        Downloader driver;
        QSignalSpy progress(&driver, &Downloader::percent);
        QSignalSpy file(&driver, &Downloader::haveFile);
        QSignalSpy error(&driver, &Downloader::hasError);
        const QString target = out.filePath("stopped.flv");
        QVERIFY(driver.checkURL(QUrl(media.url("throttle/15000/clip.flv"))));
        driver.requestFile(0, target);
        QCOMPARE(driver.job(), int(FileStep));
        // Wait until data is flowing into the partial file.
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(target + ".part").size() > 0, 30000);
        driver.stop();
        QCOMPARE(driver.job(), 0);
        driver.stop();
        settle(1500);
        QVERIFY(!QFile::exists(target));
        QVERIFY(!QFile::exists(target + ".part"));
        QCOMPARE(file.count(), 0);
        QCOMPARE(error.count(), 0);
    }

    void failuresOfTheRealToolRaiseTheirCodes()
    {
        Downloader driver;
        QSignalSpy title(&driver, &Downloader::haveTitle);
        QSignalSpy error(&driver, &Downloader::hasError);
        QVERIFY(driver.checkURL(QUrl(media.url("clip.mp4"))));
        driver.requestTitle();
        QVERIFY(waitFor(title));
        QVERIFY(driver.checkURL(QUrl(media.url("status/404/clip.mp4"))));
        driver.requestTitleAndFormats();
        QVERIFY(waitFor(error, 2, 60000));
        QList<Downloader::errors> codes{errorOf(error, 0), errorOf(error, 1)};
        std::sort(codes.begin(), codes.end());
        QCOMPARE(codes, (QList<Downloader::errors>{Downloader::FormatsFailed, Downloader::TitleFailed}));
        // The earlier answer stays.
        QCOMPARE(driver.info->title, QString("clip"));

        const QString target = out.filePath("missing.mp4");
        driver.requestFile(0, target);
        QVERIFY(waitFor(error, 3, 60000));
        QCOMPARE(errorOf(error, 2), Downloader::DownloadFailed);
        QCOMPARE(driver.job(), 0);
        QVERIFY(!QFile::exists(target));
        QVERIFY(!QFile::exists(target + ".part"));
    }

    void aNewerTitleRunIsNotDisturbedByTheOlder()
    {
        Downloader driver;
        QSignalSpy title(&driver, &Downloader::haveTitle);
        QSignalSpy error(&driver, &Downloader::hasError);
        // The slow page takes seconds to arrive; the user moves on meanwhile.
        QVERIFY(driver.checkURL(QUrl(media.url("throttle/100/page.html"))));
        driver.requestTitle();
        QVERIFY(driver.checkURL(QUrl(media.url("clip.webm"))));
        driver.requestTitle();
        QVERIFY(waitFor(title));
        QCOMPARE(driver.info->title, QString("clip"));
        settle(3500);
        QCOMPARE(title.count(), 1);
        QCOMPARE(error.count(), 0);
        QCOMPARE(driver.info->title, QString("clip"));
    }

    void extractionMakesAnMp3AndRemovesTheSource()
    {
        Downloader driver;
        const QString video = out.filePath("song.mp4");
        const QString audio = out.filePath("song.mp3");
        QVERIFY(download(driver, "clip.mp4", 0, video));
        QSignalSpy done(&driver, &Downloader::doneExtractAudio);
        QSignalSpy error(&driver, &Downloader::hasError);
        driver.extractAudio(video, audio);
        QCOMPARE(driver.job(), int(AudioStep));
        QVERIFY(waitFor(done));
        QCOMPARE(error.count(), 0);
        QCOMPARE(MediaFixture::streamCodecs(audio), QStringList{"mp3"});
        QVERIFY(!QFile::exists(video));
        QCOMPARE(driver.info->done.last(), AudioStep);
        QCOMPARE(driver.job(), 0);
    }

    void extractionOfSomethingThatIsNoMediaFails()
    {
        Downloader driver;
        const QString source = out.filePath("page.mp4");
        const QString target = out.filePath("page.mp3");
        QVERIFY(writeFile(source, media.bytes("page.html")));
        QSignalSpy error(&driver, &Downloader::hasError);
        driver.extractAudio(source, target);
        QVERIFY(waitFor(error));
        QCOMPARE(errorOf(error), Downloader::ExtractFailed);
        QVERIFY(QFile::exists(source));
        QVERIFY(!QFile::exists(target));
        QCOMPARE(driver.job(), 0);
    }

    void extractionNeverOverwrites()
    {
        Downloader driver;
        const QString source = out.filePath("keep.flv");
        const QString target = out.filePath("keep.mp3");
        QVERIFY(writeFile(source, media.bytes("clip.flv")));
        QVERIFY(writeFile(target, "the user's own file"));
        QSignalSpy error(&driver, &Downloader::hasError);
        driver.extractAudio(source, target);
        QVERIFY(waitFor(error));
        QCOMPARE(errorOf(error), Downloader::ExtractFailed);
        QCOMPARE(readFile(target), QByteArray("the user's own file"));
        QVERIFY(QFile::exists(source));
    }

    void extractionOfAnMp3IntoItselfKeepsIt()
    {
        Downloader driver;
        const QString file = out.filePath("already.mp3");
        QVERIFY(writeFile(file, media.bytes("clip.mp3")));
        QSignalSpy done(&driver, &Downloader::doneExtractAudio);
        QSignalSpy error(&driver, &Downloader::hasError);
        driver.extractAudio(file, file);
        QVERIFY(waitFor(done));
        QCOMPARE(error.count(), 0);
        QCOMPARE(readFile(file), media.bytes("clip.mp3"));
    }

    void stopDuringExtractionRemovesBothFiles()
    {
        Downloader driver;
        // ffmpeg reads an endless sound from a pipe, so it is still busy
        // when the user cancels.
        const QString source = out.filePath("feed.wav");
        const QString target = out.filePath("feed.mp3");
        QCOMPARE(::mkfifo(QFile::encodeName(source).constData(), 0600), 0);
        const int feed = ::open(QFile::encodeName(source).constData(), O_RDWR | O_NONBLOCK);
        QVERIFY(feed >= 0);
        const QByteArray header = endlessWavHeader();
        QCOMPARE(::write(feed, header.constData(), size_t(header.size())), ssize_t(header.size()));
        QTimer feeder;
        const QByteArray silence(16000, '\0');
        connect(&feeder, &QTimer::timeout, this, [&] {
            if (::write(feed, silence.constData(), size_t(silence.size())) < 0) {
                // A full pipe just waits for ffmpeg to read.
            }
        });
        feeder.start(20);
        QSignalSpy done(&driver, &Downloader::doneExtractAudio);
        QSignalSpy error(&driver, &Downloader::hasError);
        driver.extractAudio(source, target);
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(target), 30000);
        driver.stop();
        feeder.stop();
        ::close(feed);
        QCOMPARE(driver.job(), 0);
        driver.stop();
        settle(500);
        QVERIFY(!QFile::exists(source));
        QVERIFY(!QFile::exists(target));
        QCOMPARE(done.count(), 0);
        QCOMPARE(error.count(), 0);
    }

    void theUpdateScriptReportsTheSystemPackage()
    {
        Downloader driver;
        QSignalSpy updated(&driver, &Downloader::snifferUpdated);
        QSignalSpy error(&driver, &Downloader::hasError);
        driver.checkUpdates();
        QVERIFY(waitFor(updated));
        QCOMPARE(error.count(), 0);
    }
};

QTEST_GUILESS_MAIN(tst_Downloader)
#include "tst_downloader.moc"

#include "TestFiles.h"
#include "CYouTubeDownloadDlg.h"
#include "CYouTubeDownloader.h"
#include "MediaFixture.h"
#include "ProgressMeter.h"
#include "TransferTexts.h"

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>

#include <climits>

using namespace TransferTexts;

namespace {

template<typename T>
QString text(const std::optional<T> &value)
{
    return value ? QString::number(*value) : QStringLiteral("-");
}

} // namespace

class TestTransferDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(m_media.start({.media = false}), qPrintable(m_media.errorString()));
        QVERIFY(m_media.addFile("clip.flv", MediaFixture::pattern(250000)));
        QVERIFY(m_media.route("/slow/clip.flv", {.file = "clip.flv", .rate = 100000})); // about 2.5 s
        QVERIFY(m_media.route("/folder/", {.file = "clip.flv"}));
    }
    void init() { QFile::remove(target()); }

    void download_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("file");  // "" the usual target
        QTest::addColumn<QString>("shown"); // the title at the end, or how the error text begins
        QTest::addColumn<QString>("detail");
        QTest::newRow("slow") << "slow/clip.flv" << "" << "100% of clip.flv Completed" << "";
        QTest::newRow("address ending in a slash") << "folder/" << "" << "100% of  Completed" << "";
        QTest::newRow("server error") << "status/404/clip.flv" << "" << "Server Error" << "HTTP 404 Not Found";
        QTest::newRow("file not writable") << "clip.flv" << "missing/w.flv" << "Could not create " << "";
    }

    void download()
    {
        QFETCH(QString, path);
        QFETCH(QString, file);
        QFETCH(QString, shown);
        QFETCH(QString, detail);
        CYouTubeDownloadDlg dialog;
        QCOMPARE(dialog.windowTitle(), QString("Starting download..."));
        fill(dialog, path, file.isEmpty() ? target() : m_dir.filePath(file));
        QStringList titles;
        QTimer watch;
        connect(&watch, &QTimer::timeout, &dialog, [&] { titles << dialog.windowTitle(); });
        watch.start(100);
        dialog.startDownload();
        QCOMPARE(dialog.fileStatusLabel()->text(), path.section('/', -1) + " from 127.0.0.1");
        if (!shown.endsWith("Completed")) {
            QCOMPARE(dialog.exec(), int(QDialog::Rejected));
            QVERIFY(dialog.failure());
            QCOMPARE(dialog.failure()->title, QString("Error"));
            QVERIFY2(dialog.failure()->text.startsWith(shown), qPrintable(dialog.failure()->text));
            QCOMPARE(dialog.failure()->detail, detail);
            QVERIFY(!QFileInfo::exists(target()));
            return;
        }
        QCOMPARE(dialog.exec(), int(QDialog::Accepted));
        QCOMPARE(dialog.windowTitle(), shown);
        QCOMPARE(dialog.progressBar()->value(), 100);
        QCOMPARE(readFile(target()), m_media.bytes("clip.flv"));
        QVERIFY(!dialog.failure());
        QCOMPARE(MediaFixture::headerValues(m_media.requestHeads().last(), "User-Agent"), QByteArrayList{"Browser"});
        if (!path.startsWith("slow"))
            return;
        // Long enough for the running percentage, the time left and the rate.
        QVERIFY2(titles.indexOf(QRegularExpression("^\\d\\d?% of clip\\.flv Completed$")) >= 0,
                 qPrintable(titles.join(" | ")));
        const QString labels = dialog.timeLeftLabel()->text() + " | " + dialog.transferRateLabel()->text();
        const QRegularExpression shape("^\\d+ (sec|min|min \\d+ sec) \\(\\d+\\.\\d KB of 244\\.1 KB copied\\) \\| "
                                       "\\d+(\\.\\d\\d)? (KB|Bytes)/Sec$");
        QVERIFY2(shape.match(labels).hasMatch(), qPrintable(labels));
    }

    void texts_data()
    {
        QTest::addColumn<QString>("actual");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char *name, const QString &actual, const char *expected) {
            QTest::newRow(name) << actual << QString(expected);
        };
        row("1023 bytes", sizeText(1023), "1023 Bytes");
        row("1024 bytes", sizeText(1024), "1.0 KB");
        row("1048575 bytes", sizeText(1048575), "1024.0 KB");
        row("1048576 bytes", sizeText(1048576), "1.00 MB");
        row("largest size", sizeText(~0ull), "17592186044416.00 MB");
        row("60 s", durationText(60), "1 min");
        row("90 s", durationText(90), "1 min 30 sec");
        row("3601 s", durationText(3601), "60 min 1 sec");
        row("negative s", durationText(-5), "0 sec");
        row("largest s", durationText(INT_MAX), "35791394 min 7 sec");
        row("time left", timeLeftText(90, 1024, 1048576), "1 min 30 sec (1.0 KB of 1.00 MB copied)");
        row("0.5 B/ms", rateText(0.5), "512 Bytes/Sec");
        row("1 B/ms", rateText(1.0), "1.00 KB/Sec");
        row("12.4 B/ms", rateText(12.4), "12 KB/Sec");
        row("negative rate", rateText(-3.0), "0 Bytes/Sec");
        row("rate not a number", rateText(std::nan("")), "0 Bytes/Sec");
        row("title with markers", percentTitle(1, "%2 odd %1"), "1% of %2 odd %1 Completed");
        const auto name = [](const char *url) { return fileNameOfUrl(QUrl::fromEncoded(url)); };
        row("name without query", name("http://h/v/get.flv?id=3&x=/y"), "get.flv");
        row("name of folder", name("http://h/videos/"), "");
        row("name of root", name("http://h/"), "/");
        row("name and fragment", name("http://h/a/b.flv#frag"), "b.flvfrag");
        row("percent past total", text(percentDone(5000, 1000)), "100");
        row("percent of huge", text(percentDone(~0ull - 1, ~0ull)), "99");
        row("left half way", text(secondsLeft(10000, 500, 1000)), "10");
        row("left past total", text(secondsLeft(10000, 2000, 1000)), "0");
        row("left of huge", text(secondsLeft(100000, 1, ~0ull)), "2147483647");
        row("left nothing read", text(secondsLeft(100, 0, 1000)), "-");
    }

    void texts()
    {
        QFETCH(QString, actual);
        QFETCH(QString, expected);
        QCOMPARE(actual, expected);
    }

    // Notifications "bytes/total@ms" (total "?" when unknown) and what the
    // display shows after each: "percent rate secondsLeft", "-" for nothing new.
    void meter_data()
    {
        QTest::addColumn<QStringList>("updates");
        QTest::addColumn<QStringList>("shown");
        QTest::newRow("percent at once, once") << QStringList{"100/1000@5000", "105/1000@5001", "200/1000@5002",
                                                              "200/?@5003"}
                                               << QStringList{"10 - -", "- - -", "20 - -", "- - -"};
        QTest::newRow("rate at most once a second")
            << QStringList{"1000/100000@0", "2000/100000@1000", "3001/100000@1001", "4000/100000@1500",
                           "6004/100000@2002"}
            << QStringList{"1 - -", "2 - -", "3 2.998 32", "4 - -", "6 3 31"};
        QTest::newRow("time left from the start") << QStringList{"0/1000@10000", "250/1000@12000"}
                                                  << QStringList{"0 - -", "25 0.125 6"};
        QTest::newRow("odd counts") << QStringList{"5000/10000@0", "9000/10000@2000", "100/10000@4000",
                                                   "20000/10000@6000", "10/0@8000"}
                                    << QStringList{"50 - -", "90 4.5 0", "1 0 396", "100 9.95 0", "- 0 -"};
    }

    void meter()
    {
        QFETCH(QStringList, updates);
        QFETCH(QStringList, shown);
        ProgressMeter meter;
        meter.reset();
        for (qsizetype i = 0; i < updates.size(); ++i) {
            const QStringList f = updates[i].split(QRegularExpression("[/@]"));
            const ProgressStep step = meter.update(f[0].toULongLong(), f[1] != "?", f[1].toULongLong(),
                                                   f[2].toLongLong());
            const QString rate = step.rate ? QString::number(*step.rate, 'g', 4) : QStringLiteral("-");
            QCOMPARE(QStringList({text(step.percent), rate, text(step.secondsLeft)}).join(' '), shown[i]);
        }
    }
private:
    void fill(CYouTubeDownloadDlg &dialog, const QString &path, const QString &file = {})
    {
        dialog.transfer()->url = m_media.url(path);
        dialog.transfer()->requestHeader = "GET /" + path.toLatin1() + " HTTP/1.1\r\nUser-Agent: Browser\r\n\r\n";
        dialog.transfer()->filePath = file.isEmpty() ? target() : file;
    }
    QString target() const { return m_dir.filePath("saved.flv"); }

    MediaFixture m_media;
    QTemporaryDir m_dir;
};

QTEST_MAIN(TestTransferDialog)
#include "tst_transferdialog.moc"

#include "TestFiles.h"
#include "CYouTubeDownloadDlg.h"
#include "CYouTubeDownloader.h"
#include "LocalHttpServer.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using Route = LocalHttpServer::Route;
using Mode = LocalHttpServer::Mode;


class TestTransferDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void freshDialog();
    void successfulDownload();
    void slowDownloadShowsRateAndTimeLeft();
    void cancelDuringTransfer();
    void cancelBeforeAnyData();
    void serverErrorShowsTheBox_data();
    void serverErrorShowsTheBox();
    void writeFailureNamesTheFile();
    void addressEndingInSlash();
    void displayTexts();
    void oddProgressCounts();

private:
    void fill(CYouTubeDownloadDlg &dialog, const QByteArray &path, const QString &file = {});
    QString target() const { return m_dir.path() + "/saved.flv"; }

    LocalHttpServer m_server;
    QTemporaryDir m_dir;
};

void TestTransferDialog::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY(m_server.listen());
}

void TestTransferDialog::init()
{
    QFile::remove(target());
}

void TestTransferDialog::fill(CYouTubeDownloadDlg &dialog, const QByteArray &path, const QString &file)
{
    dialog.transfer()->url = QString::fromLatin1(m_server.url(path));
    dialog.transfer()->requestHeader = "GET " + path + " HTTP/1.1\r\nUser-Agent: Browser\r\n\r\n";
    dialog.transfer()->filePath = file.isEmpty() ? target() : file;
}

void TestTransferDialog::freshDialog()
{
    CYouTubeDownloadDlg dialog;
    QCOMPARE(dialog.objectName(), QString("CHttpDownloadDlg"));
    QCOMPARE(dialog.windowTitle(), QString("Starting download..."));
    QCOMPARE(dialog.minimumSize(), QSize(600, 180));
    QCOMPARE(dialog.maximumSize(), QSize(600, 180));
    QVERIFY(!(dialog.windowFlags() & Qt::WindowContextHelpButtonHint));
    QCOMPARE(dialog.fileStatusLabel()->text(), QString("-"));
    QCOMPARE(dialog.timeLeftLabel()->text(), QString("---"));
    QCOMPARE(dialog.transferRateLabel()->text(), QString("---"));
    QCOMPARE(dialog.statusLabel()->text(), QString("-"));
    QCOMPARE(dialog.cancelButton()->text(), QString("Cancel"));
    QVERIFY(dialog.cancelButton()->isEnabled());
    QCOMPARE(dialog.progressBar()->minimum(), 0);
    QCOMPARE(dialog.progressBar()->maximum(), 100);
    QCOMPARE(dialog.findChild<QLabel *>("label_3")->text(), QString("Estimated time left:"));
    QCOMPARE(dialog.findChild<QLabel *>("label_4")->text(), QString("Transfer rate:"));
    QVERIFY(!dialog.transfer()->abortRequested);
}

void TestTransferDialog::successfulDownload()
{
    Route route;
    route.body = LocalHttpServer::pattern(300000);
    m_server.route("/media/clip.flv", route);
    CYouTubeDownloadDlg dialog;
    fill(dialog, "/media/clip.flv");
    dialog.startDownload();
    QCOMPARE(dialog.fileStatusLabel()->text(), QString("clip.flv from 127.0.0.1"));
    QCOMPARE(dialog.exec(), int(QDialog::Accepted));
    QCOMPARE(dialog.windowTitle(), QString("100% of clip.flv Completed"));
    QCOMPARE(dialog.progressBar()->value(), 100);
    QCOMPARE(readFile(target()), route.body);
    QVERIFY(!dialog.failure());
    QCOMPARE(m_server.lastHeader("User-Agent"), QByteArray("Browser"));
}

void TestTransferDialog::slowDownloadShowsRateAndTimeLeft()
{
    Route route;
    route.mode = Mode::Slow;
    route.body = LocalHttpServer::pattern(250000);
    route.pieceBytes = 5000;
    route.pieceIntervalMs = 50; // about 2.5 s in all
    m_server.route("/slow/clip.flv", route);
    CYouTubeDownloadDlg dialog;
    fill(dialog, "/slow/clip.flv");
    QStringList titles;
    QStringList timeTexts;
    QTimer watch;
    connect(&watch, &QTimer::timeout, &dialog, [&] {
        titles << dialog.windowTitle();
        timeTexts << dialog.timeLeftLabel()->text();
    });
    watch.start(100);
    dialog.startDownload();
    QCOMPARE(dialog.exec(), int(QDialog::Accepted));
    watch.stop();

    const QRegularExpression title("^\\d{1,3}% of clip\\.flv Completed$");
    bool sawRunningPercent = false;
    for (const QString &text : titles)
        if (title.match(text).hasMatch() && text != "100% of clip.flv Completed")
            sawRunningPercent = true;
    QVERIFY2(sawRunningPercent, qPrintable(titles.join(" | ")));
    const QRegularExpression timeLeft(
        "^\\d+ (sec|min|min \\d+ sec) \\(\\d+\\.\\d KB of 244\\.1 KB copied\\)$");
    QVERIFY2(timeLeft.match(dialog.timeLeftLabel()->text()).hasMatch(),
             qPrintable(dialog.timeLeftLabel()->text()));
    QVERIFY(!timeTexts.contains(QString()));
    const QRegularExpression rate("^\\d+(\\.\\d\\d)? (KB|Bytes)/Sec$");
    QVERIFY2(rate.match(dialog.transferRateLabel()->text()).hasMatch(),
             qPrintable(dialog.transferRateLabel()->text()));
    QCOMPARE(readFile(target()), route.body);
}

void TestTransferDialog::cancelDuringTransfer()
{
    Route route;
    route.mode = Mode::Slow;
    route.body = LocalHttpServer::pattern(400000);
    route.pieceBytes = 2000;
    route.pieceIntervalMs = 20;
    m_server.route("/slow/long.flv", route);
    CYouTubeDownloadDlg dialog;
    fill(dialog, "/slow/long.flv");
    bool clicked = false;
    connect(dialog.transfer(), &CYouTubeDownloader::OnProgress, &dialog, [&] {
        if (!clicked) {
            clicked = true;
            QTest::mouseClick(dialog.cancelButton(), Qt::LeftButton);
        }
    });
    dialog.startDownload();
    QCOMPARE(dialog.exec(), int(QDialog::Rejected));
    QVERIFY(clicked);
    QVERIFY(!dialog.cancelButton()->isEnabled());
    QCOMPARE(dialog.statusLabel()->text(), QString("Aborting transfer"));
    QVERIFY(dialog.transfer()->wasCanceled());
    QCOMPARE(dialog.transfer()->errorString(), QString("Download canceled."));
    QVERIFY(!dialog.failure());
    QVERIFY(!QFileInfo::exists(target()));
    QVERIFY(!QFileInfo::exists(target() + ".part"));
}

void TestTransferDialog::cancelBeforeAnyData()
{
    Route route;
    route.mode = Mode::Stall;
    route.body = LocalHttpServer::pattern(100000);
    route.pieceBytes = 0; // the head, then silence
    m_server.route("/stall/none.flv", route);
    CYouTubeDownloadDlg dialog;
    fill(dialog, "/stall/none.flv");
    connect(&m_server, &LocalHttpServer::requestArrived, &dialog, [&dialog] {
        QTimer::singleShot(100, &dialog, [&dialog] { dialog.cancelButton()->click(); });
    });
    dialog.startDownload();
    QCOMPARE(dialog.exec(), int(QDialog::Rejected));
    disconnect(&m_server, &LocalHttpServer::requestArrived, &dialog, nullptr);
    QCOMPARE(dialog.windowTitle(), QString("Starting download..."));
    QCOMPARE(dialog.statusLabel()->text(), QString("Aborting transfer"));
    QVERIFY(!dialog.failure());
    QVERIFY(!QFileInfo::exists(target() + ".part"));
}

void TestTransferDialog::serverErrorShowsTheBox_data()
{
    QTest::addColumn<QByteArray>("status");
    QTest::addColumn<QString>("detail");
    QTest::newRow("403") << QByteArray("403 Forbidden") << "HTTP 403 Forbidden";
    QTest::newRow("404") << QByteArray("404 Not Found") << "HTTP 404 Not Found";
    QTest::newRow("500") << QByteArray("500 Internal Server Error") << "HTTP 500 Internal Server Error";
}

void TestTransferDialog::serverErrorShowsTheBox()
{
    QFETCH(QByteArray, status);
    QFETCH(QString, detail);
    Route route;
    route.status = status;
    route.body = "<html>no</html>";
    m_server.route("/gone.flv", route);
    CYouTubeDownloadDlg dialog;
    fill(dialog, "/gone.flv");
    dialog.startDownload();
    QCOMPARE(dialog.exec(), int(QDialog::Rejected));
    QVERIFY(dialog.failure());
    QCOMPARE(dialog.failure()->title, QString("Error"));
    QCOMPARE(dialog.failure()->text, QString("Server Error"));
    QCOMPARE(dialog.failure()->detail, detail);
    QVERIFY(!dialog.transfer()->wasCanceled());
    QVERIFY(!QFileInfo::exists(target()));
}

void TestTransferDialog::writeFailureNamesTheFile()
{
    Route route;
    route.body = LocalHttpServer::pattern(100000);
    m_server.route("/w.flv", route);
    const QString file = m_dir.path() + "/missing/folder/w.flv";
    CYouTubeDownloadDlg dialog;
    fill(dialog, "/w.flv", file);
    dialog.startDownload();
    QCOMPARE(dialog.exec(), int(QDialog::Rejected));
    QVERIFY(dialog.failure());
    QCOMPARE(dialog.failure()->title, QString("Error"));
    QVERIFY2(dialog.failure()->text.startsWith("Could not create " + file + ".part"),
             qPrintable(dialog.failure()->text));
    QVERIFY(dialog.failure()->detail.isEmpty());
}

void TestTransferDialog::addressEndingInSlash()
{
    Route route;
    route.body = LocalHttpServer::pattern(120000);
    m_server.route("/folder/", route);
    CYouTubeDownloadDlg dialog;
    fill(dialog, "/folder/");
    dialog.startDownload();
    QCOMPARE(dialog.fileStatusLabel()->text(), QString(" from 127.0.0.1"));
    QCOMPARE(dialog.exec(), int(QDialog::Accepted));
    QCOMPARE(dialog.windowTitle(), QString("100% of  Completed"));
    QVERIFY(dialog.fileName().isEmpty());
}

void TestTransferDialog::displayTexts()
{
    CYouTubeDownloadDlg dialog;
    dialog.showTimeLeft(90, 1023, 1048576);
    QCOMPARE(dialog.timeLeftLabel()->text(), QString("1 min 30 sec (1023 Bytes of 1.00 MB copied)"));
    dialog.showTimeLeft(120, 1024, 2048);
    QCOMPARE(dialog.timeLeftLabel()->text(), QString("2 min (1.0 KB of 2.0 KB copied)"));
    dialog.showTransferRate(0.5);
    QCOMPARE(dialog.transferRateLabel()->text(), QString("512 Bytes/Sec"));
    dialog.showTransferRate(2.5);
    QCOMPARE(dialog.transferRateLabel()->text(), QString("2.50 KB/Sec"));
    dialog.showTransferRate(12.4);
    QCOMPARE(dialog.transferRateLabel()->text(), QString("12 KB/Sec"));
    dialog.showPercent(42);
    QCOMPARE(dialog.progressBar()->value(), 42);
    QCOMPARE(dialog.windowTitle(), QString("42% of  Completed"));
    dialog.showStatus("Working");
    QCOMPARE(dialog.statusLabel()->text(), QString("Working"));
}

void TestTransferDialog::oddProgressCounts()
{
    CYouTubeDownloadDlg dialog;
    dialog.OnProgress(5000, true, 1000); // more than announced
    QCOMPARE(dialog.progressBar()->value(), 100);
    dialog.OnProgress(10, true, 0); // no total
    QCOMPARE(dialog.progressBar()->value(), 100);
    dialog.OnProgress(~0ull - 1, true, ~0ull);
    QCOMPARE(dialog.progressBar()->value(), 99);
}

QTEST_MAIN(TestTransferDialog)
#include "tst_transferdialog.moc"

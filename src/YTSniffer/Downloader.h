#pragma once

#include "ToolOutput.h"

#include <QList>
#include <QMap>
#include <QObject>
#include <QPointer>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QUrl>

// Steps of an address download; also the running long job and the window's
// download kinds (3 video, 4 audio).
enum DownloadStep : int {
    TitleStep = 1,
    FormatsStep = 2,
    FileStep = 3,
    AudioStep = 4,
};

// Results for the current address, read directly by the window.
struct MediaInfo
{
    QString title;                  // cleaned, at most 30 characters
    QString duration;               // as the tool printed it, "0:00" when none
    QList<DownloadStep> done;       // one entry per step that succeeded; only grows
    QMap<int, FormatInfo> formats;  // keyed by format code
};

// Runs the downloader tool, ffmpeg and the update script as child processes
// and turns their output and exit codes into results and signals. One
// process per request kind; a newer request of a kind retires the older run.
class Downloader : public QObject
{
    Q_OBJECT

public:
    enum errors {
        ToolMissing = 0,
        FormatsFailed = 1,
        DownloadFailed = 2,
        TitleFailed = 3,
        UpdateFailed = 4,
        ExtractFailed = 5,
        NoAudioFile = 6,
        SourceNotRemoved = 7,
    };
    Q_ENUM(errors)

    explicit Downloader(QObject *parent = nullptr);
    ~Downloader() override;

    bool checkURL(const QUrl &url);
    void requestTitle();
    void requestFormats();
    // Title and format runs side by side.
    void requestTitleAndFormats();
    void requestFile(int formatCode, const QString &targetFile);
    void extractAudio(const QString &source, const QString &target);
    void checkUpdates();
    void stop();

    // The long job now running: 0 none, 3 file download, 4 audio extraction.
    int job() const { return activeJob; }
    QString tool() const { return toolPath; }
    QString url() const { return pageUrl; }

    MediaInfo *const info;

signals:
    void hasError(Downloader::errors error);
    void haveTitle();
    void haveFormats();
    void haveFile();
    void doneExtractAudio();
    void percent(float value);
    void snifferUpdated();

private slots:
    void readTitle();
    void gotTitle(int exitCode, QProcess::ExitStatus status);
    void readFormats();
    void gotFormats(int exitCode, QProcess::ExitStatus status);
    void readFile();
    void gotFile(int exitCode, QProcess::ExitStatus status);
    void readUpdate();
    void gotUpdate(int exitCode, QProcess::ExitStatus status);
    void readAudioExtracting();
    void doneAudioExtracting(int exitCode, QProcess::ExitStatus status);

private:
    friend class tst_DownloaderFaults;

    using ReadSlot = void (Downloader::*)();
    using EndSlot = void (Downloader::*)(int, QProcess::ExitStatus);

    // A fresh process for one request, replacing (and ending) the older run
    // of the same kind. A program that cannot start reports startError.
    QProcess *newProcess(QPointer<QProcess> &member, ReadSlot onRead, EndSlot onEnd,
                         errors startError);
    void startProcess(QProcess *process, const QString &program, const QStringList &arguments);
    // Cuts the process off from this driver and kills it with its children.
    static void retire(QPointer<QProcess> &member);
    void startFailed(errors error);
    void logToolComplaint(QProcess *process, const char *operation);
    void removeDownloadLeftovers();
    void emitLater(errors error);

    int activeJob = 0;
    QMap<int, QString> audioQualities;
    QPointer<QProcess> updateProcess;
    QPointer<QProcess> titleProcess;
    QPointer<QProcess> formatProcess;
    QPointer<QProcess> fileProcess;
    QPointer<QProcess> extractProcess;
    QString scriptSuffix;
    QString toolPath;
    QString pageUrl;
    QString partFile;
    QStringList updateOutput;
    QStringList titleOutput;
    QStringList formatOutput;
    QStringList extractArgs;
    QString fileTarget;
};

#pragma once

#include "FinishChoices.h"
#include "PartsProgress.h"
#include "ToolErrors.h"
#include "ToolOutput.h"
#include "ToolRun.h"

#include <QList>
#include <QMap>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <optional>

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
    QList<FormatInfo> formats;      // in listing order, one per code
    QString savedFile;              // the file the last download wrote
    QList<SubtitleInfo> subtitles;  // the page's own languages, then automatic captions
};

// What ffprobe says of a file to be saved as audio.
struct AudioProbe
{
    bool readable = false;  // ffprobe read it as media
    bool hasAudio = false;
    bool mp3 = false;       // an MP3 file: kept as it came
    int kbps = 0;           // the sound's bit rate, 0 when not told

    static AudioProbe read(const ToolResult &result);
    // ffmpeg's quality for the MP3 made of it: no lower than the source's.
    QStringList qualityArguments() const;
};

// Runs the downloader tool, ffmpeg and the update script as child processes
// and turns their output and exit codes into results and signals. One run
// per request kind; a newer request of a kind ends the older run. Nothing
// here waits for a process: ending one (replacement, stop(), destruction)
// hands its process group to the ProcessReaper.
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
        ToolStalled = 8,   // a download or extraction showed no sign of life for too long
        DiskFull = 10,     // a download or extraction found its disk full
        NotAudio = 11,     // what was to be saved as audio holds no sound
        ProxyFailed = 12,  // the network failed while a proxy was set: it refused or never answered
        // What the tool's own error line says (ToolFailure).
        Forbidden = 20,
        NotFound = 21,
        TooManyRequests = 22,
        Unsupported = 23,
        Unavailable = 24,
        SignIn = 25,
        FormatMissing = 26,
        NoJsRuntime = 27,
        ToolTooOld = 28,
        NetworkDown = 29,
        FfmpegMissing = 30,
        NoCookies = 31,    // the browser chosen under "Cookies from" has no cookie store here
        BadLanguage = 40,  // a subtitle language code that is no code (a slash, "..")
    };
    Q_ENUM(errors)

    explicit Downloader(QObject *parent = nullptr);
    // Ends every run; a download or extraction under way leaves no file.
    ~Downloader() override;

    // A user name and password in the address are kept apart: never logged,
    // never on a command line, handed to the tool in a file only this user
    // can read.
    bool checkURL(const QUrl &url);
    void requestTitle();
    void requestFormats();
    // The format code goes to the tool as it stands; none: the tool picks.
    // The target's extension is a proposal: the tool names the file after
    // the container it writes, and info->savedFile says which it was. No
    // file in the target's folder may begin with its base name and a ".":
    // all such files are taken for this download's own leftovers.
    // goOn: from the parts a suspended download of the same target left.
    void requestFile(const QString &formatCode, const QString &targetFile, bool goOn = false);
    // Source as an MP3 under target: an MP3 file is renamed as it is,
    // other sound converted; no sound fails with NotAudio and the source
    // goes. The target may be the source itself. With a cover (a picture
    // file), a converted MP3 carries it; the picture goes either way.
    void extractAudio(const QString &source, const QString &target, const QString &cover = {});
    void checkUpdates();
    void stop();
    // The same; `afterwards` runs once the run is gone and its files with it.
    void stop(std::function<void()> afterwards);
    // Ends a download under way and keeps its parts, for requestFile(..., true).
    void suspend();
    // Where the update fetches the tool's releases; empty: the script's own default.
    void setReleaseUrl(const QString &address) { releaseUrl = address; }
    // Where it fetches deno, when the tool needs it; empty: the script's own default.
    void setRuntimeReleaseUrl(const QString &address) { runtimeReleaseUrl = address; }
    // "--cookies-from-browser" for every run of the tool: "BROWSER[:PROFILE]",
    // empty for none. Handed over in the tool's option file, like credentials.
    void setCookieSource(const QString &source) { cookieSource = source; }
    // The error a cause of the tool's error line stands for; `otherwise`
    // for an unknown one. A network failure through a proxy is the proxy's.
    static errors errorFor(ToolFailure cause, errors otherwise);
    // Item N of the page checked (a video of it without an address of its own); 0: its first.
    void setItem(int number) { item = number; }
    QString cookies() const { return cookieSource; }
    // Subtitles, tags, chapters, cover and part of the next downloads.
    void setFinish(const FinishChoices &choices) { finish = choices; }

    // The long job now running: 0 none, 3 file download, 4 audio extraction.
    int job() const { return activeJob; }
    QString tool() const { return toolPath; }
    // The address without its user name and password.
    QString url() const { return pageUrl; }
    // The tool's error line behind the last error (for a failed update the
    // script's last line), addresses masked; empty when it printed none.
    QString toolLine() const { return lastToolLine; }
    // Whether the last error came from the title or the format run.
    bool addressRunFailed() const { return lastFromAddress; }
    // What the last update run that ended well said, when it could be read.
    std::optional<ToolUpdate> toolUpdate() const { return lastUpdate; }

    MediaInfo *const info;

signals:
    void hasError(Downloader::errors error);
    void haveTitle();
    void haveFormats();
    void haveFile();
    void doneExtractAudio();
    void percent(float value);
    // Speed and time left of a download, as the tool words them; empty when
    // it does not know.
    void speed(const QString &speed, const QString &timeLeft);
    void snifferUpdated();

private slots:
    void readTitle(const QStringList &lines);
    void gotTitle(const ToolResult &result);
    void readFormats(const QStringList &lines);
    void gotFormats(const ToolResult &result);
    void readFile(const QStringList &lines);
    void gotFile(const ToolResult &result);
    void readUpdate(const QStringList &lines);
    void gotUpdate(const ToolResult &result);
    void readAudioExtracting(const QStringList &lines);
    void probedAudio(const ToolResult &result);
    void doneAudioExtracting(const ToolResult &result);

private:
    using ReadSlot = void (Downloader::*)(const QStringList &);
    using EndSlot = void (Downloader::*)(const ToolResult &);

    // A new run of a request kind, connected, to be started by the caller.
    ToolRun *launch(QPointer<ToolRun> &member, const QString &program, const QStringList &arguments,
                    ToolRun::Limits limits, ReadSlot onRead, EndSlot onEnd);
    // The same for the downloader tool, with the address's credentials.
    ToolRun *launchTool(QPointer<ToolRun> &member, const QStringList &arguments, ToolRun::Limits limits,
                        ReadSlot onRead, EndSlot onEnd);
    // An argument list as the log may show it.
    QStringList forLog(const QStringList &arguments) const;
    // Ends a run still going, without waiting; `afterwards` runs once its
    // process group is gone.
    static void endRun(QPointer<ToolRun> &member, std::function<void()> afterwards = {});
    // The run that just finished is done with.
    static void dropRun(QPointer<ToolRun> &member);
    static void logFailure(const char *operation, const ToolResult &result);
    // The error of a failed run: the cause its error line (else its last
    // words) names, else `otherwise`. Keeps that line for toolLine().
    errors jobError(const ToolResult &result, errors otherwise);
    // What a download under way may leave: the target, its ".part" and
    // ".ytdl" files. Removed unless a newer download took the same names.
    std::function<void()> downloadLeftovers();
    // The partial target of an extraction under way, and with `withSource`
    // its source. Removed unless a newer extraction took the same target.
    std::function<void()> extractionLeftovers(bool withSource);
    void emitLater(errors error);
    void convertAudio(const AudioProbe &probe);
    // An update that failed, with its cause for toolLine().
    void updateFailed(const QString &cause);
    // The file the running download wrote, when it is where it may be.
    QString fileWritten() const;

    int activeJob = 0;
    QMap<QString, QString> audioQualities;
    QPointer<ToolRun> updateRun;
    QPointer<ToolRun> titleRun;
    QPointer<ToolRun> formatRun;
    QPointer<ToolRun> fileRun;
    PartsProgress fileProgress;
    QPointer<ToolRun> extractRun;
    QString scriptSuffix;
    QString toolPath;
    QString pageUrl;
    QString userName;
    QString password;
    QString releaseUrl;
    QString runtimeReleaseUrl;
    QString cookieSource;
    int item = 0;
    FinishChoices finish;
    QString partFile;
    QStringList extractArgs;
    QString extractCover;
    QString fileTarget;
    QString reportedFile;  // what the running download says it wrote
    QString lastToolLine;
    bool lastFromAddress = false;
    std::optional<ToolUpdate> lastUpdate;
};

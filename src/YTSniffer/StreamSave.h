#pragma once

#include "PartsProgress.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <optional>

class QTimer;
class ToolRun;
struct ToolResult;

// Saves a whole streaming manifest (HLS or DASH) with the downloader tool:
// the browser's header lines passed on in a file only this user can read
// (never on a command line, never logged), the chosen quality merged with
// its audio, written to "TARGET.part" and renamed to TARGET when the tool
// ended well. Cancel or failure leaves nothing under TARGET.
//
// A live stream is recorded until stop(): the tool's ffmpeg writes MPEG-TS
// (readable however it ends), is asked to finish on SIGINT, and what it
// recorded is remuxed to an MP4 file under TARGET; a stop before anything
// came leaves nothing, like a cancel.
class StreamSave : public QObject
{
    Q_OBJECT

public:
    struct Request
    {
        QString tool;              // the downloader tool
        QUrl address;              // the manifest
        QByteArray requestHeader;  // the browser's request block
        QString selector;          // "bv*[height<=720]+ba/b" or a format id
        QString target;            // final file name
        bool oneOrigin = false;    // the manifest names no other host than its own
    };

    struct Result
    {
        bool ok = false;
        bool canceled = false;
        QString error;             // for the log and the box
        QString cutShort;          // a recording the stream ended with an error: why; what came is kept
    };

    // How long a stopped recording may take to close its file before it is
    // ended the usual way.
    static constexpr int stopGraceMs = 10000;

    explicit StreamSave(QObject *parent = nullptr);
    ~StreamSave() override;

    void start(const Request &request);
    // A live stream: recorded until stop(), then finished by the remuxer (ffmpeg).
    void record(const Request &request, const QString &remuxer);
    void cancel();
    // A live recording ends and keeps what it has; anything else cancels.
    void stop();
    bool isRunning() const;

    // The tool's arguments after its configuration file, for tests and the log;
    // the address is in that file.
    static QStringList arguments(const Request &request, bool live = false);

signals:
    void progress(unsigned long long done, bool sizeKnown, unsigned long long total, int percent);
    void recorded(qint64 seconds, unsigned long long bytes);
    void finished(const StreamSave::Result &result);

private:
    void launch(const Request &request);
    // The options, cookie and address files in the run's private folder;
    // the file that could not be written, if any.
    std::optional<QString> writeOptions(const Request &request, const QString &folder);
    QString toolFailure(const ToolResult &result) const;
    void readLines(const QStringList &lines);
    void ended(const ToolResult &result);
    void measureRecording();
    void keepRecording(bool toolOk, const QString &why);
    void remuxed(const ToolResult &result);
    void finish(Result result);
    // The part file and the tool's pieces beside the target.
    static void removeLeftovers(const QString &target);

    QPointer<ToolRun> m_run;
    Request m_request;
    bool m_live = false;
    QString m_remuxer;
    QString m_saved;      // where the tool says it put the file
    QList<QByteArray> m_heldBack;  // secret headers the tool was not given
    QString m_scopedCookies;       // cookies for a tool that keeps them to their host
    PartsProgress m_progress;
    bool m_canceled = false;
    bool m_stopping = false;
    bool m_done = false;
    QString m_cutShort;
    QTimer *m_meter = nullptr;       // a recording's time and size
    QElapsedTimer m_recordingSince;  // from the part file's first byte
};

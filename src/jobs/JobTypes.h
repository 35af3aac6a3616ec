#pragma once

#include "FinishChoices.h"

#include <QByteArray>
#include <QDateTime>
#include <QMetaType>
#include <QString>
#include <QUrl>

// The values every save is described by: what to save and how (a request),
// where it stands (a state and its amounts) and how it ended (a result).
// Plain values: they cross threads, reach the history and the views.

// What the list shows in its Kind column.
enum class JobKind { Video, Audio, Stream, Recording };

// Which engine does the work: the downloader tool for a page address, the
// HTTP transfer with the browser's headers, the tool for a streaming manifest.
enum class JobSource { Address, Transfer, Manifest };

enum class JobState { Waiting, Running, Paused, Finished, Failed, Canceled };

struct JobRequest
{
    static constexpr int maxItem = 999999;   // the launcher's bound on an item of a page
    JobSource source = JobSource::Address;
    JobKind kind = JobKind::Video;
    QString name;                 // what the list shows: a title or a file name
    QUrl address;                 // the page, the media, or the manifest
    QByteArray requestHeader;     // the browser's request block (secret: cookies and the like)
    QString selector;             // the tool's format code or selector; empty: its choice
    QString target;               // the final file; for a page address, its extension is a proposal
    bool oneOrigin = false;       // a manifest that names no other host than its own
    QString cookieSource;         // "--cookies-from-browser" of an address job, empty for none
    QString folder;               // a page address without a target: named after its title, in this folder
    FinishChoices finish;         // subtitles, tags, chapters, cover, a part of the video
    // A video of a page without an address of its own (the address is its
    // media alone): saved as this item of the page, with what the page adds.
    QUrl page;
    int item = 0;

    // The choices kept beyond the history's own columns, as one object
    // ("finish": ...): a later choice adds a member, not a column.
    QJsonObject extraChoices() const;
    void setExtraChoices(const QJsonObject &choices);

    // The site shown in the list: the address's host without "www.".
    QString site() const;
    bool operator==(const JobRequest &) const = default;
};

// Where a running save stands. -1: not known.
struct JobProgress
{
    qint64 done = 0;              // bytes
    qint64 total = -1;            // bytes
    int percent = -1;
    double rate = -1;             // bytes a second
    int secondsLeft = -1;
    int part = 0;                 // the track being fetched, of parts (video, then audio)
    int parts = 1;
    qint64 recordedSeconds = -1;  // a live recording's length so far
    QString rateText;             // as the engine words them, when it gives words, not figures
    QString leftText;

    bool operator==(const JobProgress &) const = default;
};

struct JobResult
{
    JobState state = JobState::Finished;  // Finished, Failed or Canceled
    QString file;                 // the saved file
    qint64 size = 0;
    int errorCode = 0;            // a code of the downloader or transfer catalogue
    QString errorText;            // the catalogue's text, or the engine's own words
    QString toolLine;             // the tool's line behind a failure, addresses masked
    QString note;                 // a finished job's remark (a recording cut short)

    bool ok() const { return state == JobState::Finished; }
    bool operator==(const JobResult &) const = default;
    static JobResult canceled()
    {
        JobResult result;
        result.state = JobState::Canceled;
        return result;
    }
};

// What a job needs to go on after a pause or a restart of the application.
struct JobResume
{
    QString partFile;             // the partial file written so far
    QByteArray validator;         // ETag, else Last-Modified, of the first answer
    qint64 total = -1;

    bool operator==(const JobResume &) const = default;
};

// One row of the history: a job as it is kept across restarts.
struct JobRecord
{
    qint64 id = 0;                // 0 until stored
    JobRequest request;
    JobState state = JobState::Waiting;
    JobProgress progress;
    JobResult result;
    JobResume resume;
    QDateTime created;            // UTC
    QDateTime ended;              // UTC, invalid while unfinished
    int position = 0;             // order in the queue

    bool unfinished() const { return state == JobState::Waiting || state == JobState::Running || state == JobState::Paused; }
    bool operator==(const JobRecord &) const = default;
};

namespace JobText {
QString kind(JobKind kind);       // "video", "audio", "stream", "recording"
QString state(JobState state);    // "Waiting", "Running", "Paused", "Finished", "Failed", "Canceled"
} // namespace JobText

Q_DECLARE_METATYPE(JobProgress)
Q_DECLARE_METATYPE(JobResult)
Q_DECLARE_METATYPE(JobRecord)

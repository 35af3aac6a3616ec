#pragma once

#include "JobTypes.h"

#include <QObject>
#include <QPointer>

class Downloader;

// One save, whatever does the work. Callers never poll: a job says how far
// it got, and says once how it ended, for each start. A suspended job keeps
// what it wrote where its engine can go on from it; start() goes on. The
// engines are the subclasses; a view observes any job without knowing which.
class Job : public QObject
{
    Q_OBJECT

public:
    Job(const JobRequest &request, const JobResume &resume, QObject *parent = nullptr);

    const JobRequest &request() const { return m_request; }
    // What a later start needs to go on from the partial work.
    const JobResume &resumeData() const { return m_resume; }
    const JobProgress &progress() const { return m_progress; }
    bool isRunning() const { return m_running; }

    // Begins, or goes on after suspend(). Results and progress come later,
    // never from inside this call.
    void start();
    // Stops and keeps the partial work; suspended() once it is stopped.
    void suspend();
    // Stops and leaves nothing, also of a suspended job; finished() with
    // Canceled once it is gone.
    void kill();
    // A live recording ends and keeps what it has; any other job is killed.
    virtual void stop() { kill(); }
    // Whether suspend() keeps anything to go on from (else it starts afresh).
    virtual bool canGoOn() const { return true; }

signals:
    // The request gained what it lacked at the start (the file's name).
    void requestSettled(const JobRequest &request);
    void progressed(const JobProgress &progress);
    void suspended();
    void finished(const JobResult &result);

protected:
    virtual void doStart(bool goOn) = 0;
    // Each must end with ended() or stopped(), once the work is gone;
    // doKill() also when nothing runs (a suspended job's parts go).
    virtual void doSuspend() = 0;
    virtual void doKill() = 0;

    void settleRequest(const JobRequest &request);
    void report(const JobProgress &progress);
    void ended(JobResult result);
    void stopped();
    // The last step of a save as audio: the file converted to an MP3 beside
    // it (never over one already there), the file itself removed; an MP3 is
    // kept as it came, a file without sound fails. Ends the job.
    void convertToMp3(const QString &file);
    // Ends a conversion under way, its partial MP3 removed; false when none runs.
    bool endConversion();
    JobResume m_resume;

private:
    JobRequest m_request;
    JobProgress m_progress;
    bool m_running = false;
    bool m_started = false;   // once: later starts go on
    bool m_stopping = false;
    bool m_killing = false;
    QPointer<Downloader> m_converter;
};

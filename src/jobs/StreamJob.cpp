#include "StreamJob.h"

#include "StreamSave.h"

#include <QFileInfo>

StreamJob::StreamJob(const QString &tool, const QString &remuxer, const JobRequest &request, QObject *parent)
    : Job(request, {}, parent)
    , m_tool(tool)
    , m_remuxer(remuxer)
{
}

void StreamJob::doStart(bool)
{
    delete m_save;
    m_save = new StreamSave(this);
    m_suspending = false;
    connect(m_save, &StreamSave::progress, this,
            [this](unsigned long long done, bool sizeKnown, unsigned long long total, int percent) {
                JobProgress now = progress();
                now.done = qint64(done);
                now.total = sizeKnown ? qint64(total) : -1;
                now.percent = percent;
                report(now);
            });
    connect(m_save, &StreamSave::recorded, this, [this](qint64 seconds, unsigned long long bytes) {
        JobProgress now = progress();
        now.done = qint64(bytes);
        now.recordedSeconds = seconds;
        report(now);
    });
    connect(m_save, &StreamSave::finished, this, [this](const StreamSave::Result &outcome) {
        m_save->deleteLater();
        if (m_suspending) {
            stopped();
            return;
        }
        if (outcome.ok && request().kind == JobKind::Audio) {
            convertToMp3(request().target);
            return;
        }
        JobResult result;
        result.state = outcome.ok ? JobState::Finished : outcome.canceled ? JobState::Canceled : JobState::Failed;
        result.errorText = outcome.error;
        result.note = outcome.cutShort;
        if (outcome.ok) {
            result.file = request().target;
            result.size = QFileInfo(result.file).size();
        }
        ended(result);
    });
    const StreamSave::Request save{m_tool, request().address, request().requestHeader, request().selector,
                                   request().target, request().oneOrigin};
    if (request().kind == JobKind::Recording)
        m_save->record(save, m_remuxer);
    else
        m_save->start(save);
}

void StreamJob::stop()
{
    if (m_save && request().kind == JobKind::Recording)
        m_save->stop();
    else
        kill();
}

void StreamJob::doSuspend()
{
    // A recording cannot wait: it ends with what it has.
    if (request().kind == JobKind::Recording) {
        stop();
        return;
    }
    m_suspending = true;
    if (m_save)
        m_save->cancel();
    else {
        endConversion();
        stopped();
    }
}

void StreamJob::doKill()
{
    if (m_save) {
        m_save->cancel();
        return;
    }
    endConversion();
    ended(JobResult::canceled());
}

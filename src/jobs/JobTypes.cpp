#include "JobTypes.h"

QString JobRequest::site() const
{
    QString host = address.host().toLower();
    if (host.startsWith(QLatin1String("www.")))
        host.remove(0, 4);
    return host;
}

QJsonObject JobRequest::extraChoices() const
{
    return QJsonObject{{QStringLiteral("finish"), Finish::toJson(finish)}};
}

void JobRequest::setExtraChoices(const QJsonObject &choices)
{
    finish = Finish::fromJson(choices.value(QStringLiteral("finish")).toObject());
}

namespace JobText {

QString kind(JobKind kind)
{
    switch (kind) {
    case JobKind::Video: return QStringLiteral("video");
    case JobKind::Audio: return QStringLiteral("audio");
    case JobKind::Stream: return QStringLiteral("stream");
    case JobKind::Recording: return QStringLiteral("recording");
    }
    return {};
}

QString state(JobState state)
{
    switch (state) {
    case JobState::Waiting: return QStringLiteral("Waiting");
    case JobState::Running: return QStringLiteral("Running");
    case JobState::Paused: return QStringLiteral("Paused");
    case JobState::Finished: return QStringLiteral("Finished");
    case JobState::Failed: return QStringLiteral("Failed");
    case JobState::Canceled: return QStringLiteral("Canceled");
    }
    return {};
}

} // namespace JobText

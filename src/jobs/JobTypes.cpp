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
    QJsonObject choices{{QStringLiteral("finish"), Finish::toJson(finish)}};
    if (item > 0) {
        // A password of the page stays out of the history, as the address's does.
        choices.insert(QStringLiteral("page"), QString::fromUtf8(page.adjusted(QUrl::RemoveUserInfo).toEncoded()));
        choices.insert(QStringLiteral("item"), item);
    }
    return choices;
}

void JobRequest::setExtraChoices(const QJsonObject &choices)
{
    finish = Finish::fromJson(choices.value(QStringLiteral("finish")).toObject());
    const QUrl kept = QUrl::fromEncoded(choices.value(QStringLiteral("page")).toString().toUtf8(), QUrl::StrictMode);
    const int number = choices.value(QStringLiteral("item")).toInt();
    const bool web = kept.scheme() == QLatin1String("http") || kept.scheme() == QLatin1String("https");
    if (web && !kept.host().isEmpty() && number > 0 && number <= maxItem) {
        page = kept;
        item = number;
    } else {
        page.clear();
        item = 0;
    }
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

#include "BrowserSpool.h"

#include "BrowserMessage.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QSaveFile>

namespace {

constexpr int lockWaitMs = 3000;

} // namespace

BrowserSpool::BrowserSpool(const QString &perUserFolder)
    : m_folder(perUserFolder)
{
}

QString BrowserSpool::filePath() const
{
    return m_folder + QStringLiteral("/browser-streams.json");
}

BrowserSpool::Result BrowserSpool::add(const BrowserStream &stream)
{
    QLockFile lock(m_folder + QStringLiteral("/browser-streams.lock"));
    if (!lock.tryLock(lockWaitMs))
        return {false, QStringLiteral("the spool stays locked")};

    QString readError;
    QList<BrowserStream> streams = read(&readError);   // an unreadable spool is started afresh
    streams.append(stream);
    if (streams.size() > capacity)
        streams.remove(0, streams.size() - capacity);
    QJsonArray list;
    for (const BrowserStream &kept : std::as_const(streams))
        list.append(browserStreamJson(kept));

    QSaveFile file(filePath());
    if (!file.open(QIODevice::WriteOnly))
        return {false, file.errorString()};
    // Restrict the new file before a single cookie is written to it.
    if (!file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        return {false, QStringLiteral("cannot restrict the spool to its owner")};
    file.write(QJsonDocument(QJsonObject{{QStringLiteral("streams"), list}}).toJson(QJsonDocument::Compact));
    if (!file.commit())
        return {false, file.errorString()};
    return {};
}

BrowserSpool::Taken BrowserSpool::takeAll()
{
    Taken taken;
    QLockFile lock(m_folder + QStringLiteral("/browser-streams.lock"));
    if (!QFile::exists(filePath()))
        return taken;
    if (!lock.tryLock(lockWaitMs)) {
        taken.error = QStringLiteral("the spool stays locked");
        return taken;
    }
    taken.streams = read(&taken.error);
    QFile::remove(filePath());
    return taken;
}

QList<BrowserStream> BrowserSpool::read(QString *error) const
{
    QList<BrowserStream> streams;
    QFile file(filePath());
    if (!file.exists())
        return streams;
    if (!file.open(QIODevice::ReadOnly)) {
        *error = file.errorString();
        return streams;
    }
    if (file.size() > maxFileSize) {
        *error = QStringLiteral("the spool is larger than %1 bytes").arg(maxFileSize);
        return streams;
    }
    const QJsonArray list = QJsonDocument::fromJson(file.read(maxFileSize)).object()
                                .value(QStringLiteral("streams")).toArray();
    for (const QJsonValue &entry : list) {
        const BrowserMessage message = parseBrowserStream(entry.toObject());
        if (message.kind == BrowserMessage::Kind::Stream)
            streams.append(message.stream);
    }
    if (streams.size() > capacity)
        streams.remove(0, streams.size() - capacity);
    return streams;
}

#include "BrowserSpool.h"

#include "BrowserMessage.h"
#include "PrivateFile.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

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

QString BrowserSpool::lockPath() const
{
    return m_folder + QStringLiteral("/browser-streams.lock");
}

BrowserSpool::Result BrowserSpool::add(const BrowserStream &stream)
{
    PrivateFile::Lock lock(lockPath());
    if (!lock.tryLock(lockWaitMs))
        return {false, QStringLiteral("the spool stays locked: ") + lock.error()};

    QString readError;
    QList<BrowserStream> streams = read(&readError);   // an unreadable spool is started afresh
    streams.append(stream);
    if (streams.size() > capacity)
        streams.remove(0, streams.size() - capacity);
    QJsonArray list;
    for (const BrowserStream &kept : std::as_const(streams))
        list.append(browserStreamJson(kept));

    const QString error = PrivateFile::replace(
        filePath(), QJsonDocument(QJsonObject{{QStringLiteral("streams"), list}}).toJson(QJsonDocument::Compact));
    if (!error.isEmpty())
        return {false, error};
    return {};
}

BrowserSpool::Taken BrowserSpool::takeAll()
{
    Taken taken;
    if (!PrivateFile::exists(filePath()))
        return taken;
    PrivateFile::Lock lock(lockPath());
    if (!lock.tryLock(lockWaitMs)) {
        taken.error = QStringLiteral("the spool stays locked: ") + lock.error();
        return taken;
    }
    taken.streams = read(&taken.error);
    // Whatever stands at the name goes: a link, never its target; a FIFO, unread.
    QFile::remove(filePath());
    return taken;
}

QList<BrowserStream> BrowserSpool::read(QString *error) const
{
    QList<BrowserStream> streams;
    const PrivateFile::Contents contents = PrivateFile::read(filePath(), maxFileSize);
    if (!contents.error.isEmpty()) {
        *error = QStringLiteral("the spool: ") + contents.error;
        return streams;
    }
    const QJsonArray list = QJsonDocument::fromJson(contents.bytes).object()
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

#include "PlaylistListing.h"

#include "LogLine.h"
#include "Platform.h"
#include "SafeText.h"
#include "ToolOptions.h"

#include <QDir>

PlaylistListing::PlaylistListing(QObject *parent, const QString &tool)
    : QObject(parent)
    , m_tool(!tool.isEmpty() ? tool
                             : QDir::toNativeSeparators(Platform::applicationFolder() + QLatin1Char('/')
                                                        + Platform::downloaderToolName()))
{
}

PlaylistListing::~PlaylistListing()
{
    stop();
}

void PlaylistListing::start(const QUrl &address, const QString &cookieSource)
{
    stop();
    m_sliceDue = false;
    m_address = address;
    m_playlist = false;
    m_title.clear();
    m_count = m_listed = 0;
    m_note.clear();
    const QString user = address.userName(QUrl::FullyDecoded);
    const QString password = address.password(QUrl::FullyDecoded);
    // The listing takes the same route as the downloads.
    const ToolOptions::AddressRun options = ToolOptions::addressOptions(user, password, cookieSource);
    const QStringList arguments = options.arguments
                                  + QStringList{QStringLiteral("--list-entries"), address.adjusted(QUrl::RemoveUserInfo).toString()};
    LOG_DEBUG << "PlaylistListing" << ":" << "list" << ":" << SafeText::address(address);
    // Entries are handed on as read: the result keeps none of them.
    m_run = new ToolRun(m_tool, arguments, {0, 0}, this);
    if (!options.folder.isEmpty())
        m_run->removeWhenDone(options.folder);
    connect(m_run, &ToolRun::linesRead, this, &PlaylistListing::read);
    connect(m_run, &ToolRun::finished, this, &PlaylistListing::done);
    m_run->start();
}

void PlaylistListing::stop()
{
    m_pending.clear();
    m_result.reset();
    ToolRun *run = m_run.data();
    m_run.clear();
    if (!run)
        return;
    run->disconnect(this);
    run->end();
    run->deleteLater();
}

void PlaylistListing::read(const QStringList &lines)
{
    m_pending += lines;
    if (m_sliceDue || m_pending.isEmpty())
        return;
    m_sliceDue = true;
    QMetaObject::invokeMethod(this, &PlaylistListing::readSlice, Qt::QueuedConnection);
}

void PlaylistListing::readSlice()
{
    m_sliceDue = false;
    const QStringList lines = m_pending.mid(0, linesPerTurn);
    m_pending.remove(0, lines.size());
    if (!m_pending.isEmpty()) {
        m_sliceDue = true;
        QMetaObject::invokeMethod(this, &PlaylistListing::readSlice, Qt::QueuedConnection);
    }
    QList<PlaylistEntry> batch;
    batch.reserve(lines.size());
    for (const QString &line : lines) {
        const ListingLine parsed = PlaylistOutput::parseLine(line);
        switch (parsed.kind) {
        case ListingLine::Kind::Entry:
            if (m_playlist && m_listed < PlaylistOutput::maxNumber) {
                batch.append(parsed.entry);
                ++m_listed;
            }
            break;
        case ListingLine::Kind::Playlist:
            if (!m_playlist) {
                m_playlist = true;
                m_title = parsed.title;
                m_count = parsed.count;
                emit playlistFound(m_title, m_count);
            }
            break;
        case ListingLine::Kind::Note:
            m_note = parsed.title;
            m_count = qMax(m_count, parsed.count);
            break;
        case ListingLine::Kind::Single:
            if (!m_playlist)
                emit singleFound();
            break;
        case ListingLine::Kind::Unreadable:
            break;
        }
    }
    if (!batch.isEmpty())
        emit entriesArrived(batch);
    if (m_pending.isEmpty() && m_result)
        end();
}

void PlaylistListing::done(const ToolResult &result)
{
    if (m_run)
        m_run->deleteLater();
    m_run.clear();
    m_result = result;
    if (m_pending.isEmpty() && !m_sliceDue)
        end();
}

void PlaylistListing::end()
{
    const ToolResult result = *std::exchange(m_result, std::nullopt);
    if (!result.ok)
        LOG_ERROR << "PlaylistListing" << ":" << "exitCode" << ":" << result.exitCode << ":"
                  << SafeText::line(result.complaint);
    emit finished(result.ok, SafeText::line(result.errorLine.isEmpty() ? result.complaint : result.errorLine));
}

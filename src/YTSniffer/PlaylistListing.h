#pragma once

#include "PlaylistOutput.h"
#include "ToolRun.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <optional>

// Runs the launcher's listing of an address and hands its entries on as
// they arrive, in the batches the tool's output comes in. The address's
// credentials and the cookie source reach the tool in a private file.
class PlaylistListing : public QObject
{
    Q_OBJECT

public:
    // Lines read at most in one turn of the event loop: a large read is
    // taken in slices, so the window never waits for a whole one.
    static constexpr int linesPerTurn = 200;

    // The launcher beside the application, unless a test names another.
    explicit PlaylistListing(QObject *parent = nullptr, const QString &tool = {});
    ~PlaylistListing() override;

    void start(const QUrl &address, const QString &cookieSource = {});
    // Ends a run still going; nothing more is said of it.
    void stop();
    bool isRunning() const { return m_run; }

    QUrl address() const { return m_address; }   // the address listed last
    bool isPlaylist() const { return m_playlist; }
    QString title() const { return m_title; }
    int count() const { return m_count; }      // what the page says it has, 0 when unknown
    int listed() const { return m_listed; }
    QString note() const { return m_note; }

signals:
    // The address is a playlist: said once, before its first entries.
    void playlistFound(const QString &title, int count);
    void entriesArrived(const QList<PlaylistEntry> &entries);
    // The address is one item.
    void singleFound();
    // Once, at the end. ok: the tool ended well (or the listing was cut at its bound).
    void finished(bool ok, const QString &errorLine);

private:
    void read(const QStringList &lines);
    void readSlice();
    void done(const ToolResult &result);
    void end();

    QString m_tool;
    QPointer<ToolRun> m_run;
    QUrl m_address;
    bool m_playlist = false;
    QString m_title;
    int m_count = 0;
    int m_listed = 0;
    QString m_note;
    QStringList m_pending;       // lines read, not yet taken
    bool m_sliceDue = false;
    std::optional<ToolResult> m_result;  // the run's end, told once every line was taken
};

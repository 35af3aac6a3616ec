#pragma once

#include <QString>

// Where the window's address download stands, as one value: the host list
// the address page checks, the answers awaited for an accepted address, the
// kind of file being saved, and whether a sniffed save still needs its MP3.
// The window asks it what to do next; it knows no widgets and no processes.
class AddressWorkflow
{
public:
    enum class Sites { None, VideoSites, OtherSites };
    // The driver's step numbers: 3 file download, 4 audio extraction.
    enum class Kind { Video = 3, Audio = 4 };
    enum class Answer { Title, Formats, Listing };
    enum class Stage { Idle, AwaitingAnswers, Ready };

    // The address page opened by one of the two download buttons.
    void openAddressPage(Sites sites) { m_sites = sites; }
    // "yt_urls", "os_urls", or empty before either button was pressed.
    QString hostList() const;
    // The code shown for a host off that list; 0 when no list is bound.
    int hostError() const;

    // An accepted address: its title, its formats and whether it is a
    // playlist (the listing's verdict) are awaited.
    void addressAccepted();
    // Records an answer; true when it completes the pair for the address
    // being asked about, so the download page opens now.
    // A playlist's page waits for the listing alone.
    bool answer(Answer which);
    bool answersIn() const { return m_listing && (m_playlist || (m_title && m_formats)); }
    // The listing found a playlist: its entries make the download page.
    void playlistFound() { m_playlist = true; }
    bool isPlaylist() const { return m_playlist; }
    // Whether an error of the title or format run waits for the listing's
    // verdict: a playlist page may fail where the listing does not.
    bool holdsAddressErrors() const { return m_stage == Stage::AwaitingAnswers && !m_listing; }
    Stage stage() const { return m_stage; }
    // The busy page's cancel: late answers no longer move the window.
    void cancel() { m_stage = Stage::Idle; }
    // Whether a driver error is shown. The title and format runs of one
    // address fail together: only the first of them is shown, and none
    // after a cancel. Every other error is shown. Ends any wait.
    bool reportError(bool fromAddressRun);

    void startDownload(Kind kind) { m_download = kind; }
    Kind downloadKind() const { return m_download; }
    void startSniffedSave(Kind kind) { m_sniffed = kind; }
    Kind sniffedKind() const { return m_sniffed; }
    // A finished download: true when the sniffed-media page comes next (the
    // MP3 of a sniffed save is done), false for the address page. A failed
    // extraction leaves the sniffed audio pending for the next download.
    bool finishDownload();

private:
    Sites m_sites = Sites::None;
    Stage m_stage = Stage::Idle;
    bool m_title = false;
    bool m_formats = false;
    bool m_listing = false;
    bool m_playlist = false;
    Kind m_download = Kind::Video;
    Kind m_sniffed = Kind::Video;
};

#include "AddressWorkflow.h"

#include "MessageCatalogue.h"

QString AddressWorkflow::hostList() const
{
    switch (m_sites) {
    case Sites::VideoSites: return QStringLiteral("yt_urls");
    case Sites::OtherSites: return QStringLiteral("os_urls");
    case Sites::None: break;
    }
    return QString();
}

int AddressWorkflow::hostError() const
{
    switch (m_sites) {
    case Sites::VideoSites: return WindowError::NotAVideoSite;
    case Sites::OtherSites: return WindowError::BadAddress;
    case Sites::None: break;
    }
    return 0;
}

void AddressWorkflow::addressAccepted()
{
    m_stage = Stage::AwaitingAnswers;
    m_title = false;
    m_formats = false;
    m_listing = false;
    m_playlist = false;
}

bool AddressWorkflow::answer(Answer which)
{
    (which == Answer::Title ? m_title : which == Answer::Formats ? m_formats : m_listing) = true;
    if (m_stage != Stage::AwaitingAnswers || !answersIn())
        return false;
    m_stage = Stage::Ready;
    return true;
}

bool AddressWorkflow::reportError(bool fromAddressRun)
{
    // Past the listing of a playlist, the first entry's runs no longer matter.
    if (fromAddressRun && m_playlist)
        return false;
    const bool shown = !fromAddressRun || m_stage == Stage::AwaitingAnswers;
    m_stage = Stage::Idle;
    return shown;
}

bool AddressWorkflow::finishDownload()
{
    if (m_sniffed != Kind::Audio)
        return false;
    m_sniffed = Kind::Video;
    return true;
}

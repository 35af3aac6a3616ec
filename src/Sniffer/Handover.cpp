#include "Sniffer.h"

#include "BrowserSave.h"
#include "FinishSettings.h"
#include "JobQueue.h"
#include "LogLine.h"
#include "SafeText.h"
#include "UrlCheck.h"
#include "ui_InsertURL.h"
#include "ui_Navigation.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QTimer>

// Addresses handed over by a later start of the program. Opening one is
// what typing it on the "Other sites" address page and pressing Enter does.
// The next waits until the window is done with the one before: off the
// download page and the busy pages (downloaded, Back, canceled or refused)
// with no box open. While any waits, the window looks a few times a second.

namespace {

constexpr int handoverCheckMs = 250;

} // namespace

void Sniffer::takeHandover(const QList<QUrl> &addresses, bool queue)
{
    TRACE("takeHandover");
    if (closing)
        return;
    if (queue) {
        // The default quality in the video folder, named after the title: no question asked.
        for (const QUrl &address : addresses) {
            if (!UrlCheck::hostAccepted(UrlCheck::encodedHost(address), settingsList("os_urls"))) {
                LOG_ERROR << "takeHandover" << ":" << "host not accepted" << ":" << SafeText::address(address);
                continue;
            }
            JobRequest request;
            request.source = JobSource::Address;
            request.kind = JobKind::Video;
            request.name = SafeText::address(address);
            request.address = address;
            request.selector = QStringLiteral("best");
            request.folder = settingsFile.value(QStringLiteral("savepath_video"));
            request.cookieSource = downloader->cookies();
            // Tags, chapters and cover as the settings say; subtitles only when chosen.
            request.finish = FinishSettings::defaults(settingsFile);
            request.finish.subtitles.clear();
            const qint64 id = jobs->add(request);
            LOG_DEBUG << "takeHandover" << ":" << "queued" << ":" << id << ":" << request.name;
        }
        return;
    }
    handedAddresses += addresses;
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
    if (!handoverTimer) {
        handoverTimer = new QTimer(this);
        handoverTimer->setInterval(handoverCheckMs);
        connect(handoverTimer, &QTimer::timeout, this, &Sniffer::openNextHanded);
    }
    openNextHanded();
}

void Sniffer::openNextHanded()
{
    if (handedOpen.isValid() && !handedShown && m_currentPage == PageLayout::DownloadPage) {
        handedShown = true;
        LOG_DEBUG << "takeHandover" << ":" << "on the download page" << ":" << SafeText::address(handedOpen);
    }
    const bool busy = m_currentPage == PageLayout::DownloadPage || m_currentPage == PageLayout::BusyPage
                      || m_currentPage == PageLayout::UpdatePage || QApplication::activeModalWidget() || closing;
    if (busy) {
        handoverTimer->start();
        return;
    }
    handedOpen.clear();
    handedShown = false;
    if (handedAddresses.isEmpty()) {
        handoverTimer->stop();
        return;
    }
    handedOpen = handedAddresses.takeFirst();
    LOG_DEBUG << "takeHandover" << ":" << "opening" << ":" << SafeText::address(handedOpen);
    navigation->btnDownloaderOS->click();
    insertURL->inputURL->setText(handedOpen.toString(QUrl::FullyEncoded));
    processURL();
    handoverTimer->start();
}

void Sniffer::saveBrowserStreams(const QList<BrowserStream> &streams)
{
    TRACE("saveBrowserStreams");
    if (closing)
        return;
    const QString videos = settingsFile.value(QStringLiteral("savepath_video"));
    const QString audio = settingsFile.value(QStringLiteral("savepath_audio"));
    for (const BrowserStream &stream : streams) {
        const JobRequest request = BrowserSave::request(stream, videos, audio, [this](const QString &path) {
            return browserSaveTargets.contains(path);
        });
        browserSaveTargets.append(request.target);
        // A fresh account may not have its video or music folder yet.
        if (!QDir().mkpath(QFileInfo(request.target).absolutePath()))
            LOG_ERROR << "saveBrowserStreams" << ":" << "no folder" << ":" << request.target;
        const qint64 id = jobs->add(request);
        LOG_DEBUG << "saveBrowserStreams" << ":" << id << ":" << SafeText::address(stream.url) << ":" << request.target;
    }
}

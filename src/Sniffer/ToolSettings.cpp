#include "Sniffer.h"

#include "CookieSource.h"
#include "LogLine.h"
#include "Platform.h"
#include "ToolHealthCheck.h"
#include "ui_Settings.h"

#include <QDir>

// The downloader's part of the settings page: where its releases come from,
// whose cookies it reads, and how fit it is.

void Sniffer::initToolSettings()
{
    TRACE("initToolSettings");
    for (const CookieSource::Choice &choice : CookieSource::choices())
        settingsUi->comboCookies->addItem(choice.label, choice.browser);
    const int stored = settingsUi->comboCookies->findData(settingsFile.value(QStringLiteral("cookies_browser")));
    settingsUi->comboCookies->setCurrentIndex(qMax(0, stored));
    settingsUi->inputCookieProfile->setText(settingsFile.value(QStringLiteral("cookies_profile")));
    applyToolSettings();
}

void Sniffer::storeToolSettings()
{
    TRACE("storeToolSettings");
    settingsFile.store(QStringLiteral("cookies_browser"), settingsUi->comboCookies->currentData().toString());
    settingsFile.store(QStringLiteral("cookies_profile"), settingsUi->inputCookieProfile->text().trimmed());
    applyToolSettings();
}

void Sniffer::applyToolSettings()
{
    downloader->setReleaseUrl(settingsFile.value(QStringLiteral("tool_release_url")).trimmed());
    downloader->setRuntimeReleaseUrl(settingsFile.value(QStringLiteral("runtime_release_url")).trimmed());
    const QString cookies = CookieSource::argument(settingsFile.value(QStringLiteral("cookies_browser")),
                                                   settingsFile.value(QStringLiteral("cookies_profile")));
    // The browser only: a profile path names the user's folders.
    LOG_DEBUG << "applyToolSettings" << ":" << "cookies from" << ":" << cookies.section(QLatin1Char(':'), 0, 0);
    downloader->setCookieSource(cookies);
}

void Sniffer::refreshToolHealth()
{
    if (healthCheck)
        return;
    if (settingsUi->lblToolHealth->text().isEmpty())
        settingsUi->lblToolHealth->setText(QStringLiteral("Checking the downloader…"));
    healthCheck = new ToolHealthCheck(downloader->tool(), Platform::companionProgram(QStringLiteral("ffmpeg")),
                                      QDir(Platform::perUserFolder()).filePath(QStringLiteral("tools")), this);
    connect(healthCheck, &ToolHealthCheck::ready, this, &Sniffer::showToolHealth);
    healthCheck->start();
}

void Sniffer::showToolHealth(const ToolHealth &health)
{
    LOG_DEBUG << "showToolHealth" << ":" << health.toolVersion << health.ffmpegVersion;
    settingsUi->lblToolHealth->setText(health.text());
    if (healthCheck)
        healthCheck->deleteLater();
    healthCheck.clear();
}

#include "Sniffer.h"

#include "CookieSource.h"
#include "LogLine.h"
#include "Platform.h"
#include "ToolHealthCheck.h"
#include "ui_Settings.h"

#include <QDir>

// The downloader's part of the settings page: where its releases come from,
// whose cookies it reads, and how fit it is.

namespace {

// Said beside the choice, not first when every address fails: a browser
// whose cookies the downloader cannot find for this user.
void showCookieNote(Ui::Settings *page)
{
    const QString profile = page->inputCookieProfile->text();
    const bool found = CookieSource::storeFound(page->comboCookies->currentData().toString(), profile);
    const QString where = profile.trimmed().isEmpty() ? QStringLiteral("for this user here")
                                                      : QStringLiteral("in that profile folder");
    page->lblCookieNote->setText(found ? QString()
                                       : QStringLiteral("%1 has no cookies %2: the downloader cannot use them. "
                                                        "Choose another browser, or none.")
                                             .arg(page->comboCookies->currentText(), where));
    page->lblCookieNote->setVisible(!found);
}

} // namespace

void Sniffer::initToolSettings()
{
    TRACE("initToolSettings");
    for (const CookieSource::Choice &choice : CookieSource::choices())
        settingsUi->comboCookies->addItem(choice.label, choice.browser);
    const int stored = settingsUi->comboCookies->findData(settingsFile.value(QStringLiteral("cookies_browser")));
    settingsUi->comboCookies->setCurrentIndex(qMax(0, stored));
    settingsUi->inputCookieProfile->setText(settingsFile.value(QStringLiteral("cookies_profile")));
    connect(settingsUi->comboCookies, &QComboBox::currentIndexChanged, this, [this] { showCookieNote(settingsUi); });
    connect(settingsUi->inputCookieProfile, &QLineEdit::editingFinished, this, [this] { showCookieNote(settingsUi); });
    showCookieNote(settingsUi);
    applyToolSettings();
    initNetworkSettings();
}

void Sniffer::storeToolSettings()
{
    TRACE("storeToolSettings");
    settingsFile.store(QStringLiteral("cookies_browser"), settingsUi->comboCookies->currentData().toString());
    settingsFile.store(QStringLiteral("cookies_profile"), settingsUi->inputCookieProfile->text().trimmed());
    applyToolSettings();
    storeNetworkSettings();
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
    // The browser may have been installed or used since the page was last shown.
    showCookieNote(settingsUi);
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

#include "Sniffer.h"

#include "LogLine.h"
#include "UpdateSchedule.h"
#include "UserDialogs.h"

bool Sniffer::checkLastUpdateDate()
{
    const UpdateSchedule::Decision decision = UpdateSchedule::decide(
        settingsFile.value(QStringLiteral("last_update")),
        settingsFile.value(QStringLiteral("last_update_year")), today());
    LOG_DEBUG << "checkLastUpdateDate" << ":" << "date" << ":" << decision.day;
    if (!decision.due)
        return false;
    // Stored before the script runs: a failed update is not retried the same day.
    settingsFile.store(QStringLiteral("last_update"), decision.day);
    settingsFile.store(QStringLiteral("last_update_year"), decision.year);
    return true;
}

void Sniffer::updateSniffer()
{
    TRACE("updateSniffer");
    showPage(PageLayout::UpdatePage);
    downloader->checkUpdates();
}

void Sniffer::postUpdateSniffer()
{
    TRACE("postUpdateSniffer");
    UserDialogs::showMessage(this, QMessageBox::Information, QStringLiteral("Vidarro"),
                             MessageCatalogue::toolUpdateText(settingsFile.settingsLists(), downloader->toolUpdate()));
    showPage(PageLayout::MainPage);
}

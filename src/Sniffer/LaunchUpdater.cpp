#include "Sniffer.h"

#include "AppUpdateCheck.h"
#include "Platform.h"
#include "UserDialogs.h"

bool Sniffer::launchUpdater()
{
    AppUpdateCheck check;
    const AppUpdateCheck::Outcome outcome =
        check.run(updateCheckAllowed(), Platform::applicationFolder(), updateLimits);
    if (outcome == AppUpdateCheck::UpdaterMissing) {
        UserDialogs::showMessage(this, QMessageBox::Critical, QStringLiteral("Orx updater error"),
                                 Platform::updaterProgramName() + QStringLiteral("<br><br>does not found!"), true);
    }
    return outcome != AppUpdateCheck::Installing;
}

bool Sniffer::updateCheckAllowed() const
{
    if (m_updateCheckOverride >= 0)
        return m_updateCheckOverride == 1;
    return AppUpdateCheck::networkAvailable();
}

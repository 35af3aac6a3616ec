#include "AppUpdateCheck.h"

#include "LogLine.h"
#include "Platform.h"

#include <QDir>
#include <QFileInfo>
#include <QNetworkInformation>
#include <QProcess>

bool AppUpdateCheck::networkAvailable()
{
    if (!QNetworkInformation::loadDefaultBackend())
        return false;
    const QNetworkInformation *information = QNetworkInformation::instance();
    return information && information->reachability() == QNetworkInformation::Reachability::Online;
}

bool AppUpdateCheck::installedByPackageManager(const QString &applicationFolder)
{
    const QString folder = QDir::cleanPath(QDir::fromNativeSeparators(applicationFolder));
    return folder.startsWith(QLatin1String("/usr/"));
}

QString AppUpdateCheck::updaterPath(const QString &applicationFolder)
{
    return QDir::toNativeSeparators(applicationFolder + QLatin1Char('/') + Platform::updaterProgramName());
}

AppUpdateCheck::Outcome AppUpdateCheck::run(bool updateCheckAllowed, const QString &applicationFolder,
                                             Limits limits)
{
    if (!updateCheckAllowed) {
        LOG_DEBUG << "launchUpdater" << ":" << "No internet connection so do not start wyUpdater.";
        return Skipped;
    }
    LOG_DEBUG << "launchUpdater" << ":" << "Check for main app updates.";
    const QString updater = updaterPath(applicationFolder);
    if (!QFileInfo::exists(updater)) {
        if (installedByPackageManager(applicationFolder)) {
            LOG_DEBUG << "launchUpdater" << ":" << "installed by the package manager, which brings updates";
            return Packaged;
        }
        return UpdaterMissing;
    }

    LOG_DEBUG << "launchUpdater" << ":" << "Check for updates:";
    bool timedOut = false;
    const int check = runUpdater(updater, {QStringLiteral("/quickcheck"), QStringLiteral("/justcheck")},
                                 limits.checkMs, &timedOut);
    if (timedOut)
        return TimedOut;
    if (check != 2)
        return NoUpdate;

    LOG_DEBUG << "launchUpdater" << ":" << "We have updates, so restart updater (for downloding)";
    const int install = runUpdater(updater, {QStringLiteral("/noerr")}, limits.installMs, &timedOut);
    if (timedOut)
        return TimedOut;
    if (install == 3) {
        LOG_DEBUG << "launchUpdater" << ":" << "In updater 'Cancel' button clicked";
        return Cancelled;
    }
    return Installing;
}

int AppUpdateCheck::runUpdater(const QString &program, const QStringList &arguments, int limitMs,
                               bool *timedOut)
{
    QProcess updater;
    updater.setProcessChannelMode(QProcess::ForwardedChannels);
    updater.start(program, arguments);
    if (!updater.waitForStarted(10000)) {
        LOG_ERROR << "launchUpdater" << ":" << "cannot start" << ":" << program << ":" << updater.errorString();
        return -1;
    }
    if (!updater.waitForFinished(limitMs)) {
        LOG_ERROR << "launchUpdater" << ":" << "no answer within" << ":" << limitMs << "ms" << ":" << program;
        updater.kill();
        updater.waitForFinished(5000);
        *timedOut = true;
        return -1;
    }
    if (updater.exitStatus() != QProcess::NormalExit)
        return -1;
    return updater.exitCode();
}

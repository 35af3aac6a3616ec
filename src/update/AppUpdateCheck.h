#pragma once

#include <QString>

// Asks the updater beside the application whether a newer release exists
// and, when one does, runs it to install the release. Both runs are waited
// for, each within a time limit so a hanging updater cannot hold start-up.
class AppUpdateCheck
{
public:
    enum Outcome {
        Skipped,         // no network known: not asked
        Packaged,        // installed by the package manager, which brings updates
        UpdaterMissing,
        NoUpdate,        // the check answered anything but 2
        Cancelled,       // the user cancelled in the updater (3)
        Installing,      // the updater is installing: end the application
        TimedOut,        // a run took longer than its limit
    };

    struct Limits
    {
        int checkMs = 60 * 1000;
        int installMs = 30 * 60 * 1000;
    };

    // True when the platform reports a working network connection.
    static bool networkAvailable();
    // True when the application lives in a folder the package manager owns.
    static bool installedByPackageManager(const QString &applicationFolder);

    static QString updaterPath(const QString &applicationFolder);

    Outcome run(bool updateCheckAllowed, const QString &applicationFolder, Limits limits);
    Outcome run(bool updateCheckAllowed, const QString &applicationFolder) { return run(updateCheckAllowed, applicationFolder, Limits()); }

private:
    // Exit code of one run, or -1 when it could not start, crashed or timed out.
    int runUpdater(const QString &program, const QStringList &arguments, int limitMs, bool *timedOut);
};

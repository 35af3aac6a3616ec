#pragma once

#include "JobTypes.h"
#include "NetworkRoute.h"

#include <QObject>
#include <QString>

#include <optional>

class SettingsFile;

// "vidarro --get": one page address saved without a window, through the
// window's queue, engines and history; of a playlist, each entry chosen is
// a job of its own into the playlist's folder. Progress goes to standard
// error a few times a second, each saved file's path to standard output, a
// line each. SIGINT and SIGTERM cancel the jobs: their processes end and
// their partial files go.
class GetCommand : public QObject
{
    Q_OBJECT

public:
    // Interrupted: 128 + the signal's number, as shells report it.
    enum Exit : int { Saved = 0, Failed = 1, Usage = 2 };
    static constexpr int progressEveryMs = 250;

    struct Options
    {
        QString address;
        QString quality = QStringLiteral("best");   // best, a height in pixels, or audio
        QString folder;                              // empty: the window's folder for the kind
        // For this run instead of the settings': "200K" and the like, and a
        // proxy address ("none" and "system" too); empty: the settings'.
        QString limitRate = {};
        QString proxy = {};
        QString subs = {};                           // "en,de": subtitles of these languages
        bool subsBeside = false;                     // as .srt beside the file, else in it
        QString section = {};                        // "0:01-0:03": only that part
        QString items = {};                          // a playlist's entries, "1,3-5"; empty: all
    };

    struct Planned
    {
        std::optional<JobRequest> request;
        NetworkRoute route;
        QString error;   // why not, for the user
    };
    // The job as the window would make it for that address and quality:
    // named after its title in the folder. The address passes the same
    // checks as one handed to the window.
    static Planned plan(const Options &options, const SettingsFile &settings);
    // "45% 1.2MiB/s 00:12": what is known of it.
    static QString progressLine(const JobProgress &progress);

    explicit GetCommand(QObject *parent = nullptr);
    ~GetCommand() override;

    // Runs the job to its end in an event loop of its own; the exit code.
    // Needs a QCoreApplication.
    int run(const Options &options);

private:
    // The jobs of the address: one, or one per chosen entry of a playlist;
    // empty with a message when there is nothing to save.
    QList<JobRequest> jobsFor(const Options &options, const JobRequest &planned, const SettingsFile &settings,
                              QString &error);

    int m_signal = 0;   // the first SIGINT or SIGTERM received
};

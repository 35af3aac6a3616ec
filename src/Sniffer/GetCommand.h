#pragma once

#include "JobTypes.h"
#include "NetworkRoute.h"

#include <QObject>
#include <QString>

#include <optional>

class SettingsFile;

// "vidarro --get": one page address saved without a window, through the
// window's queue, engines and history. Progress goes to standard error a
// few times a second, the saved file's path to standard output. SIGINT and
// SIGTERM cancel the job: its processes end and its partial files go.
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
    int m_signal = 0;   // the first SIGINT or SIGTERM received
};

#include "GetCommand.h"

#include "CookieSource.h"
#include "Downloader.h"
#include "FinishSettings.h"
#include "HandoverChannel.h"
#include "JobFactory.h"
#include "JobKeeper.h"
#include "JobListModel.h"
#include "JobQueue.h"
#include "LogHandler.h"
#include "LogLine.h"
#include "MessageCatalogue.h"
#include "NetworkSettings.h"
#include "Platform.h"
#include "PlaylistJobs.h"
#include "PlaylistListing.h"
#include "SafeText.h"
#include "SettingsFile.h"
#include "TargetPath.h"
#include "ToolErrors.h"
#include "UrlCheck.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QHash>
#include <QSet>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

// Written by the signal handler, read by the event loop.
int signalPipe[2] = {-1, -1};

void onSignal(int number)
{
    const char byte = char(number);
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
}

void say(const QString &line)
{
    const QByteArray bytes = line.toLocal8Bit() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);
}

// Standard output and error are the command's own: messages go to the day's log alone.
void logToFile(QtMsgType type, const QMessageLogContext &, const QString &text)
{
    Platform::ensurePerUserFolder();
    const QByteArray path = QFile::encodeName(logFilePath(QDate::currentDate()));
    const int fd = ::open(path.constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    const QByteArray line = logFileLine(type, text);
    [[maybe_unused]] const ssize_t written = ::write(fd, line.constData(), size_t(line.size()));
    ::close(fd);
}

QString catalogueText(const SettingsFile &settings, int code, MessageKind kind)
{
    return MessageCatalogue::message(settings.settingsLists(), code, kind, {}).text;
}

// The finished file's choices of the command line and the settings; why
// they cannot be used, if so. Codes and times are checked before anything
// starts; a part past the end is found once the title run tells the length.
std::optional<QString> planFinish(const GetCommand::Options &options, const SettingsFile &settings,
                                  FinishChoices &finish)
{
    finish = FinishSettings::defaults(settings);
    finish.subtitles.clear();
    for (const QString &code : options.subs.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        if (!Finish::isSafeLanguage(code.trimmed()))
            return QStringLiteral("not a subtitle language code: \"%1\" (letters, digits, - and _)")
                .arg(SafeText::line(code.left(40)));
        finish.subtitles << code.trimmed();
    }
    if (options.subsBeside && finish.subtitles.isEmpty())
        return QStringLiteral("--subs-beside needs --subs");
    finish.subtitlesBeside = options.subsBeside;
    if (options.section.isEmpty())
        return std::nullopt;
    const qsizetype dash = options.section.indexOf(QLatin1Char('-'));
    const std::optional<int> from = Finish::parseClock(options.section.left(dash));
    const std::optional<int> to = dash < 0 ? std::nullopt : Finish::parseClock(options.section.mid(dash + 1));
    const QString problem = Finish::sectionProblem(from.value_or(-1), to.value_or(-1), -1);
    if (!problem.isEmpty())
        return QStringLiteral("--section %1: %2").arg(SafeText::line(options.section.left(40)), problem);
    finish.from = *from;
    finish.to = *to;
    return std::nullopt;
}

} // namespace

GetCommand::GetCommand(QObject *parent)
    : QObject(parent)
{
}

GetCommand::~GetCommand()
{
    for (int &fd : signalPipe) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
}

GetCommand::Planned GetCommand::plan(const Options &options, const SettingsFile &settings)
{
    Planned planned;
    const std::optional<QUrl> address = Handover::address(options.address, QUrl::TolerantMode);
    if (!address || !UrlCheck::hostAccepted(UrlCheck::encodedHost(*address), settings.list(QStringLiteral("os_urls")))) {
        planned.error = SafeText::address(options.address) + QStringLiteral(": ")
                        + catalogueText(settings, WindowError::BadAddress, MessageKind::Error);
        return planned;
    }
    JobRequest request;
    request.source = JobSource::Address;
    request.address = *address;
    request.name = SafeText::address(*address);
    if (!options.items.isEmpty() && !PlaylistJobs::parseRange(options.items)) {
        planned.error = QStringLiteral("unknown entries \"%1\": numbers and ranges such as 1,3-5").arg(options.items.left(40));
        return planned;
    }
    const QString quality = options.quality.trimmed().toLower();
    bool number = false;
    const int height = quality.toInt(&number, 10);
    if (quality == QLatin1String("best")) {
        request.selector = QStringLiteral("best");
    } else if (quality == QLatin1String("audio")) {
        request.kind = JobKind::Audio;
        request.selector = QStringLiteral("ba/b");
    } else if (number && height > 0 && height <= 10000) {
        request.selector = QStringLiteral("m") + QString::number(height);
    } else {
        planned.error = QStringLiteral("unknown quality \"%1\": best, a height such as 720, or audio")
                            .arg(options.quality.left(40));
        return planned;
    }
    const QString folder = !options.folder.isEmpty() ? options.folder
                           : settings.value(request.kind == JobKind::Audio ? QStringLiteral("savepath_audio")
                                                                          : QStringLiteral("savepath_video"));
    if (folder.isEmpty()) {
        planned.error = QStringLiteral("no folder to save in: the settings name none, give one with --folder");
        return planned;
    }
    request.folder = QDir(folder).absolutePath();
    if (const std::optional<QString> refused = planFinish(options, settings, request.finish)) {
        planned.error = *refused;
        return planned;
    }
    request.cookieSource = CookieSource::argument(settings.value(QStringLiteral("cookies_browser")),
                                                  settings.value(QStringLiteral("cookies_profile")));
    // The settings' route, unless this run names its own.
    planned.route = NetworkSettings::route(settings);
    if (!options.limitRate.isEmpty()) {
        const std::optional<qint64> rate = NetworkRoute::parseRate(options.limitRate);
        if (!rate) {
            planned.error = QStringLiteral("--limit-rate \"%1\": a rate such as 200K or 1.5M (bytes a second)")
                                .arg(options.limitRate.left(40));
            return planned;
        }
        planned.route.bytesPerSecond = *rate;
    }
    const QString proxy = options.proxy.trimmed();
    if (proxy == QLatin1String("none") || proxy == QLatin1String("system")) {
        planned.route.proxy = proxy == QLatin1String("none") ? NetworkRoute::Proxy::None : NetworkRoute::Proxy::System;
    } else if (!proxy.isEmpty()) {
        QString why;
        const std::optional<QUrl> through = NetworkRoute::parseProxy(proxy, &why);
        if (!through) {
            planned.error = QStringLiteral("--proxy %1: %2").arg(SafeText::address(proxy.left(200)), why);
            return planned;
        }
        planned.route.proxy = NetworkRoute::Proxy::Address;
        planned.route.address = *through;
    }
    planned.request = request;
    return planned;
}

QString GetCommand::progressLine(const JobProgress &progress)
{
    QStringList parts;
    if (progress.percent >= 0)
        parts << QString::number(progress.percent) + QLatin1Char('%');
    for (const QString &part : {JobListModel::rateText(progress), JobListModel::timeLeftText(progress)})
        if (!part.isEmpty())
            parts << part;
    return parts.join(QLatin1Char(' '));
}

QList<JobRequest> GetCommand::jobsFor(const Options &options, const JobRequest &planned, const SettingsFile &settings,
                                      QString &error)
{
    PlaylistListing listing;
    QList<PlaylistEntry> entries;
    bool ok = false;
    QString failure;
    QEventLoop wait;
    connect(&listing, &PlaylistListing::entriesArrived, &wait, [&](const QList<PlaylistEntry> &batch) { entries += batch; });
    connect(&listing, &PlaylistListing::singleFound, &wait, [&] { listing.stop(); wait.quit(); });
    connect(&listing, &PlaylistListing::finished, &wait, [&](bool well, const QString &line) {
        ok = well;
        failure = line;
        wait.quit();
    });
    listing.start(planned.address, planned.cookieSource);
    wait.exec();
    // A network (or proxy) that failed the listing would fail the save the
    // same way, after as long a wait: said now.
    if (!ok && entries.isEmpty() && ToolErrors::classify(failure) == ToolFailure::Network) {
        // The tool's own line under the message, as a failed save shows it.
        error = catalogueText(settings, Downloader::errorFor(ToolFailure::Network, Downloader::NetworkDown),
                              MessageKind::DownloaderError)
                + (failure.isEmpty() ? QString() : QLatin1Char('\n') + failure);
        return {};
    }
    // One item, or a listing that failed: the job tells what the address holds.
    if (!listing.isPlaylist() || (!ok && entries.isEmpty())) {
        if (!options.items.isEmpty()) {
            error = QStringLiteral("--items needs the address of a playlist, a channel or a feed");
            return {};
        }
        return {planned};
    }
    if (!listing.note().isEmpty())
        say(QStringLiteral("vidarro: ") + listing.note());
    if (!options.items.isEmpty()) {
        const QList<int> numbers = PlaylistJobs::parseRange(options.items).value_or(QList<int>());
        const QSet<int> wanted(numbers.cbegin(), numbers.cend());
        entries.removeIf([&wanted](const PlaylistEntry &entry) { return !wanted.contains(entry.number); });
    }
    if (entries.isEmpty()) {
        error = QStringLiteral("no entry of the playlist to save");
        return {};
    }
    const QString folder = PlaylistJobs::folder(planned.folder, listing.title());
    if (!TargetPath::ensureWritableFolder(planned.folder) || folder.isEmpty() || !TargetPath::ensureWritableFolder(folder)) {
        error = QStringLiteral("the folder %1 cannot be written to").arg(folder.isEmpty() ? planned.folder : folder);
        return {};
    }
    return PlaylistJobs::requests(entries, planned, folder, planned.address);
}

int GetCommand::run(const Options &options)
{
    qInstallMessageHandler(logToFile);
    LOG_DEBUG << "GetCommand" << ":" << "address" << ":" << SafeText::address(options.address);
    SettingsFile settings;
    if (settings.setSettingsFile())
        settings.readSettings();
    const Planned planned = plan(options, settings);
    if (!planned.request) {
        say(QStringLiteral("vidarro: ") + planned.error);
        return Usage;
    }

    NetworkRoute::setCurrent(planned.route);
    LOG_DEBUG << "GetCommand" << ":" << "proxy" << ":" << planned.route.shownProxy() << ":" << "rate limit"
              << planned.route.bytesPerSecond;

    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) == 0) {
        struct sigaction action = {};
        action.sa_handler = onSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        ::sigaction(SIGINT, &action, nullptr);
        ::sigaction(SIGTERM, &action, nullptr);
    }

    QString error;
    const QList<JobRequest> requests = jobsFor(options, *planned.request, settings, error);
    if (requests.isEmpty()) {
        say(QStringLiteral("vidarro: ") + error);
        return Failed;
    }

    JobQueue queue(&makeJob);
    JobKeeper keeper(&queue, Platform::perUserFolder());
    // Another program's unfinished jobs stay as they are: only this one runs.
    const QString said = keeper.open(false);
    if (!said.isEmpty())
        say(QStringLiteral("vidarro: ") + said);

    QEventLoop loop;
    QList<qint64> ids;
    QHash<qint64, JobResult> results;
    QElapsedTimer sinceShown;
    QString shown;
    connect(&queue, &JobQueue::rowChanged, &loop, [&](int row) {
        const JobRecord &record = queue.at(row);
        if (!ids.contains(record.id) || record.state != JobState::Running
            || (sinceShown.isValid() && sinceShown.elapsed() < progressEveryMs))
            return;
        const QString line = ids.size() > 1 ? QStringLiteral("[%1/%2] ").arg(ids.indexOf(record.id) + 1).arg(ids.size())
                                                  + progressLine(record.progress)
                                            : progressLine(record.progress);
        if (line.isEmpty() || line == shown)
            return;
        shown = line;
        sinceShown.start();
        say(line);
    });
    connect(&queue, &JobQueue::jobEnded, &loop, [&](qint64 ended, const JobResult &how) {
        if (!ids.contains(ended))
            return;
        results.insert(ended, how);
        if (results.size() == ids.size())
            loop.quit();
    });
    QSocketNotifier interrupts(signalPipe[0], QSocketNotifier::Read);
    interrupts.setEnabled(signalPipe[0] >= 0);
    connect(&interrupts, &QSocketNotifier::activated, &loop, [&] {
        char number = 0;
        while (::read(signalPipe[0], &number, 1) == 1) {
            LOG_DEBUG << "GetCommand" << ":" << "signal" << ":" << int(number);
            if (m_signal != 0) {
                // A second one: no more waiting for the job to end.
                loop.quit();
                return;
            }
            m_signal = number;
            for (const qint64 id : std::as_const(ids))
                queue.cancel(id);
        }
    });
    for (const JobRequest &request : requests)
        ids.append(queue.add(request));
    loop.exec();
    keeper.close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    int failures = 0;
    for (const qint64 id : std::as_const(ids)) {
        const JobResult result = results.value(id, JobResult::canceled());
        if (result.ok()) {
            const QByteArray path = QFile::encodeName(QDir::toNativeSeparators(result.file)) + '\n';
            std::fwrite(path.constData(), 1, size_t(path.size()), stdout);
            std::fflush(stdout);
            continue;
        }
        ++failures;
        if (m_signal != 0)
            continue;
        const QString name = ids.size() > 1 ? requests.at(ids.indexOf(id)).name + QStringLiteral(": ") : QString();
        if (result.state == JobState::Canceled) {
            say(QStringLiteral("vidarro: ") + name + QStringLiteral("the download was canceled"));
            continue;
        }
        say(QStringLiteral("vidarro: ") + name
            + (result.errorText.isEmpty() ? catalogueText(settings, result.errorCode, MessageKind::DownloaderError)
                                          : result.errorText));
        if (!result.toolLine.isEmpty())
            say(result.toolLine);
    }
    if (m_signal != 0) {
        say(ids.size() > 1 ? QStringLiteral("vidarro: interrupted; the downloads were canceled")
                           : QStringLiteral("vidarro: interrupted; the download was canceled"));
        return 128 + m_signal;
    }
    return failures == 0 ? Saved : Failed;
}

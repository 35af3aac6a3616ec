// Start-up of the application: from process start to the window shown, and
// the resident memory once it idles, against a bare Qt window in the same run;
// and the same start with 10,000 jobs in the download history against none.
//   bench_startup [ROUNDS]

#include "JobHistory.h"

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>

namespace {

struct Sample { double seconds = -1; long rssKb = -1; };

long residentKb(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

Sample measure(const QString &program, const QByteArray &shownMarker, const QProcessEnvironment &env)
{
    QProcess process;
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::MergedChannels);
    QElapsedTimer clock;
    clock.start();
    process.start(program, {});
    Sample sample;
    QByteArray seen;
    while (clock.elapsed() < 20000 && process.state() != QProcess::NotRunning) {
        process.waitForReadyRead(20);
        seen += process.readAll();
        if (seen.contains(shownMarker)) {
            sample.seconds = clock.nsecsElapsed() / 1e9;
            break;
        }
    }
    QThread::msleep(1500);
    sample.rssKb = residentKb(process.processId());
    process.kill();
    process.waitForFinished(5000);
    return sample;
}

// A history of `count` finished jobs (and a few unfinished, paused) in the folder.
void fillHistory(const QString &folder, int count)
{
    JobHistory history(folder);
    history.open();
    for (int i = 1; i <= count; ++i) {
        JobRecord record;
        record.state = i % 1000 == 0 ? JobState::Paused : JobState::Finished;
        record.request.name = QStringLiteral("A clip of some length, number %1").arg(i);
        record.request.address = QUrl(QStringLiteral("https://site%1.example/watch?v=%2").arg(i % 50).arg(i));
        record.request.target = QStringLiteral("/home/someone/Videos/clip %1.mp4").arg(i);
        record.result.file = record.request.target;
        record.result.size = 50'000'000;
        history.add(record);
    }
}

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? -1 : values.at(values.size() / 2);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? qMax(1, atoi(argv[1])) : 7;
    QTemporaryDir home;
    const QDate today = QDate::currentDate();
    QDir().mkpath(home.filePath("appdata/Vidarro"));
    QFile ini(home.filePath("appdata/Vidarro/sniffer.ini"));
    if (!ini.open(QIODevice::WriteOnly))
        return 1;
    // A later start of the day: no tool update in the measurement.
    ini.write("[General]\nlast_update=" + QByteArray::number(today.dayOfYear()) + "\nlast_update_year="
              + QByteArray::number(today.year()) + "\n");
    ini.close();

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", home.path());
    env.insert("APPDATA", home.filePath("appdata"));
    if (!env.contains("DISPLAY"))
        env.insert("QT_QPA_PLATFORM", "offscreen");

    // The same start, its history holding 10,000 jobs.
    QTemporaryDir full;
    QDir().mkpath(full.filePath("appdata/Vidarro"));
    QFile::copy(home.filePath("appdata/Vidarro/sniffer.ini"), full.filePath("appdata/Vidarro/sniffer.ini"));
    fillHistory(full.filePath("appdata/Vidarro"), 10000);
    QProcessEnvironment fullEnv = env;
    fullEnv.insert("HOME", full.path());
    fullEnv.insert("APPDATA", full.filePath("appdata"));

    const QString bench = QCoreApplication::applicationDirPath();
    QList<double> appTimes, bareTimes, fullTimes;
    long appRss = 0, bareRss = 0;
    for (int i = 0; i < rounds; ++i) {
        const Sample bare = measure(bench + "/bare_window", "shown", env);
        const Sample ours = measure(QStringLiteral(VIDARRO_BIN_DIR "/vidarro"), "showMainDialog : OK", env);
        if (bare.seconds < 0 || ours.seconds < 0) {
            std::fprintf(stderr, "a window did not show\n");
            return 1;
        }
        const Sample withJobs = measure(QStringLiteral(VIDARRO_BIN_DIR "/vidarro"), "showMainDialog : OK", fullEnv);
        if (withJobs.seconds < 0) {
            std::fprintf(stderr, "the window did not show with a full history\n");
            return 1;
        }
        fullTimes << withJobs.seconds;
        bareTimes << bare.seconds;
        appTimes << ours.seconds;
        appRss = std::max(appRss, ours.rssKb);
        bareRss = std::max(bareRss, bare.rssKb);
    }
    const double app_s = median(appTimes), bare_s = median(bareTimes);
    std::printf("start-up to window shown (median of %d): vidarro %.3f s, bare Qt window %.3f s, ratio %.2f (goal < 0.3 s)\n",
                rounds, app_s, bare_s, app_s / bare_s);
    const double full_s = median(fullTimes);
    std::printf("start-up with 10,000 jobs in the history: %.3f s, with none %.3f s, ratio %.2f (goal <= 1.2 and < 0.3 s)\n",
                full_s, app_s, full_s / app_s);
    std::printf("idle resident memory: vidarro %.1f MB, bare Qt window %.1f MB, ratio %.2f (goal < 40 MB)\n",
                appRss / 1024.0, bareRss / 1024.0, double(appRss) / double(bareRss));
    return 0;
}

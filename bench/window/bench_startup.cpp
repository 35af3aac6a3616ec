// Start-up of the application: from process start to the window shown, and
// the resident memory once it idles, against a bare Qt window in the same run.
//   bench_startup [ROUNDS]

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

    const QString bench = QCoreApplication::applicationDirPath();
    QList<double> appTimes, bareTimes;
    long appRss = 0, bareRss = 0;
    for (int i = 0; i < rounds; ++i) {
        const Sample bare = measure(bench + "/bare_window", "shown", env);
        const Sample ours = measure(QStringLiteral(VIDARRO_BIN_DIR "/vidarro"), "showMainDialog : OK", env);
        if (bare.seconds < 0 || ours.seconds < 0) {
            std::fprintf(stderr, "a window did not show\n");
            return 1;
        }
        bareTimes << bare.seconds;
        appTimes << ours.seconds;
        appRss = std::max(appRss, ours.rssKb);
        bareRss = std::max(bareRss, bare.rssKb);
    }
    const double app_s = median(appTimes), bare_s = median(bareTimes);
    std::printf("start-up to window shown (median of %d): vidarro %.3f s, bare Qt window %.3f s, ratio %.2f (goal < 0.3 s)\n",
                rounds, app_s, bare_s, app_s / bare_s);
    std::printf("idle resident memory: vidarro %.1f MB, bare Qt window %.1f MB, ratio %.2f (goal < 40 MB)\n",
                appRss / 1024.0, bareRss / 1024.0, double(appRss) / double(bareRss));
    return 0;
}

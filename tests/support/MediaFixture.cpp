#include "MediaFixture.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <algorithm>

namespace {

const QStringList lavfiVideo{"-f", "lavfi", "-i", "testsrc=size=320x240:rate=25:duration=2"};
const QStringList lavfiAudio{"-f", "lavfi", "-i", "sine=frequency=440:duration=2"};

} // namespace

MediaFixture::MediaFixture(const QString &host)
    : m_host(host)
{
}

MediaFixture::~MediaFixture()
{
    if (m_server.state() == QProcess::NotRunning)
        return;
    // Closing its input is the server's cue to leave.
    m_server.closeWriteChannel();
    if (!m_server.waitForFinished(3000)) {
        m_server.kill();
        m_server.waitForFinished(3000);
    }
}

QString MediaFixture::program(const QString &name)
{
    const QString system = QStandardPaths::findExecutable(name, {QStringLiteral("/usr/bin")});
    return system.isEmpty() ? QStandardPaths::findExecutable(name) : system;
}

QStringList MediaFixture::mediaNames()
{
    return {"clip.mp4", "clip.webm", "clip.mp3", "clip.flv"};
}

bool MediaFixture::start()
{
    if (!m_dir.isValid()) {
        m_error = QStringLiteral("no temporary folder");
        return false;
    }
    return makeMedia() && startServer();
}

QString MediaFixture::url(const QString &path) const
{
    return QStringLiteral("http://%1:%2/%3").arg(m_host).arg(m_port).arg(path);
}

QString MediaFixture::filePath(const QString &name) const
{
    return m_dir.filePath(name);
}

QByteArray MediaFixture::bytes(const QString &name) const
{
    QFile file(filePath(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool MediaFixture::addFile(const QString &name, const QByteArray &data)
{
    QFile file(filePath(name));
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

int MediaFixture::requests(const QString &methodAndPath) const
{
    const QList<QByteArray> lines = bytes(QStringLiteral("requests.log")).split('\n');
    return int(std::count(lines.cbegin(), lines.cend(), methodAndPath.toUtf8()));
}

bool MediaFixture::runFfmpeg(const QStringList &arguments)
{
    QProcess ffmpeg;
    ffmpeg.start(program("ffmpeg"), QStringList{"-nostdin", "-hide_banner", "-loglevel", "error", "-y"} + arguments);
    if (!ffmpeg.waitForFinished(60000) || ffmpeg.exitStatus() != QProcess::NormalExit || ffmpeg.exitCode() != 0) {
        m_error = QStringLiteral("ffmpeg failed: ") + QString::fromLocal8Bit(ffmpeg.readAllStandardError())
                  + ffmpeg.errorString();
        return false;
    }
    return true;
}

bool MediaFixture::makeMedia()
{
    const QStringList av = lavfiVideo + lavfiAudio;
    if (!runFfmpeg(av + QStringList{"-c:v", "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p", "-c:a", "aac",
                                    "-shortest", filePath("clip.mp4")})
        || !runFfmpeg(av + QStringList{"-c:v", "libvpx", "-deadline", "realtime", "-c:a", "libvorbis", "-shortest",
                                       filePath("clip.webm")})
        || !runFfmpeg(lavfiAudio + QStringList{"-c:a", "libmp3lame", "-b:a", "64k", filePath("clip.mp3")})
        || !runFfmpeg(av + QStringList{"-c:v", "flv1", "-c:a", "libmp3lame", "-ar", "44100", "-shortest",
                                       filePath("clip.flv")}))
        return false;
    const QString page = QStringLiteral("<!DOCTYPE html>\n<html><head><title>%1</title></head>\n"
                                        "<body><video src=\"/clip.mp4\" width=\"320\" height=\"240\" controls>"
                                        "</video></body></html>\n")
                             .arg(pageTitle());
    const QByteArray sources = "<!DOCTYPE html>\n<html><head><title>Two Sources</title></head>\n"
                               "<body><video controls><source src=\"/clip.webm\" type=\"video/webm\">"
                               "<source src=\"/clip.mp4\" type=\"video/mp4\"></video></body></html>\n";
    if (!addFile("page.html", page.toUtf8()) || !addFile("sources.html", sources)) {
        m_error = QStringLiteral("cannot write the pages");
        return false;
    }
    return true;
}

bool MediaFixture::startServer()
{
    const QString script = QStringLiteral(VIDARRO_TEST_SUPPORT_DIR "/media_server.py");
    m_server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_server.start(program("python3"), {script, m_dir.path(), m_host, QStringLiteral("0")});
    QByteArray line;
    while (!line.contains('\n') && m_server.waitForReadyRead(10000))
        line += m_server.readAllStandardOutput();
    if (!line.startsWith("PORT ")) {
        m_error = QStringLiteral("the media server did not start: ") + m_server.errorString();
        return false;
    }
    m_port = quint16(line.mid(5).trimmed().toUInt());
    return m_port != 0;
}

QStringList MediaFixture::streamCodecs(const QString &file)
{
    QProcess probe;
    probe.start(program("ffprobe"), {"-v", "error", "-show_entries", "stream=codec_name", "-of",
                                     "default=noprint_wrappers=1:nokey=1", file});
    if (!probe.waitForFinished(30000) || probe.exitCode() != 0)
        return {};
    return QString::fromUtf8(probe.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
}

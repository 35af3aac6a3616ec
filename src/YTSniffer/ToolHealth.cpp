#include "ToolHealth.h"

#include "SafeText.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

namespace {

bool isWord(const QString &text)
{
    static const QRegularExpression word(QStringLiteral("^[A-Za-z0-9._+~:-]{1,60}$"));
    return word.match(text).hasMatch();
}

bool isPath(const QString &text)
{
    if (text.isEmpty() || text.size() > 1024 || !text.startsWith(QLatin1Char('/')))
        return false;
    for (const QChar c : text) {
        if (c.category() == QChar::Other_Control)
            return false;
    }
    return true;
}

} // namespace

QString ToolHealth::text() const
{
    QStringList lines;
    if (toolVersion.isEmpty())
        lines << QStringLiteral("Downloader: not found");
    else
        lines << QStringLiteral("Downloader: yt-dlp %1, %2 %3")
                     .arg(toolVersion, ownCopy ? QStringLiteral("own copy in") : QStringLiteral("system copy"),
                          ownCopy ? QFileInfo(toolPath).absolutePath() : toolPath);
    if (updateTime.isEmpty())
        lines << QStringLiteral("Last update: none yet");
    else
        lines << QStringLiteral("Last update: %1, %2: %3")
                     .arg(updateTime, updateOk ? QStringLiteral("done") : QStringLiteral("failed"), updateResult);
    if (!runtime.isEmpty())
        lines << QStringLiteral("JavaScript runtime: %1").arg(runtime);
    else if (runtimeNone)
        lines << QStringLiteral("JavaScript runtime: none found (deno, or node 20 or later); "
                                "some formats of some sites may be missing");
    else if (runtimeUnused)
        lines << QStringLiteral("JavaScript runtime: not used by this yt-dlp version; update it");
    else
        lines << QStringLiteral("JavaScript runtime: unknown");
    if (runtimeUnverified)
        lines << QStringLiteral("JavaScript runtime update: not verified, nothing installed: %1").arg(runtimeFailure);
    else if (!runtimeFailure.isEmpty())
        lines << runtimeFailure;
    lines << QStringLiteral("ffmpeg: %1").arg(ffmpegVersion.isEmpty() ? QStringLiteral("not found") : ffmpegVersion);
    return lines.join(QLatin1Char('\n'));
}

void ToolHealth::readToolInfo(const QStringList &lines, const QString &ownFolder)
{
    for (const QString &line : lines) {
        const QStringList words = line.split(QLatin1Char(' '));
        if (words.size() >= 3 && words.at(0) == QLatin1String("tool") && isWord(words.at(1))) {
            const QString path = line.section(QLatin1Char(' '), 2);
            if (!isPath(path))
                continue;
            toolVersion = words.at(1);
            toolPath = path;
            ownCopy = !ownFolder.isEmpty() && QDir(ownFolder).filePath(QStringLiteral("yt-dlp")) == path;
        } else if (words.size() == 2 && words.at(0) == QLatin1String("js-runtime")) {
            runtimeNone = words.at(1) == QLatin1String("none");
            runtimeUnused = words.at(1) == QLatin1String("unsupported");
        } else if (words.size() >= 4 && words.at(0) == QLatin1String("js-runtime") && isWord(words.at(1))
                   && isWord(words.at(2)) && isPath(line.section(QLatin1Char(' '), 3))) {
            runtime = words.at(1) + QLatin1Char(' ') + words.at(2);
        }
    }
}

void ToolHealth::readFfmpeg(const QStringList &lines)
{
    if (lines.isEmpty())
        return;
    const QStringList words = lines.first().split(QLatin1Char(' '));
    if (words.size() >= 3 && words.at(0) == QLatin1String("ffmpeg") && words.at(1) == QLatin1String("version")
        && isWord(words.at(2)))
        ffmpegVersion = words.at(2);
}

void ToolHealth::readLastUpdate(const QByteArray &data)
{
    static const QRegularExpression form(
        QStringLiteral("^(\\d{4}-\\d\\d-\\d\\d)T(\\d\\d:\\d\\d):\\d\\dZ (\\d{1,3}) (.{1,300})$"));
    const QString text = QString::fromUtf8(data.left(2048));
    const QRegularExpressionMatch match = form.match(text.section(QLatin1Char('\n'), 0, 0));
    if (!match.hasMatch())
        return;
    updateTime = match.captured(1) + QLatin1Char(' ') + match.captured(2) + QStringLiteral(" UTC");
    updateOk = match.captured(3) == QLatin1String("0");
    // Masking may lengthen an address: the shown line keeps its bound.
    updateResult = SafeText::line(match.captured(4)).trimmed().left(300);
    const QRegularExpressionMatch deno = form.match(text.section(QLatin1Char('\n'), 1, 1));
    if (deno.hasMatch() && deno.captured(3) != QLatin1String("0")) {
        runtimeFailure = SafeText::line(deno.captured(4)).trimmed().left(300);
        // 2: an address or a redirect off https was refused, so nothing could vouch for the runtime.
        runtimeUnverified = deno.captured(3) == QLatin1String("2");
    }
}

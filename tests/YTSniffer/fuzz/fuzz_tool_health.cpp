// Feeds bytes to the health line's readers: the first byte picks the reader
// (launcher's --tool-info, ffmpeg -version, the update's last-update file),
// the rest is what that program or file said. Aborts when a result breaks
// its promise: printable single-line pieces, absolute paths, bounded texts.

#include "ToolHealth.h"

#include <QStringList>

#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace {

void require(bool promise)
{
    if (!promise)
        std::abort();
}

bool printable(const QString &text)
{
    return std::none_of(text.cbegin(), text.cend(), [](QChar c) { return c.category() == QChar::Other_Control; });
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const QByteArray input(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    const QStringList lines = QString::fromUtf8(input).split(QLatin1Char('\n'));
    ToolHealth health;
    switch (data[0] % 3) {
    case 0: health.readToolInfo(lines, QStringLiteral("/home/u/.local/share/Vidarro/tools")); break;
    case 1: health.readFfmpeg(lines); break;
    default: health.readLastUpdate(input); break;
    }
    for (const QString &piece : {health.toolVersion, health.toolPath, health.runtime, health.ffmpegVersion,
                                 health.updateTime, health.updateResult, health.runtimeFailure})
        require(printable(piece) && piece.size() <= 1024);
    require(health.toolPath.isEmpty() || health.toolPath.startsWith(QLatin1Char('/')));
    require(health.toolVersion.isEmpty() == health.toolPath.isEmpty());
    require(!health.text().isEmpty());
    return 0;
}

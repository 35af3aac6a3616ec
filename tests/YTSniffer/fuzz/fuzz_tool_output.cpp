// Feeds bytes to one parser of tool output, the way the driver reads them:
// the first byte says where the stream is cut into two reads, the rest is
// the output. Built once per parser (FUZZ_PARSER 1 title, 2 format listing,
// 3 progress, 4 update line, 5 subtitle languages and times, 6 a playlist's
// listing); aborts when a result breaks its promise.

#include "FinishChoices.h"
#include "LineBuffer.h"
#include "PartsProgress.h"
#include "PlaylistOutput.h"
#include "ToolErrors.h"
#include "ToolOutput.h"

#include <QSet>

#include <QtGlobal>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>

namespace {

void quiet(QtMsgType, const QMessageLogContext &, const QString &) {}

void require(bool promise)
{
    if (!promise)
        std::abort();
}

[[maybe_unused]] bool printable(const QString &text)
{
    return std::none_of(text.cbegin(), text.cend(), [](QChar c) { return c.category() == QChar::Other_Control; });
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    qInstallMessageHandler(quiet);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 1)
        return 0;
    const QByteArrayView output(data + 1, qsizetype(size - 1));
    const qsizetype cut = qMin<qsizetype>(data[0] * 4, output.size());
    LineBuffer buffer(ToolOutput::maxLineLength);
    QStringList lines = buffer.feed(output.first(cut));
    lines += buffer.feed(output.sliced(cut));
    lines += buffer.finish();
    for (const QString &line : std::as_const(lines))
        require(line.size() <= ToolOutput::maxLineLength && !line.contains(QLatin1Char('\n')));

#if FUZZ_PARSER == 1
    const TitleInfo info = ToolOutput::parseTitle(lines);
    require(info.title.size() <= 60 && info.duration.size() <= 32 && printable(info.duration));
    // The cut may end on a blank, never start on one.
    require(!info.title.startsWith(QLatin1Char(' ')));
    for (const QChar c : info.title)
        require(!ToolOutput::isNameBreaker(c));
#elif FUZZ_PARSER == 2
    static const QMap<QString, QString> qualities = ToolOutput::audioQualityTable();
    const FormatListing listing = ToolOutput::parseFormats(lines, qualities);
    require(listing.formats.size() <= ToolOutput::maxFormats && listing.leftOut >= 0);
    QSet<QString> codes;
    for (const FormatInfo &f : listing.formats) {
        require(ToolOutput::isSafeCode(f.code) && !codes.contains(f.code));
        codes.insert(f.code);
        require(f.extension.isEmpty() || ToolOutput::isSafeExtension(f.extension));
        require(f.description == QLatin1String("N/A") || f.description == QLatin1String("video + audio")
                || qualities.value(f.code) == f.description);
    }
#elif FUZZ_PARSER == 3
    if (const std::optional<ToolProgress> value = ToolOutput::lastProgress(lines)) {
        require(!std::isnan(value->percent) && value->percent >= 0.0f && value->percent <= 100.0f);
        require(value->speed.size() <= 16 && value->eta.size() <= 16 && printable(value->speed) && printable(value->eta));
    }
    const QString error = ToolErrors::lastErrorLine(lines);
    require(error.size() <= ToolErrors::maxDetail && (error.isEmpty() || error.startsWith(QLatin1String("ERROR:"))));
    require(error.isEmpty() || int(ToolErrors::classify(error)) >= 0);
    // The bar of a merge never runs back and stays in its range.
    PartsProgress whole(1 + data[0] % 3);
    float before = 0;
    for (const QString &line : lines) {
        if (const std::optional<ToolProgress> step = ToolOutput::progressWithAmounts(line)) {
            require(step->percent >= 0.0f && step->percent <= 100.0f && step->done.value_or(0) <= quint64(1e18)
                    && step->total.value_or(0) <= quint64(1e18) && step->part.size() <= 16 && printable(step->part));
            const float figure = whole.overall(*step).percent;
            require(figure >= before && figure <= 100.0f);
            before = figure;
        }
    }
#elif FUZZ_PARSER == 4
    if (const std::optional<ToolUpdate> update = ToolOutput::parseUpdate(lines)) {
        for (const QString *word : {&update->tool, &update->version, &update->previous}) {
            require(word->size() <= 40 && printable(*word) && !word->contains(QLatin1Char(' ')));
        }
        require(!update->tool.isEmpty() && !update->version.isEmpty() && update->updated == !update->previous.isEmpty());
    }
#elif FUZZ_PARSER == 5
    const QList<SubtitleInfo> subtitles = Finish::parseSubtitles(lines);
    require(subtitles.size() <= Finish::maxSubtitles);
    QSet<QString> seen;
    bool captions = false;
    for (const SubtitleInfo &s : subtitles) {
        // A code names a file beside the saved one and stands on a command line.
        require(Finish::isSafeLanguage(s.code) && !s.code.contains(QLatin1Char('/')) && !s.code.contains(QLatin1String(".."))
                && !s.code.startsWith(QLatin1Char('-')));
        require(s.name.size() <= 64 && printable(s.name) && (s.automatic || !captions));
        captions = s.automatic;
        const QString key = s.code + (s.automatic ? QLatin1String("+") : QLatin1String(""));
        require(!seen.contains(key));
        seen.insert(key);
    }
    for (const QString &line : lines) {
        if (const std::optional<int> seconds = Finish::parseClock(line))
            require(*seconds >= 0 && *seconds < 100 * 3600 && Finish::parseClock(Finish::clockText(*seconds)) == seconds);
    }
#elif FUZZ_PARSER == 6
    for (const QString &line : std::as_const(lines)) {
        const ListingLine parsed = PlaylistOutput::parseLine(line);
        const PlaylistEntry &entry = parsed.entry;
        require(parsed.title.size() <= 2 * PlaylistOutput::maxTitle && printable(parsed.title) && parsed.count >= 0
                && parsed.count <= PlaylistOutput::maxNumber);
        if (parsed.kind != ListingLine::Kind::Entry)
            continue;
        require(entry.number >= 1 && entry.number <= PlaylistOutput::maxNumber && !entry.address.host().isEmpty()
                && (entry.address.scheme() == QLatin1String("http") || entry.address.scheme() == QLatin1String("https")));
        require(entry.title.size() <= 2 * PlaylistOutput::maxTitle && printable(entry.title) && printable(entry.id)
                && printable(entry.site) && entry.length.size() <= 10);
    }
#else
#error "FUZZ_PARSER names the parser: 1 to 6"
#endif
    return 0;
}

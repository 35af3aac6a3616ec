// The parsers of tool output, fed bytes the way the driver reads them.

#include "FinishChoices.h"
#include "LineBuffer.h"
#include "PartsProgress.h"
#include "ToolErrors.h"
#include "ToolOutput.h"

#include <QtTest>

using namespace ToolOutput;

namespace {

// Lines as the driver gets them, here from reads of 7 bytes.
QStringList linesOf(const QByteArray &output)
{
    LineBuffer buffer(maxLineLength);
    QStringList lines;
    for (qsizetype at = 0; at < output.size(); at += 7)
        lines += buffer.feed(QByteArrayView(output).sliced(at, qMin<qsizetype>(7, output.size() - at)));
    return lines + buffer.finish();
}

// One parser's reading of the output as text: lines joined by "|"; title
// "title|duration"; progress "figure|speed|time left" or ""; saved the
// file named; formats "code:ext:resolution:best:description;..." (a summary
// when long); error "cause|detail", cause the same of the last line (as the
// driver reads a run without an "ERROR:" line); update
// "tool|version|previous|updated"; subtitles "label=code;..."; clock the
// seconds of each line ("-" for none); section the refusal of "FROM TO
// LENGTH" in seconds, "" when it fits.
QString reading(const QString &parser, const QByteArray &output)
{
    const QStringList lines = linesOf(output);
    if (parser == "lines")
        return lines.join('|');
    if (parser == "title")
        return parseTitle(lines).title + '|' + parseTitle(lines).duration;
    if (parser == "progress") {
        const std::optional<ToolProgress> value = lastProgress(lines);
        return value ? QString::number(value->percent) + '|' + value->speed + '|' + value->eta : QString();
    }
    if (parser == "parts") {
        PartsProgress whole(lines.value(0).toInt());
        QStringList figures;
        for (const QString &line : lines.mid(1)) {
            const ToolProgress p = whole.overall(progressWithAmounts(line).value_or(ToolProgress{}));
            figures << QString::number(p.percent) + (p.done ? QString(" %1/%2").arg(*p.done).arg(p.total.value_or(0)) : "");
        }
        return figures.join(',');
    }
    if (parser == "saved")
        return savedFile(lines);
    if (parser == "error" || parser == "cause") {
        const QString line = parser == "error" ? ToolErrors::lastErrorLine(lines) : lines.value(lines.size() - 1);
        return QString::number(int(ToolErrors::classify(line))) + '|'
               + (line.size() == ToolErrors::maxDetail ? QStringLiteral("cut") : line.mid(7, 9));
    }
    if (parser == "amounts") {
        const std::optional<ToolProgress> p = progressWithAmounts(lines.value(0));
        const auto number = [](std::optional<quint64> n) { return n ? QString::number(*n) : QString("-"); };
        return p ? QString("%1 %2/%3").arg(p->percent).arg(number(p->done), number(p->total)) : QString();
    }
    if (parser == "formats") {
        QStringList got;
        const FormatListing listing = parseFormats(lines, audioQualityTable());
        const QList<FormatInfo> &formats = listing.formats;
        if (formats.size() > 31)
            return QString("%1 from %2 to %3, %4 left out, best %5")
                .arg(formats.size()).arg(formats.first().code, formats.last().code).arg(listing.leftOut)
                .arg(formats.first().best ? 1 : 0);
        for (const FormatInfo &f : formats)
            got << QStringList{f.code, f.extension, f.resolution, f.best ? "1" : "0", f.description}.join(':');
        return got.join(';');
    }
    if (parser == "subtitles") {
        QStringList got;
        for (const SubtitleInfo &subtitle : Finish::parseSubtitles(lines))
            got << Finish::label(subtitle) + '=' + subtitle.code;
        return got.join(';');
    }
    if (parser == "clock") {
        QStringList got;
        for (const QString &line : lines)
            got << (Finish::parseClock(line) ? QString::number(*Finish::parseClock(line)) : QString("-"));
        return got.join('|');
    }
    if (parser == "section") {
        const QStringList n = lines.value(0).split(' ');
        return Finish::sectionProblem(n.value(0).toInt(), n.value(1).toInt(), n.value(2).toInt());
    }
    const std::optional<ToolUpdate> u = parseUpdate(lines);
    return u ? QStringList{u->tool, u->version, u->previous, u->updated ? "1" : "0"}.join('|') : QString();
}

} // namespace

class tst_ToolOutput : public QObject
{
    Q_OBJECT

private slots:
    void parsers_data()
    {
        QTest::addColumn<QString>("parser");
        QTest::addColumn<QByteArray>("output");
        QTest::addColumn<QString>("expected");
        auto row = [](const char *parser, const char *name, const QByteArray &output, const QString &expected) {
            QTest::addRow("%s: %s", parser, name) << QString(parser) << output << expected;
        };
        const QByteArray zeroByte("Before\0After\n1:00", 18);
        row("lines", "empty pieces kept", "a\n\nb", "a||b");
        row("lines", "line ends", "a\r\nb\rc\n\r\nd", "a|b|c||d");
        row("lines", "invalid utf8", "\xff\n\xc3(", QString(QChar::ReplacementCharacter) + '|' + QChar::ReplacementCharacter + '(');
        row("lines", "longest kept", QByteArray(maxLineLength, 'x'), QString(maxLineLength, 'x'));
        row("lines", "longer dropped whole", "a\n" + QByteArray(maxLineLength + 1, 'x') + "\nb", "a|b");
        row("lines", "no line end", QByteArray(100000, 'x'), "");
        row("lines", "zero byte kept", QByteArray("a\0b", 3), QString("a") + QChar(0) + 'b');

        row("title", "typical", "Some Title: Part 2!\n3:05\n", "Some Title Part 2!|3:05");
        row("title", "nothing", "", "default|0:00");
        row("title", "cut to 30", "An Extremely Long Title Of A Video That Goes On\n4:13", "An Extremely Long Title Of A V|4:13");
        // The cut comes after trimming: a blank at position 30 stays.
        row("title", "blank kept by cut", QByteArray(29, 'c') + " d", QString(29, 'c') + " |0:00");
        row("title", "breakers only", "/\\:*?\"<>|\n1:00", "|1:00");
        row("title", "japanese", "\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e\xe3\x81\xae\xe3\x83\x93\xe3\x83\x87\xe3\x82\xaa",
            QString::fromUtf8("日本語のビデオ|0:00"));
        row("title", "cyrillic and arabic", "\xd0\x92\xd0\xb8\xd0\xb4\xd0\xb5\xd0\xbe \xd9\x81\xd9\x8a\xd8\xaf\xd9\x8a\xd9\x88",
            QString::fromUtf8("Видео فيديو|0:00"));
        row("title", "not utf8", "Caf\xe9 \xff\xfe au lait\n9:99", "Caf au lait|9:99");
        row("title", "white space runs", "  a \t\t b  ", "a b|0:00");
        row("title", "non-breaking space", "a\xc2\xa0\xc2\xa0" "b", "a b|0:00");
        row("title", "emoji", "x\xf0\x9f\x98\x80y", QString::fromUtf8("x😀y|0:00"));
        // Thirty code points: the emoji at the end stays whole.
        row("title", "emoji at the cut", QByteArray(29, 'a') + "\xf0\x9f\x98\x80" "b",
            QString(29, 'a') + QString::fromUtf8("😀|0:00"));
        row("title", "escape codes", "\x1b[31mRed\x1b[0m\n1:00", "[31mRed [0m|1:00");
        row("title", "zero byte", zeroByte, "Before After|1:00");
        row("title", "duration, control characters", "T\n\x1b]0;4:13\x07\n", "T|]0;4:13");
        row("title", "duration, cut", "T\n" + QByteArray(40, '9'), "T|" + QString(32, '9'));

        row("progress", "typical", "[download]  45.3% of 1.00MiB", "45.3||");
        row("progress", "padded", "  [download]   7.0%  \n", "7||");
        row("progress", "no per cent", "[download] Destination: x.mp4", "");
        row("progress", "not a number", "]abc%", "");
        row("progress", "huge", "]1e9%", "100||");
        row("progress", "negative", "] -5%", "0||");
        row("progress", "infinite", "]inf%", "100||");
        row("progress", "nan", "]nan%", "");
        row("progress", "comma decimal", "] 45,3%", "");
        // A "%" before the "]" gives a negative length: the rest after "]".
        row("progress", "per cent before bracket", "50% ] 20", "20||");
        // The first line: how many parts the tool fetches; the tool's figure
        // falls within a part too, as fragments are counted.
        row("parts", "video then audio", "2\n]10% part v\n]100% part v\n]100% part a\n]0% part a\n]50% part a",
            "9,90,100,100,100");
        row("parts", "figure falls within a part", "2\n]50% part v\n]8% part v\n]100% part v\n]0% part a\n]50% part a",
            "45,45,90,90,95");
        row("parts", "one part never runs back", "1\n]60%\n]5%\n]70%", "60,60,70");
        row("parts", "more parts than said", "2\n]100% part a\n]0% part b\n]50% part c", "90,90,95");
        row("parts", "amounts add up", "2\n]50% 50/100 part v\n]100% 100/100 part v\n]50% 5/10 part a",
            "45 50/100,90 100/100,95 105/110");
        row("progress", "last line wins", "[download]  10.0%\n[download]  20.0%", "20||");
        row("progress", "last with a figure", "[download]  30.0%\n[download] Destination: y", "30||");
        row("amounts", "typical", "[download]  45.3% 123456/272522", "45.3 123456/272522");
        row("amounts", "total unknown", "[download]  50.0% 36284/NA", "50 36284/-");
        row("amounts", "no amounts", "[download]  12.0%", "12 -/-");
        row("amounts", "negative", "[download]  1% -5/10", "1 -/10");
        row("amounts", "huge", "[download]  1% 1e30/1e31", "1 -/-");
        row("amounts", "no figure", "[download] 123/456", "");
        row("progress", "zero byte", QByteArray("[download] 3\0 9%", 16), "");
        row("progress", "invalid utf8", "\xff\xfe] 33.3%\xc3", "33.3||");

        row("progress", "speed and time left", "[download]  45.3% at  1.20MiB/s ETA 00:12", "45.3|1.20MiB/s|00:12");
        row("progress", "unknown speed", "[download]  45.3% at Unknown B/s ETA Unknown", "45.3||");
        row("progress", "time not known", "[download] 100.0% at 7.89MiB/s ETA NA", "100|7.89MiB/s|");
        row("progress", "speed too long or odd", "] 5% at " + QByteArray(17, '9') + " ETA 0\x01:1", "5||");

        row("saved", "last one", "[download] 5%\n[saved] /a/b.mp4\n[saved] /a/c b.webm\n", "/a/c b.webm");
        row("saved", "none", "/a/b.mp4\n [saved] /x", "");

        // Lines as the tool words them: cause (ToolFailure) and the start of the line kept.
        const QByteArray report = "; please report this issue on  https://github.com/yt-dlp/yt-dlp/issues?q= , filling out "
                                  "the appropriate issue template. Confirm you are on the latest version using  yt-dlp -U";
        row("error", "404", "ERROR: [generic] Unable to download webpage: HTTP Error 404: Not Found" + report, "2|[generic]");
        row("error", "403", "ERROR: unable to download video data: HTTP Error 403: Forbidden", "1|unable to");
        row("error", "429", "ERROR: [youtube] x: HTTP Error 429: Too Many Requests", "3|[youtube]");
        row("error", "unsupported", "ERROR: Unsupported URL: http://127.0.0.1:9/page.html", "4|Unsupport");
        row("error", "private", "ERROR: [youtube] x: Private video. Sign in if you've been granted access", "5|[youtube]");
        row("error", "blocked", "ERROR: [vimeo] x: The uploader has not made this video available in your country", "5|[vimeo] x");
        row("error", "bot check", "ERROR: [youtube] x: Sign in to confirm you\xe2\x80\x99re not a bot. Use --cookies-from-browser", "6|[youtube]");
        row("error", "format", "ERROR: [generic] x: Requested format is not available. Use --list-formats for a list", "7|[generic]");
        row("error", "javascript", "ERROR: [youtube] x: No supported JavaScript runtime could be found", "8|[youtube]");
        row("error", "old tool", "ERROR: [youtube] x: Unable to extract yt initial data" + report, "9|[youtube]");
        row("error", "name lookup", "ERROR: [generic] Unable to download webpage: <urlopen error [Errno -2] Name or service not known>", "10|[generic]");
        row("error", "time-out", "ERROR: [generic] Unable to download webpage: The read operation timed out", "10|[generic]");
        row("error", "disk full", "ERROR: unable to write data: [Errno 28] No space left on device", "11|unable to");
        row("error", "no ffmpeg", "ERROR: You have requested merging of multiple formats but ffmpeg is not installed", "12|You have ");
        row("error", "no cookies", "ERROR: could not find chromium cookies database in \"/home/u/.config/chromium\"",
            "13|could not");
        row("error", "unknown", "ERROR: something new", "0|something");
        // Older tools end these with a traceback, its exception line the cause.
        row("cause", "no cookies, traceback", "Traceback (most recent call last):\n  File \"/usr/bin/yt-dlp\", line 8\n"
            "FileNotFoundError: could not find firefox cookies database in /home/u/.mozilla/firefox", "13|FoundErro");
        row("cause", "dotted exception", "urllib.error.URLError: <urlopen error [Errno 111] Connection refused>", "10|error.URL");
        row("cause", "no exception name", "could not find chromium cookies database", "0|ot find c");
        row("error", "last error line counts", "ERROR: HTTP Error 404\nERROR: Unsupported URL: x\nWARNING: HTTP Error 403", "4|Unsupport");
        row("error", "warnings only", "WARNING: HTTP Error 403\nerror: HTTP Error 403", "0|");
        row("error", "long line bounded", "ERROR: HTTP Error 429 " + QByteArray(3000, 'x'), "3|cut");

        row("formats", "described listing",
            "format code extension resolution note\n18 mp4 640x360 (best)\n137 mp4 1920x1080 DASH video",
            "18:mp4:640x360:1:AAC 96 KBps");
        row("formats", "tool messages skipped", "[info] Available formats\n5 flv 400x240", "5:flv:400x240:0:MP3 64 KBps");
        row("formats", "same code twice", "22 mp4 1280x720\n22 webm 1x1 (best)", "22:webm:1x1:1:AAC 192 KBps");
        row("formats", "unsafe codes", "a/b mp4 1x1\n" + QByteArray(65, 'c') + " mp4 1x1\n" + QByteArray(64, 'c') + " mp4 1x1",
            QString(64, 'c') + ":mp4:1x1:0:N/A");
        row("formats", "merged rows", "m720 mp4 1280x720 (best) merged\nm360 mkv 640x360 merged\n950 mp4 1280x720 DASH video",
            "m720:mp4:1280x720:1:video + audio;m360:mkv:640x360:0:video + audio");
        row("formats", "best in fifth column", "18 mp4 640x360 medium (best)", "18:mp4:640x360:0:AAC 96 KBps");
        row("formats", "leading blanks", "5 flv x\n  43 webm 640x360", "5:flv:x:0:MP3 64 KBps");
        row("formats", "short line", "36", "36:::0:AAC 36 KBps");
        row("formats", "word codes", "mp4 mp4 unknown\nmpeg mp3 audio-only (best)", "mpeg:mp3:audio-only:1:N/A;mp4:mp4:unknown:0:N/A");
        row("formats", "header word is whole", "formats 1 2", "formats:1:2:0:N/A");
        row("formats", "blank lines", "5 flv a\n\n   \n\t\n6 flv b", "5:flv:a:0:MP3 64 KBps;6:flv:b:0:MP3 64 KBps");
        row("formats", "dash is case-sensitive", "17 3gp 176x144 dash", "17:3gp:176x144:0:AAC 24 KBps");
        row("formats", "tab separated", "34\tflv\t640x360\t(best)", "34:flv:640x360:1:AAC 128 KBps");
        row("formats", "bracket anywhere", "18 mp4 640x360 [x]", "");
        row("formats", "extension leading out", "18 mp4/../../../../x 1x1\n22 / 1x1", "18::1x1:0:AAC 96 KBps;22::1x1:0:AAC 192 KBps");
        row("formats", "extension lengths", "5 abcdefghij a\n6 abcdefghijk b\n13 MP4 c", "5:abcdefghij:a:0:MP3 64 KBps;6::b:0:MP3 64 KBps;13:MP4:c:0:AAC N/A");
        row("formats", "extension not ascii", "18 mp\xef\xbc\x94 1x1", "18::1x1:0:AAC 96 KBps");
        QByteArray many;
        for (int code = 1; code <= 300; ++code)
            many += QByteArray::number(code) + " mp4 1x1" + (code == 300 ? " (best)\n" : "\n");
        row("formats", "200 kept, the best first", many, "200 from 300 to 199, 100 left out, best 1");
        row("formats", "two ordered", "format code\n1 mp4 unknown (best)\n0 webm unknown",
            "1:mp4:unknown:1:N/A;0:webm:unknown:0:N/A");
        row("formats", "qualities", "5\n18\n43\n998", "5:::0:MP3 64 KBps;18:::0:AAC 96 KBps;43:::0:Vorbis 128 KBps;998:::0:N/A");

        row("subtitles", "own, then captions", "[captions] de German\n[subtitles] en\n[subtitles] pt-BR Português (Brasil)\n"
            "18 mp4 640x360\n[captions] en", "English=en;Português (Brasil)=pt-BR;German (automatic)=de;English (automatic)=en");
        row("subtitles", "codes leading out or reading as options", "[subtitles] ../../x X\n[subtitles] en/../../y Y\n"
            "[subtitles] -exec Z\n[captions] .. W\n[subtitles] a\\b\n[subtitles] fr French", "French=fr");
        row("subtitles", "names made one line", "[subtitles] xx A\x1b\x7f\xe2\x80\xae" "B " + QByteArray(100, 'n'),
            "A B " + QString(60, 'n') + "=xx");
        row("subtitles", "each code once, longest code", "[subtitles] en\n[subtitles] en Again\n[subtitles] " + QByteArray(33, 'a')
            + "\n[subtitles] " + QByteArray(32, 'b'), "English=en;" + QString(32, 'b') + '=' + QString(32, 'b'));
        row("subtitles", "none", "[subtitles]\n[subtitles] \nsubtitles en", "");
        row("clock", "forms", "0:01\n1:02:03\n90\n 0:00:05 \n99:59:59", "1|3723|90|5|359999");
        row("clock", "not clocks", "1:60\n1:60:00\n-1\n1.5\n1:2:3:4\n\n100:00:00\nabc", "-|-|-|-|-|-|-|-");
        row("section", "inside", "1 3 6", "");
        row("section", "length unknown", "1 3 -1", "");
        row("section", "past the end", "1 9 6", "The video is 0:06 long: a part up to 0:09 goes past its end.");
        row("section", "To before From", "3 1 6", "To (0:01) must come after From (0:03).");
        row("section", "empty part", "3 3 6", "To (0:03) must come after From (0:03).");
        row("section", "no time", "-1 3 6", "From and To are times such as 0:01:30.");

        row("update", "up to date", "yt-dlp 2023.03.04 is up to date\n", "yt-dlp|2023.03.04||0");
        row("update", "updated", "Updating\nyt-dlp 2023.01.01 was updated to 2023.03.04", "yt-dlp|2023.03.04|2023.01.01|1");
        row("update", "last line counts", "yt-dlp 1 is up to date\nThe update failed", "");
        row("update", "blank lines after", "yt-dlp 1 is up to date\n\n  \n", "yt-dlp|1||0");
        row("update", "older wording", "yt-dlp is now 2023.03.04", "");
        row("update", "version too long", "yt-dlp " + QByteArray(41, '1') + " is up to date", "");
        row("update", "control character", "yt-dlp 1\x1b[2J is up to date", "");
    }
    void parsers()
    {
        QFETCH(QString, parser);
        QFETCH(QByteArray, output);
        QFETCH(QString, expected);
        QCOMPARE(reading(parser, output), expected);
    }
};

QTEST_GUILESS_MAIN(tst_ToolOutput)
#include "tst_tooloutput.moc"

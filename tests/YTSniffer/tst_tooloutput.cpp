#include "ToolOutput.h"

#include <QtTest>

using namespace ToolOutput;

class tst_ToolOutput : public QObject
{
    Q_OBJECT

private slots:
    void cleanTitle_data()
    {
        QTest::addColumn<QString>("raw");
        QTest::addColumn<QString>("cleaned");
        QTest::newRow("empty") << "" << "";
        QTest::newRow("typical") << "Some Title: Part 2!" << "Some Title Part 2";
        QTest::newRow("parentheses kept") << "Live (2019) [HD]" << "Live (2019) HD";
        QTest::newRow("hyphen replaced") << "a-b_c.d" << "a b c d";
        QTest::newRow("accents replaced") << QString::fromUtf8("Café Ünïcode") << "Caf n code";
        QTest::newRow("only replaced") << "!!! ??? ---" << "";
        QTest::newRow("white space runs") << "  a \t\t b\n\nc  " << "a b c";
        QTest::newRow("non-breaking space") << QString::fromUtf8("a\u00a0\u00a0b") << "a b";
        QTest::newRow("emoji") << QString::fromUtf8("x\U0001F600y") << "x y";
        QTest::newRow("exactly 30") << QString(30, 'a') << QString(30, 'a');
        QTest::newRow("cut to 30") << QString(40, 'b') << QString(30, 'b');
        // The cut comes after trimming: a blank at position 30 stays.
        QTest::newRow("blank kept by cut") << QString(29, 'c') + " d" << QString(29, 'c') + " ";
        QTest::newRow("zero byte") << QString("a") + QChar(0) + "b" << "a b";
    }
    void cleanTitle()
    {
        QFETCH(QString, raw);
        QFETCH(QString, cleaned);
        QCOMPARE(ToolOutput::cleanTitle(raw), cleaned);
    }

    void progress_data()
    {
        QTest::addColumn<QByteArray>("chunk");
        QTest::addColumn<float>("value");
        QTest::newRow("typical") << QByteArray("[download]  45.3% of 1.00MiB") << 45.3f;
        QTest::newRow("padded") << QByteArray("  [download]   7.0%  \n") << 7.0f;
        QTest::newRow("no per cent") << QByteArray("[download] Destination: x.mp4") << 0.0f;
        QTest::newRow("no bracket") << QByteArray("12.5% done") << 12.5f;
        QTest::newRow("empty") << QByteArray() << 0.0f;
        QTest::newRow("not a number") << QByteArray("]abc%") << 0.0f;
        QTest::newRow("huge") << QByteArray("]1e9%") << 100.0f;
        QTest::newRow("just over") << QByteArray("] 100.5%") << 100.0f;
        QTest::newRow("negative") << QByteArray("] -5%") << 0.0f;
        QTest::newRow("infinite") << QByteArray("]inf%") << 100.0f;
        QTest::newRow("nan") << QByteArray("]nan%") << 0.0f;
        QTest::newRow("comma decimal") << QByteArray("] 45,3%") << 0.0f;
        // A "%" before the "]" gives a negative length: the rest after "]".
        QTest::newRow("per cent before bracket") << QByteArray("50% ] 20") << 20.0f;
        QTest::newRow("first line wins") << QByteArray("[download]  10.0%\n[download]  20.0%") << 10.0f;
        QTest::newRow("zero byte cuts") << QByteArray("[download] 3", 12) + QByteArray("\0 9%", 4) << 3.0f;
        QTest::newRow("invalid utf8") << QByteArray("\xff\xfe] 33.3%\xc3") << 33.3f;
        QTest::newRow("hundred") << QByteArray("[download] 100.0%") << 100.0f;
    }
    void progress()
    {
        QFETCH(QByteArray, chunk);
        QFETCH(float, value);
        const float got = progressFromChunk(chunk);
        QVERIFY(got >= 0.0f && got <= 100.0f);
        QCOMPARE(got, value);
    }

    void chunkLines_data()
    {
        QTest::addColumn<QByteArray>("chunk");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("two lines") << QByteArray("Title\n3:05\n") << QStringList{"Title", "3:05"};
        QTest::newRow("empty pieces kept") << QByteArray("a\n\nb") << QStringList{"a", "", "b"};
        QTest::newRow("blank chunk") << QByteArray(" \n ") << QStringList{""};
        QTest::newRow("zero byte") << QByteArray("a\nb\0c\nd", 7) << QStringList{"a", "b"};
        QTest::newRow("carriage return stays") << QByteArray("a\r\nb") << QStringList{"a\r", "b"};
        QTest::newRow("invalid utf8") << QByteArray("\xff\n\xc3(") << QStringList{QString(QChar::ReplacementCharacter),
                                                                                QString(QChar::ReplacementCharacter) + "("};
    }
    void chunkLines()
    {
        QFETCH(QByteArray, chunk);
        QFETCH(QStringList, lines);
        QCOMPARE(ToolOutput::chunkLines(chunk), lines);
    }

    void longLineIsCut()
    {
        const QStringList lines = ToolOutput::chunkLines(QByteArray(100000, 'x'));
        QCOMPARE(lines.size(), 1);
        QCOMPARE(lines.first().size(), maxLineLength);
    }

    void appendBoundedKeepsTheFirstLines()
    {
        QStringList output{"a"};
        QCOMPARE(appendBounded(output, {"b", "c", "d"}, 3), 1);
        QCOMPARE(output, (QStringList{"a", "b", "c"}));
        QCOMPARE(appendBounded(output, {"e"}, 3), 1);
        QCOMPARE(output.size(), 3);
        QCOMPARE(appendBounded(output, {}, 3), 0);
    }

    void audioQualities()
    {
        const QMap<int, QString> table = audioQualityTable();
        QCOMPARE(table.size(), 30);
        QCOMPARE(table.value(5), "MP3 64 KBps");
        QCOMPARE(table.value(13), "AAC N/A");
        QCOMPARE(table.value(151), "AAC 24 KBps");
        QCOMPARE(table.value(18), "AAC 96 KBps");
        QCOMPARE(table.value(120), "AAC 128 KBps");
        QCOMPARE(table.value(85), "AAC 192 KBps");
        QCOMPARE(table.value(96), "AAC 256 KBps");
        QCOMPARE(table.value(44), "Vorbis 128 KBps");
        QCOMPARE(table.value(102), "Vorbis 192 KBps");
        QVERIFY(!table.contains(999));
    }

    void formats_data()
    {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QString>("expected"); // code:ext:resolution:best:description;...
        QTest::newRow("described listing")
            << QStringList{"format code extension resolution note", "18 mp4 640x360 (best)",
                           "137 mp4 1920x1080 DASH video"}
            << "18:mp4:640x360:1:AAC 96 KBps";
        QTest::newRow("tool messages skipped")
            << QStringList{"[info] Available formats", "5 flv 400x240"} << "5:flv:400x240:0:MP3 64 KBps";
        QTest::newRow("same code twice") << QStringList{"22 mp4 1280x720", "22 webm 1x1 (best)"}
                                         << "22:webm:1x1:1:AAC 192 KBps";
        QTest::newRow("word code") << QStringList{"hls-720 mp4 1280x720"} << "0:mp4:1280x720:0:N/A";
        QTest::newRow("unknown code") << QStringList{"999 mp4 1x1"} << "999:mp4:1x1:0:N/A";
        QTest::newRow("best in fifth column") << QStringList{"18 mp4 640x360 medium (best)"}
                                              << "18:mp4:640x360:0:AAC 96 KBps";
        QTest::newRow("leading blanks") << QStringList{"  43 webm 640x360"} << "0:43:webm:0:N/A";
        QTest::newRow("short line") << QStringList{"36"} << "36:::0:AAC 36 KBps";
        QTest::newRow("word codes share 0")
            << QStringList{"mp4 mp4 unknown", "mpeg mp3 audio-only (best)"} << "0:mp3:audio-only:1:N/A";
        QTest::newRow("header only") << QStringList{"format code extension resolution note"} << "";
        QTest::newRow("blank lines are no formats") << QStringList{"", "   ", "\t"} << "";
        QTest::newRow("dash is case-sensitive") << QStringList{"17 3gp 176x144 dash"} << "17:3gp:176x144:0:AAC 24 KBps";
        QTest::newRow("tab separated") << QStringList{"34\tflv\t640x360\t(best)"} << "34:flv:640x360:1:AAC 128 KBps";
        QTest::newRow("bracket anywhere") << QStringList{"18 mp4 640x360 [x]"} << "";
        QTest::newRow("two formats ordered")
            << QStringList{"format code  extension  resolution note", "1 mp4 unknown (best)", "0 webm unknown"}
            << "0:webm:unknown:0:N/A;1:mp4:unknown:1:N/A";
    }
    void formats()
    {
        QFETCH(QStringList, lines);
        QFETCH(QString, expected);
        const QMap<int, FormatInfo> formats = parseFormats(lines, audioQualityTable());
        QStringList got;
        for (const FormatInfo &f : formats)
            got << QStringList{QString::number(f.code), f.extension, f.resolution, f.best ? "1" : "0", f.description}
                       .join(':');
        QCOMPARE(got.join(';'), expected);
        for (auto it = formats.cbegin(); it != formats.cend(); ++it)
            QCOMPARE(it.key(), it.value().code);
    }

    void formatLinePiecesKeepsEmptyFirstPiece()
    {
        QCOMPARE(formatLinePieces(" 18 mp4"), (QStringList{"", "18", "mp4"}));
        QCOMPARE(formatLinePieces("format code"), QStringList());
        QCOMPARE(formatLinePieces("formats 1 2"), (QStringList{"formats", "1", "2"}));
    }
};

QTEST_GUILESS_MAIN(tst_ToolOutput)
#include "tst_tooloutput.moc"

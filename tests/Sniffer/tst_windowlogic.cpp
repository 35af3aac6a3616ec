#include "AddressWorkflow.h"
#include "BrowserCapture.h"
#include "BrowserSession.h"
#include "BusyText.h"
#include "MessageCatalogue.h"
#include "PageLayout.h"
#include "Platform.h"
#include "PlaylistJobs.h"
#include "ReportQueue.h"
#include "SaveName.h"
#include "SettingsFile.h"
#include "SniffedItems.h"
#include "TargetPath.h"
#include "UrlCheck.h"
#include "MediaFixture.h"
#include "TestFiles.h"
#include "TestThreads.h"

#include <QDir>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

using Flow = AddressWorkflow;

// The decisions of the window that need no screen, and its settings file.
class tst_WindowLogic : public QObject
{
    Q_OBJECT

private:
    QScopedPointer<QTemporaryDir> m_app, m_user;
    QString userFile() const { return m_user->filePath("Vidarro/sniffer.ini"); }

    // One event of the address workflow and what the window does about it.
    static QString step(Flow &flow, const QString &event)
    {
        if (event == "yt" || event == "os")
            flow.openAddressPage(event == "yt" ? Flow::Sites::VideoSites : Flow::Sites::OtherSites);
        if (event == "yt" || event == "os" || event == "list")
            return flow.hostList() + ':' + QString::number(flow.hostError());
        if (event == "title" || event == "formats" || event == "listed")
            return flow.answer(event == "title" ? Flow::Answer::Title : event == "formats" ? Flow::Answer::Formats
                                                                                          : Flow::Answer::Listing)
                       ? "open" : "wait";
        if (event == "run-error" || event == "error")
            return flow.reportError(event == "run-error") ? "show" : "drop";
        if (event == "file")
            return flow.downloadKind() == Flow::Kind::Audio ? "extract" : "done";
        if (event == "saved")
            return flow.sniffedKind() == Flow::Kind::Audio ? "extract" : "-";
        if (event == "done")
            return flow.finishDownload() ? "page5" : "page2";
        if (event == "accept")
            flow.addressAccepted();
        else if (event == "playlist")
            flow.playlistFound();
        else if (event == "cancel")
            flow.cancel();
        else if (event.startsWith("sniffed-"))
            flow.startSniffedSave(event == "sniffed-video" ? Flow::Kind::Video : Flow::Kind::Audio);
        else
            flow.startDownload(event == "video" ? Flow::Kind::Video : Flow::Kind::Audio);
        return "-";
    }

    // A browser's stream as its row sees it: "address|type|length|listed at any size".
    static QString browserRow(const char *url, const char *contentType, qint64 length, const char *range = "")
    {
        BrowserStream stream;
        stream.url = url;
        stream.contentType = contentType;
        stream.contentLength = length;
        stream.contentRange = range;
        const MediaReport report = BrowserCapture::report(stream);
        return QStringList{QString::fromUtf8(report.url), QString::fromLatin1(report.contentType),
                           QString::fromLatin1(report.contentLength), BrowserCapture::listedAtAnySize(stream) ? "any" : "sized"}
            .join('|');
    }

private slots:
    void init()
    {
        m_app.reset(new QTemporaryDir);
        m_user.reset(new QTemporaryDir);
        Platform::setApplicationFolder(m_app->path());
        qputenv("APPDATA", m_user->path().toUtf8());
    }

    void addressWorkflow_data()
    {
        QTest::addColumn<QString>("events");
        QTest::addColumn<QString>("reactions");
        QTest::newRow("no list bound") << "list" << ":0";
        QTest::newRow("each button its list") << "yt os" << "yt_urls:2 os_urls:1";
        QTest::newRow("page on the last answer") << "accept listed title formats" << "- wait wait open";
        QTest::newRow("either order") << "accept formats title listed" << "- wait wait open";
        QTest::newRow("a new address waits anew") << "accept listed title formats accept title" << "- wait wait open - wait";
        QTest::newRow("a playlist waits for its listing alone")
            << "accept title playlist listed formats run-error" << "- wait - open wait drop";
        QTest::newRow("the pair fails once") << "accept run-error run-error title" << "- show drop wait";
        QTest::newRow("cancel silences late answers") << "accept cancel title formats run-error" << "- - wait wait drop";
        QTest::newRow("other errors always show") << "accept listed title formats error error" << "- wait wait open show show";
        QTest::newRow("video") << "video file done" << "- done page2";
        QTest::newRow("audio is extracted") << "audio file done" << "- extract page2";
        QTest::newRow("sniffed audio back to its page once") << "sniffed-audio saved done done" << "- extract page5 page2";
        QTest::newRow("sniffed video ends at the save") << "sniffed-video saved" << "- -";
        QTest::newRow("a failed extraction keeps the way back")
            << "sniffed-audio saved error video file done" << "- extract show - done page5";
    }

    void addressWorkflow()
    {
        QFETCH(QString, events);
        Flow flow;
        QStringList seen;
        for (const QString &event : events.split(' '))
            seen << step(flow, event);
        QTEST(seen.join(' '), "reactions");
    }

    void catalogue_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("code");
        QTest::addColumn<QStringList>("place");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("box");
        const QStringList at{"P.cpp", "42", "op", ""};
        const QString detail = "<br><br><hr><div style=\"font-size:10px\"><i><b>error #";
        const QString end = "</b><br>in 'op' : P.cpp<br>comment: </i></div>";
        QTest::newRow("separator alone") << 1 << 2 << at << "Address" << detail + "2:42" + end;
        QTest::newRow("two separators, no comment") << 1 << 3 << at.mid(0, 3) << "Address"
                                                    << "a" + detail + "3:42" + QString(end).replace(": <", ": ---<");
        QTest::newRow("bare text, no place") << 1 << 4 << QStringList{} << "Error"
                                             << "Indefinite Error" + detail + "4:?</b><br>in '?' : ?<br>comment: ---</i></div>";
        QTest::newRow("missing code, comments") << 1 << 77 << at.mid(0, 3) + QStringList{"a", "<b>"} << "Error"
            << "Indefinite Error" + detail + "77:42</b><br>in 'op' : P.cpp<br>comment: <ul><li>a</li><li>&lt;b&gt;</li></ul></i></div>";
        QTest::newRow("markup is text, no such title") << 1 << 6 << at << "Error" << "&lt;b&gt; &amp;" + detail + "6:42" + end;
        QTest::newRow("warning") << 0 << 1 << at << "Tool" << "Careful";
        QTest::newRow("empty warning") << 0 << 2 << at << "Tool" << "Indefinite Error";
    }

    void catalogue()
    {
        QFETCH(int, kind);
        QFETCH(int, code);
        QFETCH(QStringList, place);
        SettingsLists lists;
        lists["error_titles"] = {{0, "Error"}, {3, "Address"}, {4, "Tool"}};
        lists["error_messages"] = {{1, "3~Bad"}, {2, "3~"}, {3, "3~a~b"}, {4, "bare text"}, {6, "7~<b> &"}};
        lists["warning_messages"] = {{1, "4~Careful"}, {2, "4~"}};
        const CatalogueMessage shown = MessageCatalogue::message(lists, code, MessageKind(kind), place);
        QTEST(shown.title, "title");
        QTEST(shown.boxText, "box");
        QCOMPARE(shown.richText, kind != 0);
        lists["error_messages"][1] = "0~" + QString(1'000'000, 'x');
        QVERIFY(MessageCatalogue::message(lists, 1, MessageKind::Error, place).boxText.size() < 2400);
    }

    void sniffedStreams()
    {
        SniffedItems items;
        const QTime at(12, 30, 5);
        for (const char *small : {"99999\r\n", "", "junk"})
            QCOMPARE(items.add("http://a/1", "GET", small, "mp4\r\n", at), SniffedItems::TooSmall);
        QCOMPARE(items.add("http://a/1", "GET", "100000\r\n", "mp4\r\n", at), SniffedItems::Added);
        QCOMPARE(items.add("http://a/1", "GET", "200000", "mp4", at), SniffedItems::Duplicate);
        QCOMPARE(items.add("http://a/2", "GET", "100000", "mp4", at), SniffedItems::Duplicate);
        QCOMPARE(items.add("http://a/3", "GET", " 3000000000 ", "x-flv\r\n", at), SniffedItems::Added);
        QCOMPARE(SniffedItems::rowText(items.at(0)), QString("1. 12:30:05           mp4           0.10 MB"));
        QCOMPARE(SniffedItems::rowText(items.at(1)), QString("2. 12:30:05           flv           2861.02 MB"));
        QCOMPARE(SniffedItems::cleanType("\r\nMP3"), QString("\r\nMP3"));
        QCOMPARE(SniffedItems::cleanType("mp4;charset=UTF-8\r\n"), QString("mp4"));
        for (int i = 3; i <= 26; ++i)
            items.add(QString("http://www.youtube.com/%1").arg(i), {}, QString::number(100000 + i), "mp4", at);
        QCOMPARE(items.count(), 25);
        QCOMPARE(items.at(0).number, 2);
        QCOMPARE(items.indexOfNumber(26), 24);
        QVERIFY(items.at(24).videoSite && !items.at(0).videoSite);
        // Manifests of unknown size are told apart by address alone.
        QCOMPARE(items.add("https://b.example/1.m3u8", "GET", "", "m3u8", at, true), SniffedItems::Added);
        QCOMPARE(items.add("https://b.example/2.m3u8", "GET", "", "m3u8", at, true), SniffedItems::Added);
        QCOMPARE(items.add("https://b.example/2.m3u8", "GET", "", "m3u8", at, true), SniffedItems::Duplicate);
    }

    // Names and texts from plain inputs; typed names lose only what no file may
    // hold and are cut at a whole character to 200 bytes of UTF-8.
    void texts_data()
    {
        QTest::addColumn<QString>("actual");
        QTest::addColumn<QString>("expected");
        const auto row = [](const QByteArray &name, const QString &actual, const QString &expected) {
            QTest::newRow(name.constData()) << actual << expected;
        };
        const auto saved = [](const QString &selected, const char *type, const char *filter = "") {
            return SaveName::savePath(selected, type, filter);
        };
        row("save: other suffix stays in the name", saved("/d/clip.mp4", "flv"), "/d/clipmp4.flv");
        row("save: colon inside, ampersand kept", saved("/d/a:b&c.mp4", "mp4"), "/d/a.b&c.mp4");
        row("save: at the ends they go", saved("/d/*clip:.mp4", "mp4"), "/d/clip.mp4");
        row("save: other scripts", saved("/d/日本語のビデオ Größe.mp4", "mp4"), "/d/日本語のビデオ Größe.mp4");
        row("save: runs of blanks", saved("/d/my   clip.mp4", "mp4"), "/d/my.clip.mp4");
        row("save: nothing left", saved("/d/?*?.mp4", "mp4"), "/d/untitled.mp4");
        row("save: filter extension", saved("/d/clip.mp4", "mp4", "Audio (*.mp3)"), "/d/clip.mp4.mp3");
        row("save: plain filter", saved("/d/clip", "mp4", "mp3"), "/d/clip.mp4");
        row("save: type with parameters", saved("/d/clip.mp4", "mp4;charset=UTF-8"), "/d/clip.mp4");
        row("save: type a path", saved("/d/clip.flv", "../../x"), "/d/clipflv.mp4");
        row("save: filter a path", saved("/d/clip.mp4", "mp4", "x (*./../y)"), "/d/clip.mp4");
        const QString sun = "日", face = "😀";
        row("typed: emoji", TargetPath::cleanName("🎬 clip 😀"), "🎬 clip 😀");
        row("typed: breakers", TargetPath::cleanName("a/b\\c:d*e?f\"g<h>i|j"), "a b c d e f g h i j");
        row("typed: control characters, blanks kept", TargetPath::cleanName(" a\tb\nc  d "), "a b c  d");
        row("typed: only breakers", TargetPath::cleanName("//??"), "");
        row("typed: 300 ideographs", TargetPath::cleanName(sun.repeated(300)), sun.repeated(66));
        row("typed: two bytes at the cut", TargetPath::cleanName(QString(199, 'a') + "é"), QString(199, 'a'));
        row("typed: emoji at the cut", TargetPath::cleanName(QString(198, 'a') + face), QString(198, 'a'));
        row("typed: emoji within", TargetPath::cleanName(QString(196, 'a') + face + "b"), QString(196, 'a') + face);
        row("typed: lone surrogate", TargetPath::cleanName(QString("a") + QChar(0xd800)), "a");
        for (const char *plain : {"mp4", "M4A", "3gp", "abcdefghij"})
            row(QByteArray("extension ") + plain, TargetPath::safeExtension(plain, "bin"), plain);
        for (const char *hostile : {"", "/", "mp4/../../../../x", "mp4;charset=UTF-8", "abcdefghijk", "mp 4", "mp4\n", "é"}) {
            const QByteArray name = "hostile extension '" + QByteArray(hostile).toPercentEncoding() + "'";
            row(name, TargetPath::safeExtension(hostile, "bin"), "bin");
        }
        // A playlist's untrusted listing lines, ranges and names.
        const auto range = [](const char *text) {
            const auto numbers = PlaylistJobs::parseRange(text);
            QStringList shown;
            for (const int n : numbers.value_or(QList<int>()))
                shown << QString::number(n);
            return numbers ? shown.join(' ') : QString("refused");
        };
        row("range: typical", range("1-3, 5,2"), "1 2 3 5");
        for (const char *bad : {"", "0", "3-1", "1,,2", "1-", "x", "1-100001", "-5"})
            row(QByteArray("range: refused '") + bad + "'", range(bad), "refused");
        const auto line = [](const QString &text) {
            const ListingLine parsed = PlaylistOutput::parseLine(text);
            const PlaylistEntry &e = parsed.entry;
            return QStringList{QString::number(int(parsed.kind)), parsed.title.left(20), QString::number(parsed.count),
                               QString::number(e.number), e.title.left(20) + '/' + QString::number(e.title.size()), e.length,
                               e.address.toString()}.join('|');
        };
        const QString entry = R"({"kind": "entry", "number": %1, "title": "%2", "length": "%3", "address": "%4"})";
        row("listing: entry", line(entry.arg(2).arg("Song \u00e9").arg("1:02:03").arg("https://a.example/2.mp3")),
            "2||0|2|Song é/6|1:02:03|https://a.example/2.mp3");
        row("listing: no title, odd length", line(entry.arg(1).arg("").arg("99").arg("http://a/1")), "2||0|1|/0|0:00|http://a/1");
        row("listing: 5,000 characters", line(entry.arg(3).arg(QString(5000, 'w')).arg("0:01").arg("http://a/3")),
            "2||0|3|wwwwwwwwwwwwwwwwwwww/300|0:01|http://a/3");
        row("listing: a path as title", line(entry.arg(4).arg("../../x\\n").arg("0:01").arg("http://a/4")),
            "2||0|4|../../x/7|0:01|http://a/4");
        for (const char *address : {"file:///etc/passwd", "javascript:x", "", "http://"})
            row(QByteArray("listing: refused address ") + address, line(entry.arg(5).arg("t").arg("0:01").arg(address)), "0||0|0|/0||");
        row("listing: no number", line(entry.arg(0).arg("t").arg("0:01").arg("http://a/0")), "0||0|0|/0||");
        row("listing: playlist", line(R"({"kind": "playlist", "title": "Feed\u0007 ", "count": 100000})"), "1|Feed|100000|0|/0||");
        row("listing: note", line(R"({"kind": "note", "text": "first 10000", "count": 100000, "listed": 10000})"),
            "3|first 10000|100000|0|/0||");
        row("listing: single", line(R"({"kind": "single"})"), "4||0|0|/0||");
        for (const char *broken : {"", "{", "[1]", R"({"kind": 5})", R"({"kind": "entry")"})
            row(QByteArray("listing: unreadable ") + broken, line(broken), "0||0|0|/0||");
        const QTemporaryDir base;
        row("folder: a path as title", PlaylistJobs::folder(base.path(), "../../x"), base.filePath("x"));
        row("folder: dots only", PlaylistJobs::folder(base.path(), " .. "), base.filePath("Playlist"));
        QList<PlaylistEntry> batch;
        for (const char *title : {"A", "A", "", "../../x", "A.b", "A.b", ".hidden"})
            batch.append({int(batch.size()) + 1, title, "0:00", QUrl("http://a/"), {}, {}});
        QStringList targets;
        for (const JobRequest &request : PlaylistJobs::requests(batch, {}, base.path(), {}))
            targets << QFileInfo(request.target).fileName();
        row("batch: names of their own", targets.join('|'), "A.mp4|A (2).mp4|Entry 3.mp4|x.mp4|A (3).b.mp4|A (4).b.mp4|hidden.mp4");
        row("busy: both", BusyText::progressFormat("1.20MiB/s", "00:12"), "%p%  ·  1.20MiB/s  ·  00:12 left");
        row("busy: speed only", BusyText::progressFormat("7.89MiB/s", ""), "%p%  ·  7.89MiB/s");
        row("busy: neither", BusyText::progressFormat("", ""), "%p%");
        row("busy: place holders dropped", BusyText::progressFormat("%v", "%m%"), "%p%  ·  v  ·  m left");
        row("completion", BusyText::completion("/d/e/Größe.mp4"), "Download complete\n\nGröße.mp4\nin /d/e");
        row("browser: partial", browserRow("https://a.example/clip.webm", "video/webm; codecs=vp9", 1000, "bytes 0-999/5000000"),
            "https://a.example/clip.webm|webm|5000000|sized");
        row("browser: generic", browserRow("https://a.example/x.MP4", "application/octet-stream", 300000),
            "https://a.example/x.MP4|mp4|300000|sized");
    }

    void texts()
    {
        QFETCH(QString, actual);
        QTEST(actual, "expected");
    }

    // No file of the folder may begin with the stem and a ".".
    void freeStems_data()
    {
        QTest::addColumn<QStringList>("present");
        QTest::addColumn<QString>("stem");
        QTest::newRow("empty folder") << QStringList{} << "clip";
        QTest::newRow("any extension") << QStringList{"clip.webm"} << "clip (2)";
        QTest::newRow("a part") << QStringList{"clip.f1.mp4.part", "clip (2).mp3"} << "clip (3)";
        QTest::newRow("other names") << QStringList{"clips.mp4", "clip", "clip-x.mp4"} << "clip (2)";
        QTest::newRow("a longer name") << QStringList{"clip (2).mp4"} << "clip";
    }

    void freeStems()
    {
        QFETCH(QStringList, present);
        QFETCH(QString, stem);
        QTemporaryDir folder;
        for (const QString &name : present)
            writeFile(folder.filePath(name), {});
        QCOMPARE(TargetPath::freeStem(folder.path(), "clip"), folder.filePath(stem));
    }

    void theFinalPathLiesInsideTheFolder()
    {
        const QString folder = m_user->filePath("chosen");
        QVERIFY(QDir().mkpath(folder + "/sub"));
        QVERIFY(QFile::link(m_app->path(), folder + "/out"));
        QVERIFY(QFile::link(m_app->filePath("x.mp4"), folder + "/dangling.mp4"));
        const QList<QPair<QString, bool>> names{{"a.mp4", true},   {"sub/a.mp4", true},     {"../a.mp4", false},
                                                {"sub/../../a", false}, {"out/a.mp4", false}, {"dangling.mp4", false},
                                                {"..", false},      {"", false}};
        for (const auto &[name, inside] : names)
            QVERIFY2(TargetPath::insideFolder(folder, folder + '/' + name) == inside, qPrintable(name));
        QCOMPARE(TargetPath::freePath(folder + "/dangling", "mp4"), folder + "/dangling (2).mp4");
    }

    void boundsQueueAndNames()
    {
        // A flood of reports from four threads is bounded.
        ReportQueue queue(100);
        QVERIFY(runOnThreads(4, [&queue](int t) {
            for (int i = 0; i < 5000; ++i)
                queue.push({QByteArray::number(t * 100000 + i), "h", "1", "mp4"});
        }));
        QCOMPARE(queue.size(), 100);
        QCOMPARE(queue.takeDropped(), quint64(20000 - 100));
        QVERIFY(queue.take() && queue.push({"same", "", "", ""}) && !queue.push({"same", "", "", ""}));
        // Downloads never take an existing name, nor one the tool is writing.
        const QString base = m_user->filePath("clip");
        writeFile(base + ".mp4", "x");
        writeFile(base + " (2).mp4.part", "x");
        QCOMPARE(TargetPath::freePath(base, "mp4"), base + " (3).mp4");
        QVERIFY(TargetPath::ensureWritableFolder(m_user->filePath("new/deeper")));
        QVERIFY(!TargetPath::ensureWritableFolder(""));
    }

    void firstStartCopiesTheTemplate()
    {
        writeFile(Platform::settingsTemplatePath(), "[error_titles]\n3=\"Title three\"\n[yt_urls]\n7=first\n07=second\n"
                                                    "[help]\nabc=not a number\n");
        SettingsFile first;
        first.setToday(QDate(2026, 2, 1));
        QCOMPARE(first.setSettingsFile(), false);
        QCOMPARE(first.settingsPath(), QDir::toNativeSeparators(userFile()));
        // The INI reader lists "07" before "7"; a key that is no number is 0.
        QCOMPARE(first.list("yt_urls"), (SettingsList{{7, "first"}}));
        QCOMPARE(first.list("help"), (SettingsList{{0, "not a number"}}));
        QCOMPARE(first.value("last_update"), QString("33"));
        const QString root = QDir::toNativeSeparators(QDir::homePath() + "/Documents/Vidarro/");
        QCOMPARE(first.value("savepath_video") + first.value("savepath_audio"), root + "Video" + root + "Audio");
        QVERIFY(QFileInfo(first.value("savepath_audio")).isDir());
        SettingsFile later;
        QCOMPARE(later.setSettingsFile(), true);
        later.readSettings();
        QCOMPARE(later.settingsLists(), first.settingsLists());
        // The template stays for the machine's other users.
        qputenv("APPDATA", m_app->path().toUtf8());
        SettingsFile second;
        QCOMPARE(second.setSettingsFile(), false);
        QCOMPARE(second.list("error_titles").value(3), QString("Title three"));
        // A folder that cannot be made keeps the lists in memory.
        qputenv("APPDATA", (userFile() + "/below").toUtf8());
        SettingsFile unwritable;
        QCOMPARE(unwritable.setSettingsFile(), false);
        QCOMPARE(unwritable.list("error_titles").value(3), QString("Title three"));
        QVERIFY(!unwritable.store("savepath_video", "/tmp"));
        // A newer template brings its new messages; the user's texts and host lists stay.
        writeFile(Platform::settingsTemplatePath(), "[error_titles]\n3=\"Changed\"\n4=\"New\"\n[yt_urls]\n8=added\n");
        qputenv("APPDATA", m_user->path().toUtf8());
        SettingsFile upgraded;
        QCOMPARE(upgraded.setSettingsFile(), true);
        upgraded.readSettings();
        QCOMPARE(upgraded.list("error_titles"), (SettingsList{{3, "Title three"}, {4, "New"}}));
        QCOMPARE(upgraded.list("yt_urls"), first.list("yt_urls"));
    }

    // A user's file as found beside the template (or none): what is read, and
    // a file that cannot be read kept aside; all for this user alone.
    void aFoundFileIsReadOrKeptAside_data()
    {
        QTest::addColumn<QByteArray>("templ"); // none when null
        QTest::addColumn<QByteArray>("file");  // none when null
        QTest::addColumn<bool>("found");
        QTest::addColumn<QString>("list");
        QTest::addColumn<QString>("read");     // "key=text;..." of that list
        QTest::addColumn<QString>("aside");    // suffix of the copy kept beside
        QTest::addColumn<QString>("lastUpdate"); // "-": not this row's concern
        const QByteArray junk = MediaFixture::pattern(4096);
        const QByteArray urls = "[os_urls]\n1=from.template\n", head = "[os_urls]\n1=from.file\n; ";
        const auto sized = [&](qint64 size) -> QByteArray { return head + QByteArray(size - head.size() - 1, 'x') + '\n'; };
        const auto row = [](const char *name, const QByteArray &templ, const QByteArray &file, bool found, const char *list,
                            const char *read, const QString &aside, const char *lastUpdate) {
            QTest::newRow(name) << templ << file << found << QString(list) << QString(read) << aside << QString(lastUpdate);
        };
        row("no template", {}, {}, false, "os_urls", "", "", "366");
        row("an empty file: no first-start work", {}, "", true, "os_urls", "", "", "");
        row("binary junk", {}, junk, true, "yt_urls", "", ".bak", "-");
        row("keys without numbers", {}, "[os_urls]\nx=1\ny=2\n[[[\n=\n", true, "yt_urls", "", ".bak", "-");
        // Texts of codes newer than the user's file come from the template.
        row("newer codes", "[error_messages_dl]\n1=\"2~Template one\"\n20=\"2~Template twenty\"\n",
            "[error_messages_dl]\n1=\"2~Mine\"\n", true, "error_messages_dl", "1=2~Mine;20=2~Template twenty", "", "-");
        row("4 MB", urls, sized(SettingsFile::maxFileSize), true, "os_urls", "1=from.file", "", "-");
        row("4 MB and a byte", urls, sized(SettingsFile::maxFileSize + 1), false, "os_urls", "1=from.template",
            SettingsFile::tooLargeSuffix(), "-");
    }

    void aFoundFileIsReadOrKeptAside()
    {
        QFETCH(QByteArray, templ);
        QFETCH(QByteArray, file);
        QFETCH(QString, list);
        QFETCH(QString, aside);
        QFETCH(QString, lastUpdate);
        if (!templ.isNull())
            writeFile(Platform::settingsTemplatePath(), templ);
        QDir().mkpath(m_user->filePath("Vidarro"));
        if (!file.isNull())
            writeFile(userFile(), file);
        if (aside == SettingsFile::tooLargeSuffix())
            QTest::ignoreMessage(QtCriticalMsg, QRegularExpression("settings file over 4 MB, not read"));
        SettingsFile settings;
        settings.setToday(QDate(2025, 12, 31));
        const bool found = settings.setSettingsFile();
        QTEST(found, "found");
        if (found)
            settings.readSettings();
        QStringList read;
        for (auto [key, text] : settings.list(list).asKeyValueRange())
            read << QString::number(key) + '=' + text;
        QTEST(read.join(';'), "read");
        for (const QString &name : SettingsFile::listNames())
            QVERIFY(name == list || settings.list(name).size() <= (file.isEmpty() ? 0 : 1));
        if (lastUpdate != "-")
            QCOMPARE(QSettings(userFile(), QSettings::IniFormat).value("last_update").toString(), lastUpdate);
        QVERIFY(!readFile(userFile()).contains("twenty"));
        QVERIFY(settings.store("last_update", "12"));
        QCOMPARE(QSettings(userFile(), QSettings::IniFormat).value("last_update").toString(), QString("12"));
        if (!aside.isEmpty())
            QCOMPARE(readFile(userFile() + aside), file);
        QVERIFY(aside == SettingsFile::tooLargeSuffix() || !QFileInfo::exists(userFile() + SettingsFile::tooLargeSuffix()));
        const QString mine = aside == ".bak" ? userFile() + aside : userFile(); // the copy made, not a file renamed
        QCOMPARE(int((QFile::permissions(userFile()) | QFile::permissions(mine)) & 0x77), 0);
    }

    void theShippedTemplateHasATextForEveryCode()
    {
        QVERIFY(QFile::copy(VIDARRO_SOURCE_DIR "/resources/sniffer_linux.ini", Platform::settingsTemplatePath()));
        SettingsFile settings;
        settings.setSettingsFile();
        const QList<QPair<QString, QList<int>>> codes{{"error_messages", {1, 2, 8, 9, 10}},
                                                     {"error_messages_dl", {0, 1, 2, 3, 4, 5, 6, 7, 10, 11, 12, 20, 21, 22, 23,
                                                                            24, 25, 26, 27, 28, 29, 30, 31}},
                                                     {"warning_messages", {1, 2, 3}}};
        QCOMPARE(settings.list("update_messages").keys(), (QList<int>{0, 1, 2}));
        for (const auto &[list, numbers] : codes) {
            for (int code : numbers) {
                const QString entry = settings.list(list).value(code);
                QVERIFY2(entry.count('~') == 1 && entry.section('~', 1).size() > 20, qPrintable(list + entry));
                QVERIFY(settings.list("error_titles").contains(entry.section('~', 0, 0).toInt()));
            }
        }
        QVERIFY(!settings.list("yt_urls").isEmpty() && !settings.list("os_urls").isEmpty());
        // Other sites: any address; the refusal of the video sites' button names the other one.
        QVERIFY(UrlCheck::hostAccepted("any.example", settings.list("os_urls")));
        QVERIFY(!UrlCheck::hostAccepted("any.example", settings.list("yt_urls")));
        QVERIFY(settings.list("error_messages").value(WindowError::NotAVideoSite).contains("Other sites button"));
        for (int code : {20, 25, 31})
            QVERIFY(settings.list("error_messages_dl").value(code).contains("\"Cookies from\""));
        for (int code : {4, 5, 6})
            QVERIFY(settings.list("warning_messages").value(code).section('~', 1).size() > 10);
        const QString browserHelp = settings.list("help").value(8);
        QVERIFY(browserHelp.startsWith("Browser capture\n") && browserHelp.contains(" /usr/share/vidarro/browser-extension/chromium ")
                && browserHelp.contains(" build/dev/browser-extension/firefox ") && browserHelp.contains("install-host-manifests.sh"));
        QCOMPARE(settings.list("quorl_test_urls").keys(), (QList<int>{1, 2, 3}));
        for (int key : settings.list("help_actions").keys())
            QVERIFY(settings.list("help").contains(key));
    }
};

QTEST_GUILESS_MAIN(tst_WindowLogic)
#include "tst_windowlogic.moc"

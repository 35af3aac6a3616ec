#include "MessageCatalogue.h"

#include <QtTest>

namespace {

const QString detailOpen = "<br><br><hr><div style=\"font-size:10px\"><i>";

SettingsLists catalogue()
{
    SettingsLists lists;
    lists["error_titles"] = {{0, "Error"}, {3, "Address"}, {4, "Tool"}};
    lists["error_messages"] = {{1, "3~Bad address"},
                               {2, "3~"},
                               {3, "3~a~b"},
                               {4, "bare text"},
                               {5, "x7~not a number"},
                               {6, "3~<b>bold</b> & <script>"},
                               {7, "99~no such title"},
                               {8, "~"}};
    lists["error_messages_dl"] = {{3, "4~Title failed"}};
    lists["warning_messages"] = {{1, "4~Careful"}, {2, "4~"}};
    return lists;
}

const QStringList location{"ProcessURL.cpp", "42", "processURL", ""};

} // namespace

class tst_MessageCatalogue : public QObject
{
    Q_OBJECT

private slots:
    void titlesAndTexts_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("text");
        QTest::newRow("present") << 1 << "Address" << "Bad address";
        QTest::newRow("separator alone") << 2 << "Address" << "";
        QTest::newRow("two separators") << 3 << "Address" << "a";
        QTest::newRow("no separator") << 4 << "Error" << "Indefinite Error";
        QTest::newRow("title not a number") << 5 << "Error" << "not a number";
        QTest::newRow("unknown title") << 7 << "Error" << "no such title";
        QTest::newRow("empty parts") << 8 << "Error" << "";
        QTest::newRow("missing code") << 77 << "Error" << "Indefinite Error";
    }

    void titlesAndTexts()
    {
        QFETCH(int, code);
        QFETCH(QString, title);
        QFETCH(QString, text);
        const CatalogueMessage message = MessageCatalogue::message(catalogue(), code, MessageKind::Error, location);
        QCOMPARE(message.title, title);
        QCOMPARE(message.text, text);
        QVERIFY(message.richText);
        QVERIFY(message.boxText.startsWith(text.toHtmlEscaped() + detailOpen));
    }

    void anEmptyFileStillNamesTheFailingPlace()
    {
        const CatalogueMessage message = MessageCatalogue::message({}, 1, MessageKind::Error, location);
        QCOMPARE(message.title, QString("Error"));
        QCOMPARE(message.boxText, "Indefinite Error" + detailOpen
                                      + "<b>error #1:42</b><br>in 'processURL' : ProcessURL.cpp<br>comment: </i></div>");
    }

    void detailBlockFollowsTheLocation()
    {
        const SettingsLists lists = catalogue();
        auto details = [&](MessageKind kind, const QStringList &where) {
            const QString box = MessageCatalogue::message(lists, 3, kind, where).boxText;
            return box.mid(box.indexOf(detailOpen) + detailOpen.size());
        };
        QCOMPARE(details(MessageKind::Error, {"F.cpp", "9", "op"}),
                 QString("<b>error #3:9</b><br>in 'op' : F.cpp<br>comment: ---</i></div>"));
        QCOMPARE(details(MessageKind::DownloaderError, {"F.cpp", "9", "op", "one"}),
                 QString("<b>error #3:9</b><br>[DL] in 'op' : F.cpp<br>comment: one</i></div>"));
        QCOMPARE(details(MessageKind::Error, {"F.cpp", "9", "op", "a", "b"}),
                 QString("<b>error #3:9</b><br>in 'op' : F.cpp<br>comment: <ul><li>a</li><li>b</li></ul></i></div>"));
        QCOMPARE(details(MessageKind::Error, {}),
                 QString("<b>error #3:?</b><br>in '?' : ?<br>comment: ---</i></div>"));
        QCOMPARE(MessageCatalogue::message(lists, 3, MessageKind::DownloaderError, location).title, QString("Tool"));
    }

    void fileTextsAreShownAsTextNotMarkup()
    {
        const CatalogueMessage message = MessageCatalogue::message(catalogue(), 6, MessageKind::Error,
                                                                   {"<i>F.cpp", "1", "op", "<b>"});
        QVERIFY(message.boxText.startsWith("&lt;b&gt;bold&lt;/b&gt; &amp; &lt;script&gt;" + detailOpen));
        QVERIFY(message.boxText.contains(": &lt;i&gt;F.cpp<br>comment: &lt;b&gt;</i>"));
    }

    void aHugeEntryIsBounded()
    {
        SettingsLists lists;
        lists["error_messages"] = {{1, "0~" + QString(1'000'000, 'x')}};
        lists["error_titles"] = {{0, QString(100'000, 't')}};
        const CatalogueMessage message = MessageCatalogue::message(lists, 1, MessageKind::Error, location);
        QVERIFY(message.boxText.size() < MessageCatalogue::maxTextLength + 300);
        QVERIFY(message.title.size() <= 201);
        QVERIFY(message.boxText.contains("error #1:42"));
    }

    void warningsHaveNoDetailBlockAndAreNeverEmpty()
    {
        const CatalogueMessage careful = MessageCatalogue::message(catalogue(), 1, MessageKind::Warning, location);
        QCOMPARE(careful.title, QString("Tool"));
        QCOMPARE(careful.boxText, QString("Careful"));
        QVERIFY(!careful.richText);
        QCOMPARE(MessageCatalogue::message(catalogue(), 2, MessageKind::Warning, location).boxText,
                 QString("Indefinite Error"));
    }
};

QTEST_GUILESS_MAIN(tst_MessageCatalogue)
#include "tst_messagecatalogue.moc"

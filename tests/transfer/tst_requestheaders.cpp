#include "RequestHeaders.h"

#include <QTest>

using namespace RequestHeaders;

namespace {

QByteArray valueOf(const Parsed &parsed, const QByteArray &name)
{
    for (const Field &field : parsed.fields)
        if (field.name.compare(name, Qt::CaseInsensitive) == 0)
            return field.value;
    return QByteArray();
}

} // namespace

class TestRequestHeaders : public QObject
{
    Q_OBJECT

private slots:
    void typicalBlock();
    void valueKeepsEverythingAfterTheFirstSeparator();
    void laterLinesReplaceEarlierOnes();
    void skippedLines_data();
    void skippedLines();
    void leftOutHeaders_data();
    void leftOutHeaders();
    void fieldCountIsBounded();
    void truncatedAtEveryOffset();
    void secretsAreHiddenInLogs();
    void logTextIsPrintableAndBounded();
};

void TestRequestHeaders::typicalBlock()
{
    const Parsed parsed = parse("GET /videoplayback?id=1 HTTP/1.1\r\n"
                                "Host: media.example.com\r\n"
                                "User-Agent: Mozilla/5.0\r\n"
                                "Accept: */*\r\n"
                                "Cookie: a=1; b=2\r\n"
                                "\r\n");
    QCOMPARE(parsed.fields.size(), 3);
    QCOMPARE(parsed.fields.at(0).name, QByteArray("User-Agent"));
    QCOMPARE(valueOf(parsed, "accept"), QByteArray("*/*"));
    QCOMPARE(valueOf(parsed, "Cookie"), QByteArray("a=1; b=2"));
    QCOMPARE(parsed.skippedLines, 1); // Host comes from the address
    QVERIFY(parse(QByteArray()).fields.isEmpty());
}

void TestRequestHeaders::valueKeepsEverythingAfterTheFirstSeparator()
{
    const Parsed parsed = parse("Referer: http://site/watch?v=1: two: three\r\n");
    QCOMPARE(valueOf(parsed, "Referer"), QByteArray("http://site/watch?v=1: two: three"));
}

void TestRequestHeaders::laterLinesReplaceEarlierOnes()
{
    const Parsed parsed = parse("User-Agent: one\r\nX-A: 1\r\nuser-agent: two\r\n");
    QCOMPARE(parsed.fields.size(), 2);
    QCOMPARE(valueOf(parsed, "User-Agent"), QByteArray("two"));
    QCOMPARE(parsed.fields.at(0).name, QByteArray("User-Agent"));
}

void TestRequestHeaders::skippedLines_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::newRow("request line") << QByteArray("GET /x HTTP/1.1");
    QTest::newRow("no separator") << QByteArray("Broken line");
    QTest::newRow("colon without blank") << QByteArray("X-A:1");
    QTest::newRow("empty name") << QByteArray(": value");
    QTest::newRow("blank in name") << QByteArray("X A: value");
    QTest::newRow("separator in name") << QByteArray("X(A): value");
    QTest::newRow("high byte in name") << QByteArray("X\xe9: value");
    QTest::newRow("line feed in value") << QByteArray("X-A: 1\nX-B: 2");
    QTest::newRow("carriage return in value") << QByteArray("X-A: 1\rX-B: 2");
    QTest::newRow("nul in value") << QByteArray("X-A: 1\0002", 8);
    QTest::newRow("delete in value") << QByteArray("X-A: 1\x7f");
    QTest::newRow("overlong") << QByteArray("X-A: ") + QByteArray(maxLineLength, 'v');
}

void TestRequestHeaders::skippedLines()
{
    QFETCH(QByteArray, line);
    const Parsed parsed = parse(QByteArray(line + "\r\nX-Good: yes\r\n"));
    QCOMPARE(parsed.fields.size(), 1);
    QCOMPARE(valueOf(parsed, "X-Good"), QByteArray("yes"));
}

void TestRequestHeaders::leftOutHeaders_data()
{
    QTest::addColumn<QByteArray>("name");
    for (const char *name : {"Host", "Range", "If-Range", "If-Modified-Since", "If-None-Match",
                             "Accept-Encoding", "Connection", "Keep-Alive", "Transfer-Encoding",
                             "Content-Length", "Upgrade", "range"})
        QTest::newRow(name) << QByteArray(name);
}

void TestRequestHeaders::leftOutHeaders()
{
    QFETCH(QByteArray, name);
    const Parsed parsed = parse(QByteArray(name + ": something\r\nTab-Value: a\tb\r\n"));
    QCOMPARE(parsed.fields.size(), 1);
    QCOMPARE(valueOf(parsed, "Tab-Value"), QByteArray("a\tb"));
    QCOMPARE(parsed.skippedLines, 1);
}

void TestRequestHeaders::fieldCountIsBounded()
{
    QByteArray block;
    for (int i = 0; i < 3000; ++i)
        block += "X-" + QByteArray::number(i) + ": v\r\n";
    block += "X-0: last\r\n";
    const Parsed parsed = parse(block);
    QCOMPARE(parsed.fields.size(), maxFields);
    QCOMPARE(parsed.skippedLines, 3000 - maxFields);
    QCOMPARE(valueOf(parsed, "X-0"), QByteArray("last"));
}

void TestRequestHeaders::truncatedAtEveryOffset()
{
    const QByteArray block = "GET /a HTTP/1.1\r\nUser-Agent: UA/1\r\nCookie: c=1\r\nReferer: http://r/\r\n\r\n";
    for (qsizetype cut = 0; cut <= block.size(); ++cut) {
        const Parsed parsed = parse(QByteArrayView(block).first(cut));
        QVERIFY(parsed.fields.size() <= 3);
        for (const Field &field : parsed.fields) {
            QVERIFY(!field.name.isEmpty());
            QVERIFY(!field.value.contains('\r') && !field.value.contains('\n'));
        }
    }
}

void TestRequestHeaders::secretsAreHiddenInLogs()
{
    QCOMPARE(loggable("Cookie", "sid=1"), QByteArray("<redacted>"));
    QCOMPARE(loggable("authorization", "Basic x"), QByteArray("<redacted>"));
    QCOMPARE(loggable("Proxy-Authorization", "Basic y"), QByteArray("<redacted>"));
    QCOMPARE(loggable("Referer", "http://r/"), QByteArray("http://r/"));
    const QByteArray text = loggableBlock("GET / HTTP/1.1\r\nCookie: sid=1\r\nCOOKIE:sid=2\r\n"
                                          "Authorization: Bearer t\r\nUser-Agent: UA\r\n\r\n");
    QCOMPARE(text, QByteArray("GET / HTTP/1.1\nCookie: <redacted>\nCOOKIE: <redacted>\n"
                              "Authorization: <redacted>\nUser-Agent: UA\n"));
}

void TestRequestHeaders::logTextIsPrintableAndBounded()
{
    const QByteArray value = loggable("X-A", QByteArray("a\x01\x1b[31mb"));
    QCOMPARE(value, QByteArray("a??[31mb"));
    const QByteArray longValue = loggable("X-A", QByteArray(10000, 'v'));
    QVERIFY(longValue.size() < 400);
    QVERIFY(longValue.endsWith("(10000 bytes)"));
    QByteArray many;
    for (int i = 0; i < 5000; ++i)
        many += "X-" + QByteArray::number(i) + ": v\r\n";
    const QByteArray text = loggableBlock(many);
    QVERIFY(text.size() < 4000);
    QVERIFY(text.endsWith("... 4900 more lines\n"));
}

QTEST_GUILESS_MAIN(TestRequestHeaders)
#include "tst_requestheaders.moc"

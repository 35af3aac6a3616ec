#include "BrowserFrame.h"
#include "BrowserMessage.h"
#include "TestMessages.h"

#include <QtTest>

class tst_BrowserMessage : public QObject
{
    Q_OBJECT

private slots:
    void decode_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("kind");
        QTest::addColumn<qsizetype>("consumed");
        using K = BrowserFrame::Step::Kind;
        // Partial lengths and payloads: the reader's test splits everywhere.
        QTest::newRow("empty payload") << lengthOnly(0) << int(K::Frame) << qsizetype(4);
        QTest::newRow("one frame and more") << lengthOnly(2) + "{}xyz" << int(K::Frame) << qsizetype(6);
        QTest::newRow("exactly 1 MiB") << lengthOnly(BrowserFrame::maxPayload) + QByteArray(BrowserFrame::maxPayload, ' ')
                                       << int(K::Frame) << qsizetype(4 + BrowserFrame::maxPayload);
        QTest::newRow("1 MiB + 1") << lengthOnly(BrowserFrame::maxPayload + 1) << int(K::TooLarge) << qsizetype(4);
        QTest::newRow("2 GiB") << lengthOnly(0x80000000u) + "{}" << int(K::TooLarge) << qsizetype(4);
    }

    void decode()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, kind);
        QFETCH(qsizetype, consumed);
        const BrowserFrame::Step step = BrowserFrame::decode(bytes);
        QCOMPARE(int(step.kind), kind);
        QCOMPARE(step.consumed, consumed);
        if (step.kind == BrowserFrame::Step::Kind::Frame)
            QCOMPARE(step.payload, QByteArrayView(bytes).sliced(4, step.length));
    }

    // Split anywhere, the same frames; a refused frame's payload is skipped wherever it is cut.
    void readerAtEverySplit_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("frames");   // "!" marks a refused frame
        const QByteArray hello = "{\"kind\":\"hello\"}";
        QTest::newRow("two messages") << BrowserFrame::encode(hello) + BrowserFrame::encode(stream())
                                      << QStringList{hello, stream()};
        QTest::newRow("refused, then a message")
            << lengthOnly(BrowserFrame::maxPayload + 1) + QByteArray(BrowserFrame::maxPayload + 1, 'x')
                   + BrowserFrame::encode(hello)
            << QStringList{"!", hello};
    }

    void readerAtEverySplit()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, frames);
        // Every byte near the frame borders; through a long payload in strides.
        const qsizetype size = bytes.size();
        for (qsizetype split = 0; split <= size; split += (split < 64 || split > size - 64) ? 1 : 4093) {
            FrameReader reader;
            QStringList got;
            for (QByteArrayView part : {QByteArrayView(bytes).first(split), QByteArrayView(bytes).sliced(split)}) {
                reader.append(part);
                while (const auto frame = reader.next())
                    got << (frame->tooLarge ? QStringLiteral("!") : QString::fromUtf8(frame->payload));
            }
            QCOMPARE(got, frames);
            QCOMPARE(reader.buffered(), qsizetype(0));
        }
    }

    void messages_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("error");   // empty: accepted
        const auto row = [](const char *name, const QByteArray &json, const QString &error) {
            QTest::newRow(name) << json << error;
        };
        row("stream", stream(), {});
        row("hello", QByteArray("{\"kind\":\"hello\"}"), {});
        row("no length given", stream("contentLength", -1), {});
        row("page of another scheme", stream("pageUrl", "file:///home/x.html"), {});
        row("invalid UTF-8", stream().replace("A clip", "A \xc3\x28 clip"), "not valid UTF-8");
        row("not JSON", QByteArray("{\"kind\":"), "not JSON");
        row("not an object", QByteArray("[1,2]"), "not a JSON object");
        row("unknown kind", stream("kind", "other"), "unknown message kind");
        row("no kind", stream("kind", QJsonValue::Undefined), "missing field \"kind\"");
        row("no address", stream("url", QJsonValue::Undefined), "missing field \"url\"");
        row("no headers", stream("requestHeaders", QJsonValue::Undefined), "\"requestHeaders\"");
        row("file address", stream("url", "file:///etc/passwd"), "http or https");
        row("address too long", stream("url", QString("https://a.example/" + QString(8200, 'a'))), "longer than 8192");
        row("address with a line end", stream("url", "https://a.example/\r\nx"), "control");
        row("header value with CR LF", stream("requestHeaders", headers("Cookie", cookieValue + "\r\nX-Evil: 1")),
            "CR, LF or NUL");
        row("header name with a blank", stream("requestHeaders", headers("Set Cookie", "1")), "invalid name");
        row("header of half a character", stream().replace("secret-cookie-value", "\\ud800"), "invalid characters");
        row("129 headers", stream("requestHeaders", headers("a", "b", 129)), "more than 128");
        row("headers over 64 KiB", stream("requestHeaders", headers("a", QString(16000, 'v'), 5)), "exceed 65536 bytes");
        row("status as text", stream("status", "200"), "\"status\"");
        row("length of a fraction", stream("contentLength", 1.5), "\"contentLength\"");
        row("length beyond 2^53", stream("contentLength", 1e300), "\"contentLength\"");
        row("method with a blank", stream("method", "GE T"), "method");
    }

    void messages()
    {
        QFETCH(QByteArray, json);
        QFETCH(QString, error);
        const BrowserMessage message = parseBrowserMessage(json);
        QVERIFY2(message.error.contains(error), qPrintable(message.error));
        QCOMPARE(message.ok(), error.isEmpty());
        QVERIFY(!message.error.contains(QStringLiteral("secret")));   // reasons never quote a value
    }

    void streamFields()
    {
        BrowserMessage message = parseBrowserMessage(stream("tabTitle", "Two\nlines"));
        QCOMPARE(message.kind, BrowserMessage::Kind::Stream);
        const BrowserStream &s = message.stream;
        QCOMPARE(s.url, QStringLiteral("https://media.example/v/clip.mp4?sig=1"));
        QCOMPARE(s.requestHeaders.first(), qMakePair(QByteArray("Cookie"), cookieValue.toUtf8()));
        QCOMPARE(s.tabTitle, QStringLiteral("Two lines"));
        QCOMPARE(s.seen, QDateTime::fromMSecsSinceEpoch(1700000000123, Qt::UTC));
        QCOMPARE(s.totalLength(), qint64(250000));
        QVERIFY(!headersForLog(s.requestHeaders).contains(QStringLiteral("secret")));
        QVERIFY(headersForLog(s.requestHeaders).contains(QStringLiteral("referer: https://media.example/")));
        // What passes the checks reads back the same from its own JSON.
        const QByteArray again = QJsonDocument(browserStreamJson(s)).toJson();
        QCOMPARE(parseBrowserMessage(again).stream, s);
        QCOMPARE(parseBrowserMessage(stream("pageUrl", "file:///x.html")).stream.pageUrl, QString());
        // A fuzz finding: the scheme is kept in lower case, the rest as given.
        QCOMPARE(parseBrowserMessage(stream("url", "htTps://a.example/%7e")).stream.url, QStringLiteral("https://a.example/%7e"));
    }
};

QTEST_GUILESS_MAIN(tst_BrowserMessage)
#include "tst_browsermessage.moc"

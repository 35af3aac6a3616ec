#include "ReportQueue.h"
#include "SaveName.h"
#include "SniffedItems.h"
#include "TargetPath.h"
#include "UpdateSchedule.h"

#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

class tst_SniffedList : public QObject
{
    Q_OBJECT

private slots:
    void onlyLargeNewStreamsAreListed()
    {
        SniffedItems items;
        const QTime at(12, 30, 5);
        QCOMPARE(items.add("http://a/1.mp4", "GET", "99999\r\n", "mp4\r\n", at), SniffedItems::TooSmall);
        QCOMPARE(items.add("http://a/1.mp4", "GET", "", "mp4\r\n", at), SniffedItems::TooSmall);
        QCOMPARE(items.add("http://a/1.mp4", "GET", "junk\r\n", "mp4\r\n", at), SniffedItems::TooSmall);
        QCOMPARE(items.add("http://a/1.mp4", "GET", "100000\r\n", "mp4\r\n", at), SniffedItems::Added);
        QCOMPARE(items.add("http://a/1.mp4", "GET", "200000\r\n", "mp4\r\n", at), SniffedItems::Duplicate);
        QCOMPARE(items.add("http://a/2.flv", "GET", "100000\r\n", "x-flv\r\n", at), SniffedItems::Duplicate);
        QCOMPARE(items.add("http://a/3.flv", "GET", " 3000000000 ", "x-flv\r\n", at), SniffedItems::Added);
        QCOMPARE(items.count(), 2);
        QCOMPARE(items.at(0).size, 100000);
        QCOMPARE(items.at(1).size, 3000000000LL);
        QCOMPARE(SniffedItems::rowText(items.at(0)), QString("1. 12:30:05           mp4           0.10 MB"));
        QCOMPARE(items.at(1).type, QString("flv"));
        QCOMPARE(SniffedItems::rowText(items.at(1)).right(10), QString("2861.02 MB"));
        QCOMPARE(SniffedItems::cleanType("MP3"), QString("MP3"));
        // A line end at the very start is not a cut point.
        QCOMPARE(SniffedItems::cleanType("\r\nmp4"), QString("\r\nmp4"));
    }

    void theListKeepsTheNewest25()
    {
        SniffedItems items;
        for (int i = 1; i <= 26; ++i)
            QCOMPARE(items.add(QString("http://h/%1").arg(i), {}, QString::number(100000 + i), "mp4\r\n", QTime(1, 2, 3)),
                     SniffedItems::Added);
        QCOMPARE(items.count(), 25);
        QCOMPARE(items.at(0).number, 2);
        QCOMPARE(items.at(24).number, 26);
        QCOMPARE(items.indexOfNumber(1), -1);
        QCOMPARE(items.indexOfNumber(26), 24);
        items.removeAt(0);
        items.removeAt(99);
        QCOMPARE(items.count(), 24);
        QVERIFY(items.add("http://www.youtube.com/v", {}, "555555", "mp4", QTime()) == SniffedItems::Added);
        QVERIFY(items.at(items.count() - 1).videoSite);
    }

    void saveNamesAreMadeSafe_data()
    {
        QTest::addColumn<QString>("selected");
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QString>("path");
        QTest::newRow("other suffix stays in the name") << "/d/clip.mp4" << "flv" << "" << "/d/clipmp4.flv";
        QTest::newRow("same suffix") << "/d/clip.flv" << "flv" << "" << "/d/clip.flv";
        QTest::newRow("colon and ampersand inside") << "/d/a:b&c.mp4" << "mp4" << "" << "/d/a.b.c.mp4";
        QTest::newRow("at the ends they go") << "/d/&clip:.mp4" << "mp4" << "" << "/d/clip.mp4";
        QTest::newRow("runs of blanks") << "/d/my   clip.mp4" << "mp4" << "" << "/d/my.clip.mp4";
        QTest::newRow("nothing left") << "/d/%%%.mp4" << "mp4" << "" << "/d/untitled.mp4";
        QTest::newRow("no suffix") << "/d/untitled" << "mp4" << "" << "/d/untitled.mp4";
        QTest::newRow("filter extension") << "/d/clip.mp4" << "mp4" << "Audio (*.mp3)" << "/d/clip.mp4.mp3";
        QTest::newRow("plain filter") << "/d/clip.mp4" << "mp4" << "mp3" << "/d/clip.mp4";
    }

    void saveNamesAreMadeSafe()
    {
        QFETCH(QString, selected);
        QFETCH(QString, type);
        QFETCH(QString, filter);
        QFETCH(QString, path);
        QCOMPARE(SaveName::savePath(selected, type, filter), path);
    }

    void theDailyUpdateFollowsDayAndYear_data()
    {
        QTest::addColumn<QString>("lastDay");
        QTest::addColumn<QString>("lastYear");
        QTest::addColumn<QDate>("today");
        QTest::addColumn<bool>("due");
        QTest::newRow("same day") << "40" << "2026" << QDate(2026, 2, 9) << false;
        QTest::newRow("next day") << "40" << "2026" << QDate(2026, 2, 10) << true;
        QTest::newRow("same day a year later") << "40" << "2025" << QDate(2026, 2, 9) << true;
        QTest::newRow("older file without the year") << "40" << "" << QDate(2026, 2, 9) << true;
        QTest::newRow("first start stores tomorrow") << "41" << "" << QDate(2026, 2, 9) << true;
        QTest::newRow("nothing stored") << "" << "" << QDate(2026, 2, 9) << true;
    }

    void theDailyUpdateFollowsDayAndYear()
    {
        QFETCH(QString, lastDay);
        QFETCH(QString, lastYear);
        QFETCH(QDate, today);
        QFETCH(bool, due);
        const UpdateSchedule::Decision decision = UpdateSchedule::decide(lastDay, lastYear, today);
        QCOMPARE(decision.due, due);
        QCOMPARE(decision.day, QString::number(today.dayOfYear()));
        QCOMPARE(decision.year, QString::number(today.year()));
        QVERIFY(!UpdateSchedule::decide(decision.day, decision.year, today).due);
    }

    void aFloodOfReportsIsBounded()
    {
        ReportQueue queue(100);
        QList<QThread *> threads;
        for (int t = 0; t < 4; ++t) {
            threads << QThread::create([&queue, t] {
                for (int i = 0; i < 5000; ++i)
                    queue.push({QByteArray::number(t * 100000 + i), "h", "1", "mp4"});
            });
            threads.last()->start();
        }
        for (QThread *thread : threads) {
            QVERIFY(thread->wait(30000));
            delete thread;
        }
        QCOMPARE(queue.size(), 100);
        QCOMPARE(queue.takeDropped(), quint64(20000 - 100));
        QCOMPARE(queue.takeDropped(), quint64(0));
        int taken = 0;
        while (queue.take())
            ++taken;
        QCOMPARE(taken, 100);
        QVERIFY(queue.push({"same", "", "", ""}));
        QVERIFY(!queue.push({"same", "", "", ""}));
        QCOMPARE(queue.takeDropped(), quint64(0));
    }

    void downloadsNeverTakeAnExistingName()
    {
        QTemporaryDir dir;
        const QString base = dir.filePath("clip");
        QCOMPARE(TargetPath::freePath(base, "mp4"), base + ".mp4");
        QFile(base + ".mp4").open(QIODevice::WriteOnly);
        QFile(base + " (2).mp4.part").open(QIODevice::WriteOnly);
        QCOMPARE(TargetPath::freePath(base, "mp4"), base + " (3).mp4");
        QVERIFY(TargetPath::ensureWritableFolder(dir.filePath("new/deeper")));
        QVERIFY(!TargetPath::ensureWritableFolder(""));
        QVERIFY(!TargetPath::ensureWritableFolder(base + ".mp4/below"));
        QVERIFY(!TargetPath::ensureWritableFolder("/proc/self"));
    }
};

QTEST_GUILESS_MAIN(tst_SniffedList)
#include "tst_sniffedlist.moc"

#include <QDirIterator>
#include <QImage>
#include <QXmlStreamReader>
#include <QtTest>

namespace {

QImage opaque(const QImage &image)
{
    return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

} // namespace

// The compiled-in pictures of the window.
class tst_Images : public QObject
{
    Q_OBJECT

private slots:
    void imagesLoadAtTheirSizes_data()
    {
        QTest::addColumn<QString>("resource");
        QTest::addColumn<QSize>("size");
        const QList<std::pair<QStringList, QSize>> groups = {
            {{":/logo"}, {256, 256}},
            {{":/bgURL"}, {101, 17}},
            {{":/btnYT", ":/btnOS", ":/btnSN"}, {118, 43}},
            {{":/btnOptions", ":/btnHelp"}, {27, 26}},
            {{":/btnBack"}, {53, 22}},
            {{":/btnProcessURL"}, {169, 47}},
            {{":/btnVideoDL", ":/btnAudioDL"}, {136, 46}},
            {{":/signSelect"}, {28, 23}},
            {{":/signMP4", ":/sign3GP", ":/signFLV", ":/signWebM", ":/signNONE"}, {87, 23}},
            {{":/cancel"}, {89, 37}},
            {{":/btnPreviewOSN", ":/btnRemoveOSN", ":/btnVideoOSN", ":/btnAudioOSN"}, {89, 37}},
            {{":/btnPreviewOSNclc", ":/btnRemoveOSNclc", ":/btnVideoOSNclc", ":/btnAudioOSNclc"}, {89, 37}},
        };
        for (const auto &[names, size] : groups)
            for (const QString &name : names)
                QTest::newRow(qPrintable(name)) << name << size;
    }

    void imagesLoadAtTheirSizes()
    {
        QFETCH(QString, resource);
        QFETCH(QSize, size);
        const QImage image(resource);
        QVERIFY2(!image.isNull(), qPrintable(resource));
        QCOMPARE(image.size(), size);
        // Something is drawn: a fully transparent picture would leave a blank button.
        int visible = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                visible += qAlpha(image.pixel(x, y)) > 128;
        QVERIFY2(visible > image.width() * image.height() / 10, qPrintable(QString::number(visible)));
    }

    void pressedPicturesDifferFromNormalOnes_data()
    {
        QTest::addColumn<QString>("normal");
        for (const char *name : {":/btnPreviewOSN", ":/btnRemoveOSN", ":/btnVideoOSN", ":/btnAudioOSN"})
            QTest::newRow(name) << QString::fromLatin1(name);
    }

    void pressedPicturesDifferFromNormalOnes()
    {
        QFETCH(QString, normal);
        const QImage up = opaque(QImage(normal));
        const QImage down = opaque(QImage(normal + "clc"));
        QCOMPARE(down.size(), up.size());
        int changed = 0;
        for (int y = 0; y < up.height(); ++y)
            for (int x = 0; x < up.width(); ++x)
                changed += up.pixel(x, y) != down.pixel(x, y);
        // Most of the face changes, not a stray pixel.
        QVERIFY2(changed > up.width() * up.height() / 3, qPrintable(QString::number(changed)));
    }

    void everyResourceOfTheFormsExists()
    {
        const QString formsDir = qEnvironmentVariable("VIDARRO_SOURCE_DIR") + "/forms";
        QDirIterator it(formsDir, {"*.ui"}, QDir::Files);
        int forms = 0, icons = 0;
        while (it.hasNext()) {
            QFile file(it.next());
            QVERIFY(file.open(QIODevice::ReadOnly));
            ++forms;
            QXmlStreamReader xml(&file);
            while (!xml.atEnd()) {
                if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == u"normaloff") {
                    const QString resource = xml.readElementText();
                    QVERIFY2(!QImage(resource).isNull(), qPrintable(file.fileName() + ": " + resource));
                    ++icons;
                }
            }
            QVERIFY2(!xml.hasError(), qPrintable(file.fileName() + ": " + xml.errorString()));
        }
        QVERIFY(forms >= 8);
        QVERIFY(icons >= 18);
    }

    void resourceListNamesEveryPicture()
    {
        QFile qrc(qEnvironmentVariable("VIDARRO_SOURCE_DIR") + "/resources/resources.qrc");
        QVERIFY(qrc.open(QIODevice::ReadOnly));
        QXmlStreamReader xml(&qrc);
        QStringList aliases;
        while (!xml.atEnd())
            if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == u"file")
                aliases << xml.attributes().value("alias").toString();
        QVERIFY(!xml.hasError());
        QCOMPARE(aliases.size(), 26);
        for (const QString &alias : aliases) {
            QVERIFY2(!alias.isEmpty() && !alias.startsWith(':'), qPrintable(alias));
            QVERIFY2(!QImage(":/" + alias).isNull(), qPrintable(alias));
        }
    }
};

QTEST_GUILESS_MAIN(tst_Images)
#include "tst_images.moc"

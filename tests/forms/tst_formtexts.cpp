#include "FormBuilder.h"

#include <QTextDocument>
#include <QTranslator>
#include <QtTest>

namespace {

// Records the context of every text a form asks to be translated.
class ContextSpy : public QTranslator
{
public:
    bool isEmpty() const override { return false; }
    QString translate(const char *context, const char *, const char *, int) const override
    {
        contexts.insert(QString::fromLatin1(context));
        return {};
    }
    mutable QSet<QString> contexts;
};

} // namespace

using namespace FormBuilder;

class tst_FormTexts : public QObject
{
    Q_OBJECT

private slots:
    void texts_data()
    {
        QTest::addColumn<QString>("form");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");
        const QList<std::tuple<const char *, const char *, const char *>> rows = {
            {"Options", "lblTitle", "title"},
            {"Options", "lblDLLength", "99:99:99"},
            {"Options", "label_2", "File name :"},
            {"Options", "label_3", "Path :"},
            {"Settings", "label_3", "You may modify the default paths for saving the audio and video files you download."},
            {"Settings", "label", "Audio"},
            {"Settings", "label_2", "Video"},
            {"Settings", "btnSelectAudioPath", "..."},
            {"Settings", "btnSelectVideoPath", "..."},
            {"Settings", "btnSave", "Save"},
            {"OldSniffer", "label", "Time Sniffered        Type          Size"},
            {"DialogAbout", "lblTitle", "Title"},
            {"DialogAbout", "label_4", "Website:"},
            {"DialogAbout", "label_6", "HelpDesk:"},
            {"DialogAbout", "btnClose", "Close"},
        };
        for (const auto &[form, name, text] : rows)
            QTest::newRow(qPrintable(QStringLiteral("%1/%2").arg(form, name))) << form << name << text;
    }

    void texts()
    {
        QFETCH(QString, form);
        QFETCH(QString, name);
        QFETCH(QString, text);
        const auto w = buildForm(form);
        const QWidget *widget = w->findChild<QWidget *>(name);
        QVERIFY2(widget, qPrintable(name));
        QCOMPARE(widget->property("text").toString(), text);
    }

    void styleSheets_data()
    {
        QTest::addColumn<QString>("form");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("style");
        const char *field = "background-color:white; border:2px solid gray; padding: 3px 0;";
        const char *path = "background-color: white;\nborder: 1px solid gray;";
        const QList<std::tuple<const char *, const char *, const char *>> rows = {
            {"InsertURL", "inputURL", ""},
            {"Options", "lblTitle", "color: white;\nborder: 2px solid gray;\nborder-right-width: 0;"},
            {"Options", "lblDLLength", "color: white;\nborder: 2px solid gray;\nborder-left-width: 0;"},
            {"Options", "listFormats", "border:4px solid gray; color:white;"},
            {"Options", "label_2", "color:white"},
            {"Options", "inputTitle", field},
            {"Options", "label_3", "color:white"},
            {"Options", "selectPath", field},
            {"Progress", "progressBar", "color:white;"},
            {"Settings", "label_3", "color: white"},
            {"Settings", "label", "color: white"},
            {"Settings", "label_2", "color: white"},
            {"Settings", "pathAudio", path},
            {"Settings", "pathVideo", path},
            {"Settings", "btnSelectAudioPath", "background-color: white"},
            {"Settings", "btnSelectVideoPath", "background-color: white"},
            {"Settings", "btnSave", "background-color: white"},
            {"OldSniffer", "label", "color:white"},
            {"OldSniffer", "mediaList", "background-color:white;"},
            {"OldSniffer", "label_2", "color:white;"},
            {"OldSniffer", "pbPreview", ""},
        };
        for (const auto &[form, name, style] : rows)
            QTest::newRow(qPrintable(QStringLiteral("%1/%2").arg(form, name))) << form << name << style;
    }

    void styleSheets()
    {
        QFETCH(QString, form);
        QFETCH(QString, name);
        QFETCH(QString, style);
        const auto w = buildForm(form);
        const QWidget *widget = w->findChild<QWidget *>(name);
        QVERIFY2(widget, qPrintable(name));
        QCOMPARE(widget->styleSheet(), style);
    }

    void labels_data()
    {
        QTest::addColumn<QString>("form");
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("alignment");
        QTest::addColumn<int>("format");
        QTest::addColumn<bool>("wordWrap");
        const int left = Qt::AlignLeft | Qt::AlignVCenter;
        const int right = Qt::AlignRight | Qt::AlignVCenter;
        const int centre = Qt::AlignCenter;
        const int justify = Qt::AlignJustify | Qt::AlignVCenter;
        const QList<std::tuple<const char *, const char *, int, Qt::TextFormat, bool>> rows = {
            {"Options", "lblTitle", left, Qt::PlainText, false},
            {"Options", "lblDLLength", right, Qt::PlainText, false},
            {"Options", "label_2", right, Qt::AutoText, false},
            {"Options", "label_3", right, Qt::AutoText, false},
            {"Settings", "label_3", centre, Qt::AutoText, true},
            {"OldSniffer", "label", left, Qt::PlainText, false},
            {"OldSniffer", "label_2", left, Qt::RichText, true},
            {"DialogAbout", "lblTitle", centre, Qt::RichText, true},
            {"DialogAbout", "label_4", left, Qt::PlainText, false},
            {"DialogAbout", "label_6", left, Qt::PlainText, false},
            {"DialogAbout", "label_2", justify, Qt::PlainText, true},
            {"DialogAbout", "label_3", centre, Qt::PlainText, true},
        };
        for (const auto &[form, name, alignment, format, wrap] : rows)
            QTest::newRow(qPrintable(QStringLiteral("%1/%2").arg(form, name)))
                << form << name << alignment << int(format) << wrap;
    }

    void labels()
    {
        QFETCH(QString, form);
        QFETCH(QString, name);
        QFETCH(int, alignment);
        QFETCH(int, format);
        QFETCH(bool, wordWrap);
        const auto w = buildForm(form);
        const auto *label = w->findChild<QLabel *>(name);
        QVERIFY2(label, qPrintable(name));
        QCOMPARE(int(label->alignment()), alignment);
        QCOMPARE(int(label->textFormat()), format);
        QCOMPARE(label->wordWrap(), wordWrap);
    }

    void fonts_data()
    {
        QTest::addColumn<QString>("form");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("family"); // empty: inherited
        QTest::addColumn<int>("pointSize");
        QTest::addColumn<bool>("bold");
        QTest::addColumn<bool>("italic");
        const QList<std::tuple<const char *, const char *, const char *, int, bool, bool>> rows = {
            {"Options", "lblTitle", "", 10, true, false},
            {"Options", "label_2", "", 8, false, true},
            {"Options", "label_3", "", 8, false, true},
            {"Options", "selectPath", "Arial", 10, false, false},
            {"OldSniffer", "label_2", "Arial", 10, false, false},
            {"DialogAbout", "lblTitle", "Arial", 12, true, false},
            {"DialogAbout", "label_4", "Arial", 13, true, false},
            {"DialogAbout", "label_5", "Arial", 13, false, false},
            {"DialogAbout", "label_6", "Arial", 13, true, false},
            {"DialogAbout", "label_7", "Arial", 13, false, false},
            {"DialogAbout", "label_2", "Arial", 10, false, false},
            {"DialogAbout", "label_3", "Arial", 11, true, false},
        };
        for (const auto &[form, name, family, size, bold, italic] : rows)
            QTest::newRow(qPrintable(QStringLiteral("%1/%2").arg(form, name)))
                << form << name << family << size << bold << italic;
    }

    void fonts()
    {
        QFETCH(QString, form);
        QFETCH(QString, name);
        QFETCH(QString, family);
        QFETCH(int, pointSize);
        QFETCH(bool, bold);
        QFETCH(bool, italic);
        const auto w = buildForm(form);
        const QWidget *widget = w->findChild<QWidget *>(name);
        QVERIFY2(widget, qPrintable(name));
        if (!family.isEmpty())
            QCOMPARE(widget->font().family(), family);
        QCOMPARE(widget->font().pointSize(), pointSize);
        QCOMPARE(widget->font().bold(), bold);
        QCOMPARE(widget->font().italic(), italic);
    }

    void snifferPageAndSelfTestText()
    {
        Ui::OldSniffer form;
        QWidget w;
        form.setupUi(&w);
        QCOMPARE(form.stackedWidget->count(), 2);
        QCOMPARE(form.stackedWidget->widget(0), form.page);
        QCOMPARE(form.stackedWidget->widget(1), form.page_2);
        QCOMPARE(form.stackedWidget->currentIndex(), 0);
        QVERIFY(form.page_2->isAncestorOf(form.label_2));
        const QString text = form.label_2->text();
        QVERIFY(text.contains("This is the Sniffer Downloader test window"));
        QVERIFY(text.contains("red square"));
        QVERIFY(text.contains("5-10 seconds"));
        QVERIFY(text.contains("Back button"));
        QVERIFY(text.contains("support ticket"));
        QVERIFY(text.contains("CornflowerBlue"));
        QVERIFY(text.contains("href=\"https://vidarro.example/help\""));
        QVERIFY(form.label_2->openExternalLinks());
        // What the user reads, without the markup.
        QTextDocument doc;
        doc.setHtml(text);
        QVERIFY(doc.toPlainText().startsWith("This is the Sniffer Downloader test window"));
        QVERIFY(!doc.toPlainText().contains('<'));
    }

    void aboutBox()
    {
        Ui::DialogAbout form;
        QDialog box;
        form.setupUi(&box);
        QCOMPARE(box.windowTitle(), QString("About Vidarro"));
        QCOMPARE(form.formLayout->itemAt(0, QFormLayout::LabelRole)->widget(), form.label_4);
        QCOMPARE(form.formLayout->itemAt(0, QFormLayout::FieldRole)->widget(), form.label_5);
        QCOMPARE(form.formLayout->itemAt(1, QFormLayout::LabelRole)->widget(), form.label_6);
        QCOMPARE(form.formLayout->itemAt(1, QFormLayout::FieldRole)->widget(), form.label_7);
        QCOMPARE(form.label_5->minimumWidth(), 220);
        QCOMPARE(form.label_7->minimumWidth(), 220);
        QVERIFY(form.label_5->text().contains("href=\"https://vidarro.example\""));
        QVERIFY(form.label_7->text().contains("href=\"https://vidarro.example/help\""));
        QVERIFY(form.label_5->openExternalLinks());
        QVERIFY(form.label_7->openExternalLinks());
        QVERIFY(!form.label_2->text().isEmpty());
        QVERIFY(!form.label_3->text().isEmpty());
        QVERIFY(!form.btnClose->text().isEmpty());
    }

    void textsAreTranslatedWithTheFormName_data()
    {
        QTest::addColumn<QString>("form");
        QTest::addColumn<bool>("hasTexts");
        // The image-only forms have no text to translate.
        for (const char *form : {"Sniffer", "Navigation", "InsertURL", "Progress"})
            QTest::newRow(form) << QString::fromLatin1(form) << false;
        for (const char *form : {"Options", "Settings", "OldSniffer", "DialogAbout"})
            QTest::newRow(form) << QString::fromLatin1(form) << true;
    }

    void textsAreTranslatedWithTheFormName()
    {
        QFETCH(QString, form);
        QFETCH(bool, hasTexts);
        ContextSpy spy;
        QVERIFY(QCoreApplication::installTranslator(&spy));
        spy.contexts.clear(); // installing asks for the application's own texts
        const auto w = buildForm(form);
        QCoreApplication::removeTranslator(&spy);
        QCOMPARE(spy.contexts, hasTexts ? QSet<QString>{form} : QSet<QString>{});
    }
};

QTEST_MAIN(tst_FormTexts)
#include "tst_formtexts.moc"

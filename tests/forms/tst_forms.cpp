#include "FormBuilder.h"

#include <QtTest>

using namespace FormBuilder;

class tst_Forms : public QObject
{
    Q_OBJECT

private slots:
    void mainFormStacksTheSixPanels()
    {
        const auto w = buildForm("Sniffer");
        QCOMPARE(w->objectName(), QString("Sniffer"));
        QVERIFY(qobject_cast<QDialog *>(w.get()));
        QCOMPARE(w->size(), QSize(400, 815));
        QCOMPARE(w->font().family(), QString("Arial"));
        QCOMPARE(w->font().pointSize(), 10);
        QVERIFY(!w->windowIcon().isNull());
        QVERIFY(w->windowTitle().isEmpty());
        QVERIFY(w->whatsThis().isEmpty());
        QVERIFY(!w->autoFillBackground());
        QVERIFY(w->styleSheet().isEmpty());
        auto *layout = qobject_cast<QVBoxLayout *>(w->layout());
        QVERIFY(layout);
        QCOMPARE(layout->objectName(), QString("verticalLayout"));
        QCOMPARE(layout->spacing(), 0);
        QCOMPARE(layout->contentsMargins(), QMargins());
        const QList<std::pair<QString, QPair<int, int>>> panels = {
            {"widgetNavigation", {70, 70}}, {"widgetInsertURL", {110, 110}},
            {"widgetOptions", {225, kMax}}, {"widgetProgress", {150, 150}},
            {"widgetSettings", {100, 100}}, {"widgetOldSniffer", {160, 160}},
        };
        QCOMPARE(layout->count(), panels.size());
        for (int i = 0; i < layout->count(); ++i) {
            QWidget *panel = layout->itemAt(i)->widget();
            QVERIFY(panel);
            QCOMPARE(panel->objectName(), panels[i].first);
            QCOMPARE(panel->minimumHeight(), panels[i].second.first);
            QCOMPARE(panel->maximumHeight(), panels[i].second.second);
        }
    }

    void formSizes_data()
    {
        QTest::addColumn<QString>("form");
        QTest::addColumn<QSize>("minimum");
        QTest::addColumn<QSize>("maximum");
        QTest::addColumn<QSize>("size");
        QTest::newRow("Navigation") << "Navigation" << QSize(400, 60) << QSize(400, 60) << QSize(400, 60);
        QTest::newRow("InsertURL") << "InsertURL" << QSize(400, 116) << QSize(400, 116) << QSize(400, 116);
        QTest::newRow("Options") << "Options" << QSize(400, 0) << QSize(400, kMax) << QSize(400, 310);
        QTest::newRow("Progress") << "Progress" << QSize(400, 120) << QSize(400, 120) << QSize(400, 120);
        QTest::newRow("Settings") << "Settings" << QSize(400, 130) << QSize(400, 130) << QSize(400, 130);
        QTest::newRow("OldSniffer") << "OldSniffer" << QSize(400, 170) << QSize(400, 320) << QSize(400, 170);
        QTest::newRow("DialogAbout") << "DialogAbout" << QSize(400, 340) << QSize(400, 340) << QSize(400, 340);
    }

    void formSizes()
    {
        QFETCH(QString, form);
        QFETCH(QSize, minimum);
        QFETCH(QSize, maximum);
        QFETCH(QSize, size);
        const auto w = buildForm(form);
        QCOMPARE(w->objectName(), form);
        QCOMPARE(w->minimumSize(), minimum);
        QCOMPARE(w->maximumSize(), maximum);
        QCOMPARE(w->size(), size);
    }

    void formKeepsAGivenObjectName()
    {
        QWidget panel;
        panel.setObjectName("widgetNavigation");
        Ui::Navigation form;
        form.setupUi(&panel);
        QCOMPARE(panel.objectName(), QString("widgetNavigation"));
        QCOMPARE(form.btnBack->parentWidget(), form.page_2);
    }

    void widgetsHaveTheirNamesAndClasses_data()
    {
        QTest::addColumn<QString>("form");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("className");
        const QList<std::tuple<const char *, const char *, const char *>> rows = {
            {"Navigation", "gridLayout", "QGridLayout"},
            {"Navigation", "stackedWidget", "QStackedWidget"},
            {"Navigation", "page_1", "QWidget"},
            {"Navigation", "page_2", "QWidget"},
            {"Navigation", "horizontalLayout", "QHBoxLayout"},
            {"Navigation", "horizontalLayout_2", "QHBoxLayout"},
            {"Navigation", "verticalLayout", "QVBoxLayout"},
            {"InsertURL", "gridLayout", "QGridLayout"},
            {"InsertURL", "verticalLayout_3", "QVBoxLayout"},
            {"InsertURL", "inputURL", "QLineEdit"},
            {"InsertURL", "horizontalLayout_5", "QHBoxLayout"},
            {"Options", "verticalLayout", "QVBoxLayout"},
            {"Options", "lblTitle", "QLabel"},
            {"Options", "lblDLLength", "QLabel"},
            {"Options", "listFormats", "QListWidget"},
            {"Options", "label_2", "QLabel"},
            {"Options", "inputTitle", "QLineEdit"},
            {"Options", "label_3", "QLabel"},
            {"Options", "selectPath", "QComboBox"},
            {"Progress", "progressBar", "QProgressBar"},
            {"Progress", "horizontalLayout", "QHBoxLayout"},
            {"Settings", "verticalLayout", "QVBoxLayout"},
            {"Settings", "label_3", "QLabel"},
            {"Settings", "label", "QLabel"},
            {"Settings", "pathAudio", "QLineEdit"},
            {"Settings", "btnSelectAudioPath", "QToolButton"},
            {"Settings", "label_2", "QLabel"},
            {"Settings", "pathVideo", "QLineEdit"},
            {"Settings", "btnSelectVideoPath", "QToolButton"},
            {"Settings", "btnSave", "QPushButton"},
            {"OldSniffer", "verticalLayout_3", "QVBoxLayout"},
            {"OldSniffer", "label", "QLabel"},
            {"OldSniffer", "mediaList", "QListWidget"},
            {"OldSniffer", "stackedWidget", "QStackedWidget"},
            {"OldSniffer", "page", "QWidget"},
            {"OldSniffer", "page_2", "QWidget"},
            {"OldSniffer", "label_2", "QLabel"},
            {"DialogAbout", "lblTitle", "QLabel"},
            {"DialogAbout", "formLayout", "QFormLayout"},
            {"DialogAbout", "label_5", "QLabel"},
            {"DialogAbout", "label_7", "QLabel"},
            {"DialogAbout", "btnClose", "QPushButton"},
        };
        for (const auto &[form, name, cls] : rows)
            QTest::newRow(qPrintable(QStringLiteral("%1/%2").arg(form, name))) << form << name << cls;
    }

    void widgetsHaveTheirNamesAndClasses()
    {
        QFETCH(QString, form);
        QFETCH(QString, name);
        QFETCH(QString, className);
        const auto w = buildForm(form);
        const QObject *object = w->findChild<QObject *>(name);
        QVERIFY2(object, qPrintable(name));
        QCOMPARE(QString::fromLatin1(object->metaObject()->className()), className);
    }

    void layoutsHoldTheirItemsInOrder_data()
    {
        QTest::addColumn<QString>("form");
        QTest::addColumn<QString>("layout");
        QTest::addColumn<QStringList>("items");
        const QString spacer40 = "hspacer 40x20";
        auto row = [](const char *form, const char *layout, const QStringList &items) {
            QTest::newRow(qPrintable(QStringLiteral("%1/%2").arg(form, layout))) << form << layout << items;
        };
        row("Navigation", "horizontalLayout", {"btnDownloaderYT", "btnDownloaderOS", "btnSniffer", "verticalLayout"});
        row("Navigation", "verticalLayout", {"btnOptions", "btnHelp"});
        row("Navigation", "horizontalLayout_2", {"btnBack", "hspacer 274x20", "btnOptions_2", "btnHelp_2"});
        row("InsertURL", "gridLayout", {"verticalLayout_3"});
        row("InsertURL", "verticalLayout_3", {"inputURL", "horizontalLayout_5"});
        row("InsertURL", "horizontalLayout_5", {spacer40, "btnProcessURL", spacer40});
        row("Options", "verticalLayout", {"horizontalLayout_4", "listFormats", "vspacer 20x0", "horizontalLayout_5",
                                          "horizontalLayout_2", "horizontalLayout_3"});
        row("Options", "horizontalLayout_4", {"lblTitle", "lblDLLength"});
        row("Options", "horizontalLayout_5", {"label_2", "inputTitle"});
        row("Options", "horizontalLayout_2", {"label_3", "selectPath", "btnSelectPath"});
        row("Options", "horizontalLayout_3", {spacer40, "btnDownloadVideo", "btnDownloadAudio", spacer40});
        row("Progress", "verticalLayout", {"vspacer 20x16", "progressBar", "vspacer 20x16", "horizontalLayout"});
        row("Progress", "horizontalLayout", {"hspacer 188x20", "btnCloseProgress"});
        row("Settings", "verticalLayout", {"label_3", "horizontalLayout", "horizontalLayout_3", "vspacer 20x5",
                                           "horizontalLayout_2", "vspacer 20x5"});
        row("Settings", "horizontalLayout", {"label", "pathAudio", "btnSelectAudioPath"});
        row("Settings", "horizontalLayout_3", {"label_2", "pathVideo", "btnSelectVideoPath"});
        row("Settings", "horizontalLayout_2", {spacer40, "btnSave", spacer40});
        row("OldSniffer", "verticalLayout_3", {"horizontalLayout_2", "mediaList", "stackedWidget"});
        row("OldSniffer", "horizontalLayout_2", {"fixed hspacer 25x20", "label"});
        row("OldSniffer", "verticalLayout", {"horizontalLayout"});
        row("OldSniffer", "horizontalLayout", {"pbPreview", "pbRemove", "pbDownloadVideo", "pbDownloadAudio"});
        row("OldSniffer", "verticalLayout_2", {"label_2"});
        row("DialogAbout", "verticalLayout", {"lblTitle", "vspacer 20x15", "formLayout", "vspacer 20x40", "label_2",
                                              "label_3", "vspacer 20x14", "horizontalLayout_2"});
        row("DialogAbout", "horizontalLayout_2", {spacer40, "btnClose"});
    }

    void layoutsHoldTheirItemsInOrder()
    {
        QFETCH(QString, form);
        QFETCH(QString, layout);
        QFETCH(QStringList, items);
        const auto w = buildForm(form);
        const QLayout *l = w->findChild<QLayout *>(layout);
        QVERIFY2(l, qPrintable(layout));
        QCOMPARE(itemNames(l), items);
    }

    void layoutSpacingAndMargins_data()
    {
        QTest::addColumn<QString>("form");
        QTest::addColumn<QString>("layout");
        QTest::addColumn<int>("spacing");
        QTest::addColumn<QMargins>("margins"); // -1: the style's default
        auto row = [](const char *form, const char *layout, int spacing, QMargins margins) {
            QTest::newRow(qPrintable(QStringLiteral("%1/%2").arg(form, layout))) << form << layout << spacing << margins;
        };
        const QMargins any(-1, -1, -1, -1);
        row("Navigation", "gridLayout", 0, QMargins(0, 0, 0, 0));
        row("Navigation", "horizontalLayout", 4, QMargins(4, 0, 1, 0));
        row("Navigation", "verticalLayout", 0, any);
        row("Navigation", "horizontalLayout_2", 2, QMargins(-1, 1, -1, -1));
        row("InsertURL", "gridLayout", -1, QMargins(0, 0, 0, 0));
        row("InsertURL", "verticalLayout_3", -1, QMargins(6, 6, 6, 6));
        row("Options", "horizontalLayout_4", 0, any);
        row("Options", "horizontalLayout_3", 15, QMargins(-1, 5, -1, 5));
        row("Settings", "verticalLayout", 3, any);
        row("OldSniffer", "verticalLayout_3", 2, any);
        row("OldSniffer", "verticalLayout", 0, QMargins(0, 0, 0, 0));
        row("OldSniffer", "horizontalLayout", 6, QMargins(-1, 10, -1, -1));
    }

    void layoutSpacingAndMargins()
    {
        QFETCH(QString, form);
        QFETCH(QString, layout);
        QFETCH(int, spacing);
        QFETCH(QMargins, margins);
        const auto w = buildForm(form);
        const QLayout *l = w->findChild<QLayout *>(layout);
        QVERIFY2(l, qPrintable(layout));
        if (spacing >= 0)
            QCOMPARE(l->spacing(), spacing);
        const QMargins m = l->contentsMargins();
        if (margins.left() >= 0)
            QCOMPARE(m.left(), margins.left());
        if (margins.top() >= 0)
            QCOMPARE(m.top(), margins.top());
        if (margins.right() >= 0)
            QCOMPARE(m.right(), margins.right());
        if (margins.bottom() >= 0)
            QCOMPARE(m.bottom(), margins.bottom());
    }

    void imageButtons_data()
    {
        QTest::addColumn<QString>("form");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("resource");
        QTest::addColumn<QSize>("size");
        const QList<std::tuple<const char *, const char *, const char *, QSize>> rows = {
            {"Navigation", "btnDownloaderYT", ":/btnYT", {118, 43}},
            {"Navigation", "btnDownloaderOS", ":/btnOS", {118, 43}},
            {"Navigation", "btnSniffer", ":/btnSN", {118, 43}},
            {"Navigation", "btnOptions", ":/btnOptions", {27, 26}},
            {"Navigation", "btnHelp", ":/btnHelp", {27, 26}},
            {"Navigation", "btnBack", ":/btnBack", {53, 22}},
            {"Navigation", "btnOptions_2", ":/btnOptions", {27, 26}},
            {"Navigation", "btnHelp_2", ":/btnHelp", {27, 26}},
            {"InsertURL", "btnProcessURL", ":/btnProcessURL", {169, 47}},
            {"Options", "btnSelectPath", ":/signSelect", {28, 23}},
            {"Options", "btnDownloadVideo", ":/btnVideoDL", {136, 46}},
            {"Options", "btnDownloadAudio", ":/btnAudioDL", {136, 46}},
            {"Progress", "btnCloseProgress", ":/cancel", {89, 37}},
            {"OldSniffer", "pbPreview", ":/btnPreviewOSN", {89, 37}},
            {"OldSniffer", "pbRemove", ":/btnRemoveOSN", {89, 37}},
            {"OldSniffer", "pbDownloadVideo", ":/btnVideoOSN", {89, 37}},
            {"OldSniffer", "pbDownloadAudio", ":/btnAudioOSN", {89, 37}},
        };
        for (const auto &[form, name, resource, size] : rows)
            QTest::newRow(qPrintable(QStringLiteral("%1/%2").arg(form, name))) << form << name << resource << size;
    }

    void imageButtons()
    {
        QFETCH(QString, form);
        QFETCH(QString, name);
        QFETCH(QString, resource);
        QFETCH(QSize, size);
        const auto w = buildForm(form);
        const auto *button = w->findChild<QPushButton *>(name);
        QVERIFY2(button, qPrintable(name));
        QVERIFY(button->isFlat());
        QVERIFY(button->text().isEmpty());
        QVERIFY(!button->autoDefault());
        QCOMPARE(button->cursor().shape(), Qt::PointingHandCursor);
        QCOMPARE(button->minimumSize(), size);
        QCOMPARE(button->maximumSize(), size);
        QCOMPARE(button->iconSize(), size);
        QCOMPARE(button->icon().pixmap(size).toImage().convertToFormat(QImage::Format_ARGB32),
                 QImage(resource).convertToFormat(QImage::Format_ARGB32));
    }

    void addressPage()
    {
        Ui::InsertURL form;
        QWidget w;
        form.setupUi(&w);
        QCOMPARE(form.inputURL->minimumHeight(), 40);
        QVERIFY(!form.inputURL->autoFillBackground());
        QCOMPARE(form.inputURL->alignment(), Qt::AlignCenter);
    }

    void downloadPage()
    {
        Ui::Options form;
        QWidget w;
        form.setupUi(&w);
        QCOMPARE(form.lblTitle->minimumHeight(), 26);
        QCOMPARE(form.lblDLLength->minimumWidth(), 60);
        QCOMPARE(form.lblTitle->cursor().shape(), Qt::ArrowCursor);
        QCOMPARE(form.lblDLLength->cursor().shape(), Qt::ArrowCursor);
        QCOMPARE(form.listFormats->maximumHeight(), 120);
        for (QWidget *label : {static_cast<QWidget *>(form.label_2), static_cast<QWidget *>(form.label_3)}) {
            QCOMPARE(label->minimumWidth(), 70);
            QCOMPARE(label->maximumWidth(), 70);
        }
        for (QWidget *field : {static_cast<QWidget *>(form.inputTitle), static_cast<QWidget *>(form.selectPath)}) {
            QCOMPARE(field->minimumHeight(), 23);
            QCOMPARE(field->maximumHeight(), 23);
        }
        QVERIFY(form.selectPath->isEditable());
        QCOMPARE(form.selectPath->insertPolicy(), QComboBox::InsertAtBottom);
        QCOMPARE(form.selectPath->cursor().shape(), Qt::IBeamCursor);
        // A typed folder lands at the end of the list, as the page expects.
        form.selectPath->addItems({"/a", "/b"});
        form.selectPath->setCurrentIndex(0);
        form.selectPath->lineEdit()->setText("/typed");
        QTest::keyClick(form.selectPath->lineEdit(), Qt::Key_Return);
        QCOMPARE(form.selectPath->itemText(form.selectPath->count() - 1), QString("/typed"));
    }

    void busyPage()
    {
        Ui::Progress form;
        QWidget w;
        form.setupUi(&w);
        QCOMPARE(w.font().family(), QString("Arial"));
        QCOMPARE(form.progressBar->minimum(), 0);
        QCOMPARE(form.progressBar->maximum(), 100);
        QCOMPARE(form.progressBar->value(), 0);
    }

    void settingsPage()
    {
        Ui::Settings form;
        QWidget w;
        form.setupUi(&w);
        QVERIFY(w.styleSheet().isEmpty());
        for (QWidget *label : {form.label, form.label_2}) {
            QCOMPARE(label->minimumWidth(), 50);
            QCOMPARE(label->maximumWidth(), 50);
        }
        for (QWidget *path : {form.pathAudio, form.pathVideo}) {
            QCOMPARE(path->minimumHeight(), 23);
            QCOMPARE(path->maximumHeight(), 23);
        }
    }

    void navigationStack()
    {
        Ui::Navigation form;
        QWidget w;
        form.setupUi(&w);
        QCOMPARE(form.stackedWidget->count(), 2);
        QCOMPARE(form.stackedWidget->widget(0), form.page_1);
        QCOMPARE(form.stackedWidget->widget(1), form.page_2);
        QCOMPARE(form.stackedWidget->currentIndex(), 0);
        for (QWidget *b : {form.btnDownloaderYT, form.btnDownloaderOS, form.btnSniffer, form.btnOptions, form.btnHelp})
            QVERIFY(form.page_1->isAncestorOf(b));
        for (QWidget *b : {form.btnBack, form.btnOptions_2, form.btnHelp_2})
            QVERIFY(form.page_2->isAncestorOf(b));
    }

    // What a user sees: the panel, dark as the window makes it, shows each
    // button's picture where the button sits.
    void navigationBarShowsThePictures()
    {
        QWidget panel;
        panel.setStyleSheet("background-color:#1d1d1e");
        Ui::Navigation form;
        form.setupUi(&panel);
        panel.resize(400, 60);
        const QImage shot = panel.grab().toImage().convertToFormat(QImage::Format_ARGB32);
        for (QPushButton *button : {form.btnDownloaderYT, form.btnDownloaderOS, form.btnSniffer, form.btnHelp}) {
            const QRect r(button->mapTo(&panel, QPoint(0, 0)), button->size());
            const QImage picture = button->icon().pixmap(button->size()).toImage().convertToFormat(QImage::Format_ARGB32);
            QCOMPARE(shot.copy(r).size(), picture.size());
            int same = 0, opaquePixels = 0;
            for (int y = 0; y < r.height(); ++y)
                for (int x = 0; x < r.width(); ++x) {
                    if (qAlpha(picture.pixel(x, y)) < 255)
                        continue;
                    ++opaquePixels;
                    same += shot.pixel(r.x() + x, r.y() + y) == picture.pixel(x, y);
                }
            QVERIFY2(same > opaquePixels * 9 / 10,
                     qPrintable(QStringLiteral("%1: %2 of %3").arg(button->objectName()).arg(same).arg(opaquePixels)));
        }
    }
};

QTEST_MAIN(tst_Forms)
#include "tst_forms.moc"

#include "ui_DialogAbout.h"
#include "ui_InsertURL.h"
#include "ui_Navigation.h"
#include "ui_OldSniffer.h"
#include "ui_Options.h"
#include "ui_Progress.h"
#include "ui_Settings.h"
#include "ui_Sniffer.h"

#include <QDir>
#include <QtTest>

// Every form builds with the widgets the window reaches by name, every image
// button shows a picture, and every compiled-in picture loads. How the pages
// look is for a person to judge: tools/screenshots/take.sh.
class tst_Forms : public QObject
{
    Q_OBJECT

private:
    template <class Form>
    static void check(const QStringList &names)
    {
        QDialog panel;
        Form form;
        form.setupUi(&panel);
        for (const QString &name : names)
            QVERIFY2(panel.findChild<QWidget *>(name), qPrintable(name));
        for (const QPushButton *button : panel.findChildren<QPushButton *>()) {
            if (button->text().isEmpty())
                QVERIFY2(!button->icon().pixmap(button->iconSize()).isNull(), qPrintable(button->objectName()));
        }
    }

private slots:
    void formsHaveTheWidgetsTheWindowUses()
    {
        check<Ui::Sniffer>({"widgetNavigation", "widgetInsertURL", "widgetOptions", "widgetProgress",
                            "widgetSettings", "widgetOldSniffer"});
        check<Ui::Navigation>({"stackedWidget", "btnDownloaderYT", "btnDownloaderOS", "btnSniffer", "btnOptions",
                               "btnHelp", "btnBack", "btnOptions_2", "btnHelp_2"});
        check<Ui::InsertURL>({"inputURL", "btnProcessURL"});
        check<Ui::Options>({"lblTitle", "lblDLLength", "listFormats", "inputTitle", "selectPath", "btnSelectPath",
                            "btnDownloadVideo", "btnDownloadAudio"});
        check<Ui::Progress>({"progressBar", "btnCloseProgress"});
        check<Ui::Settings>({"pathAudio", "btnSelectAudioPath", "pathVideo", "btnSelectVideoPath", "btnSave", "comboCookies",
                             "inputCookieProfile", "lblToolHealth"});
        check<Ui::OldSniffer>({"label", "lblBrowser", "mediaList", "stackedWidget", "pbPreview", "pbRemove", "pbDownloadVideo",
                               "pbDownloadAudio", "label_2"});
        check<Ui::DialogAbout>({"lblTitle", "btnClose"});
        const QStringList pictures = QDir(":/").entryList(QDir::Files);
        QCOMPARE(pictures.size(), 26);
        for (const QString &name : pictures)
            QVERIFY2(!QImage(":/" + name).isNull(), qPrintable(name));
    }
};

QTEST_MAIN(tst_Forms)
#include "tst_forms.moc"

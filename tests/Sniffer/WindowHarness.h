#pragma once

// A real main window on a private per-user folder and application folder,
// with message boxes and file choosers answered by the test.

#include "JobQueue.h"
#include "Platform.h"
#include "Sniffer.h"
#include "TestFiles.h"
#include "UserDialogs.h"

#include "ui_OldSniffer.h"

#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>
#include <memory>

class RecordingResponder : public UserDialogs::Responder
{
public:
    void message(const UserDialogs::Message &shown) override { messages.append(shown); }
    QString folder(const QString &title, const QString &) override { folderTitles << title; return nextFolder; }
    bool saveDialog(QFileDialog *dialog) override
    {
        // What a person would see first: the proposed name, and whether the box is above the window.
        proposed = dialog->selectedFiles().value(0);
        aboveWindow = dialog->parentWidget() && dialog->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
        return onSave && onSave(dialog);
    }
    bool ask(const UserDialogs::Message &shown, const QString &action) override
    {
        messages.append(shown);
        actions << action;
        return takeAction;
    }
    void open(const QUrl &url) override { opened << url; }

    QList<UserDialogs::Message> messages;
    QStringList actions;     // the action offered by each box that had one
    bool takeAction = false;
    QList<QUrl> opened;
    QStringList folderTitles;
    QString nextFolder;
    std::function<bool(QFileDialog *)> onSave;
    QString proposed;
    bool aboveWindow = false;
};

// The tool was last updated on that day ("last_update" alone in older files).
inline QByteArray updatedOn(const QDate &day, bool withYear = true)
{
    return "[General]\nlast_update=" + QByteArray::number(day.dayOfYear()) + "\n"
           + (withYear ? "last_update_year=" + QByteArray::number(day.year()) + "\n" : QByteArray());
}

inline QByteArray windowTestSettings(const QByteArray &extra = {}, const QByteArray &general = updatedOn(QDate::currentDate()))
{
    return general + "[error_titles]\n0=Error\n1=Address\n2=Downloader\n"
           "[error_messages]\n1=\"1~Not a usable address\"\n2=\"1~Not a video site\"\n8=\"1~No test video\"\n"
           "9=\"2~Folder not writable\"\n10=\"2~Outside the folder\"\n"
           "[error_messages_dl]\n0=\"2~Tool missing\"\n1=\"2~Formats failed\"\n4=\"2~Update failed\"\n"
           "21=\"2~Not found (404)\"\n28=\"2~Tool too old\"\n"
           "[yt_urls]\n1=127.0.0.1\n2=youtube.com\n[os_urls]\n1=127.0.0.2\n2=vimeo.com\n"
           "[quorl_test_urls]\n1=http://one.example/\n2=http://two.example/\n3=http://three.example/\n"
           "4=http://four.example/\n" + extra;
}

// The list row of the stream whose address contains `part`, or -1. Found by
// address: with capture rights, other programs' streams may be listed too.
inline int rowOf(Sniffer *w, const QString &part)
{
    for (int i = 0; i < w->sniffedList().count(); ++i) {
        if (w->sniffedList().at(i).url.contains(part))
            return w->sniffedList().count() - 1 - i;
    }
    return -1;
}

// Opens the address page with that button and enters the address.
inline void enter(QPushButton *button, Sniffer *w, const QString &address)
{
    button->click();
    auto *field = w->findChild<QLineEdit *>(QStringLiteral("inputURL"));
    field->setText(address);
    QTest::keyClick(field, Qt::Key_Return);
}

inline SniffedItem itemAt(Sniffer *w, int row) { return w->sniffedList().at(w->sniffedList().count() - 1 - row); }

// The shipped catalogue, the tool updated today.
inline QByteArray shippedSettings()
{
    return updatedOn(QDate::currentDate()) + readFile(VIDARRO_SOURCE_DIR "/resources/sniffer_linux.ini");
}

class WindowHarness
{
public:
    explicit WindowHarness(const QByteArray &settings = windowTestSettings(), bool withTools = true)
    {
        Platform::setApplicationFolder(appDir.path());
        qputenv("APPDATA", userDir.path().toUtf8());
        // An update started by the window fetches nothing beyond this machine.
        qputenv("VIDARRO_TOOL_RELEASE_URL", "http://127.0.0.1:9/no-release");
        QDir().mkpath(userDir.filePath("Vidarro"));
        writeFile(userDir.filePath("Vidarro/sniffer.ini"), settings);
        for (const char *tool : {"run", "update.sh"}) {
            if (withTools)
                QFile::copy(VIDARRO_BIN_DIR "/" + QString(tool), appDir.filePath(tool));
        }
        UserDialogs::setResponder(&responder);
    }

    ~WindowHarness()
    {
        window.reset();
        UserDialogs::setResponder(nullptr);
        Platform::setApplicationFolder(QString());
    }

    Sniffer *start()
    {
        window = std::make_unique<Sniffer>();
        window->setUpdateCheckAllowed(false);
        window->initialise();
        window->showMainDialog();
        return window.get();
    }

    // Saves the sniffed-media page's row with that button (the video one
    // unless said), the save dialog answered with `base`; returns once the
    // save's job has ended.
    void saveRow(int row, const QString &base, QPushButton *button = nullptr)
    {
        window->oldSnifferForm()->mediaList->setCurrentRow(row);
        responder.onSave = [base](QFileDialog *dialog) { dialog->selectFile(base); return true; };
        (button ? button : window->oldSnifferForm()->pbDownloadVideo)->click();
        QVERIFY(settle());
    }

    // No job runs or waits: each ended, or was paused (shown as such).
    bool jobsIdle() const
    {
        const JobQueue *jobs = window->jobQueue();
        for (int row = 0; row < jobs->count(); ++row)
            if (jobs->shownState(row) == JobState::Waiting || jobs->shownState(row) == JobState::Running)
                return false;
        return !jobs->busy();
    }
    bool settle(int timeoutMs = 60000) const
    {
        QDeadlineTimer deadline(timeoutMs);
        while (!jobsIdle() && !deadline.hasExpired())
            QTest::qWait(20);
        return jobsIdle();
    }

    bool messageSeen(const QString &text) const
    {
        return std::any_of(responder.messages.cbegin(), responder.messages.cend(),
                           [&](const UserDialogs::Message &shown) { return shown.text.contains(text); });
    }

    QTemporaryDir appDir;
    QTemporaryDir userDir;
    RecordingResponder responder;
    std::unique_ptr<Sniffer> window;
};

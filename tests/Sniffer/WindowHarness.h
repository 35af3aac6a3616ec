#pragma once

// A real main window on a private per-user folder and application folder,
// with message boxes and file choosers answered by the test.

#include "Platform.h"
#include "Sniffer.h"
#include "UserDialogs.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>
#include <memory>

class RecordingResponder : public UserDialogs::Responder
{
public:
    void message(const UserDialogs::Message &shown) override { messages.append(shown); }
    QString folder(const QString &title, const QString &start) override
    {
        folderRequests.append({title, start});
        return nextFolder;
    }
    bool saveDialog(QFileDialog *dialog) override { return onSave ? onSave(dialog) : false; }

    QList<UserDialogs::Message> messages;
    QList<QPair<QString, QString>> folderRequests;
    QString nextFolder;
    std::function<bool(QFileDialog *)> onSave;
};

// Reaches the window's private parts, as the tests of its behaviour need.
class SnifferTestAccess
{
public:
    static void progressBarIteration(Sniffer *w) { w->progressBarIteration(); }
    static void progressBarStart(Sniffer *w, int interval) { w->progressBarStart(interval); }
    static const QStringList &errorContext(Sniffer *w) { return w->errorContext; }
    static void onDownloaderError(Sniffer *w, Downloader::errors e) { w->onDownloaderError(e); }
    static QString mediaFilePath(Sniffer *w) { return w->mediaFilePath; }
};

inline QByteArray windowTestSettings(const QByteArray &extra = QByteArray())
{
    const QDate today = QDate::currentDate();
    return "[General]\nlast_update=" + QByteArray::number(today.dayOfYear())
           + "\nlast_update_year=" + QByteArray::number(today.year()) + "\n"
           "[error_titles]\n0=Error\n1=\"Address not accepted\"\n2=\"Downloader problem\"\n4=\"Sniffer test\"\n"
           "[error_messages]\n1=\"1~Not a usable address\"\n2=\"1~Not a video site\"\n8=\"4~No test video\"\n"
           "9=\"2~Folder not writable\"\n"
           "[error_messages_dl]\n0=\"2~Tool missing\"\n1=\"2~Formats failed\"\n2=\"2~Download failed\"\n"
           "3=\"2~Title failed\"\n4=\"2~Update failed\"\n5=\"2~Extract failed\"\n"
           "[yt_urls]\n1=127.0.0.1\n2=youtube.com\n"
           "[os_urls]\n1=127.0.0.2\n2=vimeo.com\n"
           "[quorl_test_urls]\n1=http://one.example/\n2=http://two.example/\n3=http://three.example/\n4=http://four.example/\n"
           + extra;
}

class WindowHarness
{
public:
    explicit WindowHarness(const QByteArray &settings = windowTestSettings(), bool withTools = true)
    {
        Platform::setApplicationFolder(appDir.path());
        qputenv("APPDATA", userDir.path().toUtf8());
        QDir().mkpath(userDir.path() + "/Vidarro");
        QFile ini(userDir.path() + "/Vidarro/sniffer.ini");
        if (ini.open(QIODevice::WriteOnly))
            ini.write(settings);
        ini.close();
        if (withTools) {
            for (const QString &tool : {QStringLiteral("run"), QStringLiteral("update.sh")})
                QFile::copy(QStringLiteral(VIDARRO_BIN_DIR "/") + tool, appDir.filePath(tool));
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

    bool messageSeen(const QString &text) const
    {
        for (const UserDialogs::Message &message : responder.messages) {
            if (message.text.contains(text))
                return true;
        }
        return false;
    }

    QTemporaryDir appDir;
    QTemporaryDir userDir;
    RecordingResponder responder;
    std::unique_ptr<Sniffer> window;
};

#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

class ToolRun;
struct ToolResult;

// Saves a whole streaming manifest (HLS or DASH) with the downloader tool:
// the browser's header lines passed on in a file only this user can read
// (never on a command line, never logged), the chosen quality merged with
// its audio, written to "TARGET.part" and renamed to TARGET when the tool
// ended well. Cancel or failure leaves nothing under TARGET.
class StreamSave : public QObject
{
    Q_OBJECT

public:
    struct Request
    {
        QString tool;              // the downloader tool
        QUrl address;              // the manifest
        QByteArray requestHeader;  // the browser's request block
        QString selector;          // "bv*[height<=720]+ba/b" or a format id
        QString target;            // final file name
    };

    struct Result
    {
        bool ok = false;
        bool canceled = false;
        QString error;             // for the log and the box
    };

    explicit StreamSave(QObject *parent = nullptr);
    ~StreamSave() override;

    void start(const Request &request);
    void cancel();
    bool isRunning() const;

    // The tool's arguments after its configuration file, for tests and the log.
    static QStringList arguments(const Request &request);
    // The configuration file's text: one quoted --add-header per replayed line.
    static QByteArray headerOptions(const QByteArray &requestHeader);

signals:
    void progress(unsigned long long done, bool sizeKnown, unsigned long long total, int percent);
    void finished(const StreamSave::Result &result);

private:
    void readLines(const QStringList &lines);
    void ended(const ToolResult &result);
    void finish(Result result);
    void removeLeftovers() const;

    QPointer<ToolRun> m_run;
    Request m_request;
    QString m_saved;      // where the tool says it put the file
    bool m_canceled = false;
    bool m_done = false;
};

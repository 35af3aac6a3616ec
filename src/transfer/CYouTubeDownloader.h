#pragma once

#include "PartFile.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QNetworkReply>
#include <QPointer>
#include <QString>
#include <QThread>
#include <QTimer>
#include <QUrl>

#include <optional>

class QNetworkAccessManager;
class QNetworkRequest;

// Fetches one sniffed media address over HTTP with the header lines of the
// browser's own request and saves the body to filePath. The body goes to
// filePath + ".part" as it arrives and takes the final name only when the
// whole reply came in without error. Everything runs on the owning thread
// through the network manager's signals; the thread base is never started.
class CYouTubeDownloader : public QThread
{
    Q_OBJECT

public:
    enum class Outcome { NotStarted, Running, Succeeded, Canceled, Failed };
    enum class Failure {
        None, Network, HttpStatus, Incomplete, Redirect, BadAddress, Write,
        BadAnswer, // an answer that is not the whole file as it is
        TimedOut,  // nothing came for idleTimeoutMs
        DiskFull,
        TooLarge,  // no length announced, and more than the disk can hold
    };

    static constexpr int maxRedirects = 10;
    static constexpr qint64 readBlock = 1048576;
    static constexpr int defaultIdleTimeoutMs = 60000;

    CYouTubeDownloader();
    ~CYouTubeDownloader() override;

    // Address with its "http://" scheme, the sniffed request block, the target.
    QString url;
    QByteArray requestHeader;
    QString filePath;

    bool abortRequested = false;
    // How long the transfer waits for a byte (of the handshake, the head or
    // the body) before it gives up; shorter in tests.
    int idleTimeoutMs = defaultIdleTimeoutMs;
    QNetworkReply::NetworkError lastError = QNetworkReply::NoError;
    QNetworkAccessManager *networkManager = nullptr;

    void startTransfer();
    void requestAbort();
    virtual void logStatus(const QString &text);

    Outcome outcome() const { return m_outcome; }
    Failure failure() const { return m_failure; }
    bool succeeded() const { return m_outcome == Outcome::Succeeded; }
    bool wasCanceled() const { return m_outcome == Outcome::Canceled; }
    // Failed here, not at the server: the file could not be written.
    bool failedLocally() const;
    // What went wrong, for the user: the HTTP status and reason, the network
    // error text, or the file that could not be written.
    QString errorString() const { return m_errorString; }
    int httpStatus() const { return m_httpStatus; }
    quint64 bytesWritten() const { return m_part.written(); }
    QString partPath() const { return PartFile::partPath(filePath); }

signals:
    void OnProgress(unsigned long long nBytesRead, bool bGotFileSize, unsigned long long nFileSize);
    // Declared here so that it, not the thread's own, announces the end.
    void finished();

public slots:
    void onDownloadProgress(qint64 bytesReceived, qint64 bytesTotal);
    void onDownloadFinished(QNetworkReply *reply);
    void onError(QNetworkReply::NetworkError code);

private slots:
    void onReadyRead();
    void onMetaData();
    void checkIdle();

private:
    void get(const QUrl &address);
    bool followRedirect(QNetworkReply *reply);
    bool isSavedReply(QNetworkReply *reply) const;
    void drain(QNetworkReply *reply);
    void fail(Failure failure, const QString &text);
    void finishEarly(Failure failure, const QString &text);
    bool commitFile();
    void end(Outcome outcome);

    QList<QPair<QByteArray, QByteArray>> m_fields;
    QUrl m_firstUrl;
    QPointer<QNetworkReply> m_reply;
    PartFile m_part;
    QByteArray m_buffer;
    Outcome m_outcome = Outcome::NotStarted;
    Failure m_failure = Failure::None;
    QString m_errorString;
    int m_httpStatus = 0;
    int m_redirects = 0;
    std::optional<quint64> m_announced;
    QTimer m_idle;
    QElapsedTimer m_sinceData;
};

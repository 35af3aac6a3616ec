#pragma once

#include "NetworkRoute.h"
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
// whole reply came in without error. A suspended transfer keeps the part,
// and a later one goes on from it with Range and If-Range, the way browsers
// resume. Everything runs on the owning thread through the network
// manager's signals; the thread base is never started.
class CYouTubeDownloader : public QThread
{
    Q_OBJECT

public:
    enum class Outcome {
        NotStarted, Running, Succeeded, Canceled, Failed,
        Suspended, // stopped by suspend(); the part file stays for resume()
    };
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
    // The proxy and the rate limit, as they were when the transfer was made.
    NetworkRoute route = NetworkRoute::current();
    QNetworkAccessManager *networkManager = nullptr;

    // Going on from an earlier transfer's part file (partPath()), set before
    // startTransfer(): the validator and total that transfer reported. With
    // no validator, no part, or a part not shorter than the total, the file
    // starts again from its first byte.
    bool resumePartial = false;
    QByteArray resumeValidator;
    qint64 resumeTotal = -1;

    void startTransfer();
    // Ends the transfer and removes the part file.
    void requestAbort();
    // Ends the transfer and keeps the part file; finished() follows once,
    // with outcome Suspended, unless the transfer ends otherwise first.
    void suspend();
    // After Suspended: the same transfer again, going on from its part file
    // with its own validator() and totalSize() as the resume values.
    void resume();
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
    // What the history keeps to go on later: the ETag, else Last-Modified,
    // of the answer the part file holds (empty when that answer offered no
    // byte ranges or neither value), and the file's whole length that
    // answer announced (-1: none).
    QByteArray validator() const { return m_validator; }
    qint64 totalSize() const { return m_announced ? qint64(*m_announced) : -1; }
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
    void pace();

private:
    void begin();
    void get(const QUrl &address);
    bool startOver(const QUrl &address);
    bool followRedirect(QNetworkReply *reply);
    bool isSavedReply(QNetworkReply *reply) const;
    // Reads what has come into the part file; paced: no faster than the limit.
    void drain(QNetworkReply *reply, bool paced = true);
    // What the rate limit lets be read now; the whole block without one.
    qint64 allowance();
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
    QByteArray m_validator;
    bool m_suspendRequested = false;
    bool m_ranged = false;       // the request asks for the rest after the part
    quint64 m_offset = 0;        // bytes of the part before this answer's body
    bool m_headChecked = false;  // of the current reply
    QTimer m_idle;
    QElapsedTimer m_sinceData;
    // The rate limit: bytes read since the clock started, and a reply
    // that ended while its last bytes still wait to be read.
    QTimer m_pace;
    QElapsedTimer m_paceClock;
    qint64 m_paced = 0;
    bool m_endPending = false;
};

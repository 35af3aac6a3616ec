#pragma once

#include <QByteArray>
#include <QFile>
#include <QNetworkReply>
#include <QPointer>
#include <QString>
#include <QThread>
#include <QUrl>

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
    enum class Failure { None, Network, HttpStatus, Incomplete, Redirect, BadAddress, Write };

    static constexpr int maxRedirects = 10;
    static constexpr qint64 readBlock = 1048576;

    CYouTubeDownloader();
    ~CYouTubeDownloader() override;

    // Address with its "http://" scheme, the sniffed request block, the target.
    QString url;
    QByteArray requestHeader;
    QString filePath;

    bool abortRequested = false;
    QNetworkReply::NetworkError lastError = QNetworkReply::NoError;
    QNetworkAccessManager *networkManager = nullptr;

    void startTransfer();
    void requestAbort();
    virtual void logStatus(const QString &text);

    Outcome outcome() const { return m_outcome; }
    Failure failure() const { return m_failure; }
    bool succeeded() const { return m_outcome == Outcome::Succeeded; }
    bool wasCanceled() const { return m_outcome == Outcome::Canceled; }
    // What went wrong, for the user: the HTTP status and reason, the network
    // error text, or the file that could not be written.
    QString errorString() const { return m_errorString; }
    int httpStatus() const { return m_httpStatus; }
    quint64 bytesWritten() const { return m_bytesWritten; }
    QString partPath() const { return filePath + QStringLiteral(".part"); }

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

private:
    void get(const QUrl &address);
    bool followRedirect(QNetworkReply *reply);
    bool isSavedReply(QNetworkReply *reply) const;
    void drain(QNetworkReply *reply);
    void fail(Failure failure, const QString &text);
    void finishEarly(Failure failure, const QString &text);
    bool commitFile(QNetworkReply *reply);
    void end(Outcome outcome);
    void discardPart();

    QList<QPair<QByteArray, QByteArray>> m_fields;
    QUrl m_firstUrl;
    QPointer<QNetworkReply> m_reply;
    QFile m_part;
    QByteArray m_buffer;
    Outcome m_outcome = Outcome::NotStarted;
    Failure m_failure = Failure::None;
    QString m_errorString;
    int m_httpStatus = 0;
    int m_redirects = 0;
    quint64 m_bytesWritten = 0;
};

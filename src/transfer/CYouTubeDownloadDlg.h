#pragma once

#include "ProgressMeter.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class CYouTubeDownloader;
class QLabel;
class QUrl;
class QProgressBar;
class QPushButton;
namespace Ui { class CHttpDownloadDlg; }

// The modal dialog that runs one transfer and shows its progress. It ends
// accepted when the file was saved, rejected when the transfer was
// cancelled or failed; the owner shows a failure.
class CYouTubeDownloadDlg : public QDialog
{
    Q_OBJECT

public:
    struct Failure
    {
        QString title;
        QString text;
        QString detail;
    };

    // The words of a recording, from the catalogue: "{file}" in the title,
    // "{time}" and "{size}" in the amounts.
    struct RecordingTexts
    {
        QString title;
        QString amounts;
        QString stop;
        QString stopping;
    };

    explicit CYouTubeDownloadDlg(QWidget *parent = nullptr);
    ~CYouTubeDownloadDlg() override;

    CYouTubeDownloader *transfer() const { return m_transfer.get(); }
    QString fileName() const { return m_fileName; }
    // Set when the dialog ended rejected because the transfer failed.
    std::optional<Failure> failure() const { return m_failure; }

    // Call after filling the transfer's url, requestHeader and filePath, then exec().
    void startDownload();

    // A save that another worker does (the downloader tool, for a whole
    // stream): it reports through OnProgress and ends with endExternal;
    // Cancel calls cancel instead of aborting the transfer.
    void startExternal(const QUrl &address, std::function<void()> cancel);
    void endExternal(bool saved, bool canceled, const QString &error);
    // The same for a live stream: time and size so far instead of a share,
    // and a Stop that keeps what was recorded.
    void startRecording(const QUrl &address, const RecordingTexts &texts, std::function<void()> stop);
    void showRecorded(qint64 seconds, unsigned long long bytes);

    void on_pbCanceled_clicked();

    QLabel *fileStatusLabel() const;
    QProgressBar *progressBar() const;
    QLabel *timeLeftLabel() const;
    QLabel *transferRateLabel() const;
    QLabel *statusLabel() const;
    QPushButton *cancelButton() const;

public slots:
    virtual void showPercent(int percent);
    virtual void showTimeLeft(int secondsLeft, unsigned long long bytesRead, unsigned long long total);
    virtual void showStatus(const QString &text);
    virtual void showTransferRate(double bytesPerMs);

    void OnProgress(unsigned long long nBytesRead, bool bGotFileSize, unsigned long long nFileSize);
    void onThreadFinished();

private:
    std::unique_ptr<Ui::CHttpDownloadDlg> ui;
    std::unique_ptr<CYouTubeDownloader> m_transfer;
    QString m_fileName;
    ProgressMeter m_meter;
    QElapsedTimer m_clock;
    std::optional<Failure> m_failure;
    std::function<void()> m_cancelExternal;
    std::optional<RecordingTexts> m_recording;
};

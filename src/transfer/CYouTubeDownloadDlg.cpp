#include "CYouTubeDownloadDlg.h"

#include "CYouTubeDownloader.h"
#include "LogLine.h"
#include "TransferTexts.h"
#include "ui_CYouTubeDownloadDlg.h"

#include <QUrl>

#include <climits>

CYouTubeDownloadDlg::CYouTubeDownloadDlg(QWidget *parent)
    : QDialog(parent), ui(std::make_unique<Ui::CHttpDownloadDlg>()),
      m_transfer(std::make_unique<CYouTubeDownloader>())
{
    ui->setupUi(this);
    setWindowTitle(QStringLiteral("Starting download..."));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setFixedSize(600, 180);

    m_transfer->abortRequested = false;
    connect(m_transfer.get(), &CYouTubeDownloader::OnProgress, this, &CYouTubeDownloadDlg::OnProgress);
    connect(m_transfer.get(), &CYouTubeDownloader::finished, this, &CYouTubeDownloadDlg::onThreadFinished,
            Qt::DirectConnection);
    connect(ui->pbCancel, &QPushButton::clicked, this, &CYouTubeDownloadDlg::on_pbCanceled_clicked);
    m_clock.start();
}

CYouTubeDownloadDlg::~CYouTubeDownloadDlg() = default;

QLabel *CYouTubeDownloadDlg::fileStatusLabel() const { return ui->lbFileStatus; }
QProgressBar *CYouTubeDownloadDlg::progressBar() const { return ui->progressDownload; }
QLabel *CYouTubeDownloadDlg::timeLeftLabel() const { return ui->lbTimeLeft; }
QLabel *CYouTubeDownloadDlg::transferRateLabel() const { return ui->lbTransferRate; }
QLabel *CYouTubeDownloadDlg::statusLabel() const { return ui->lbCtrlStatus; }
QPushButton *CYouTubeDownloadDlg::cancelButton() const { return ui->pbCancel; }

void CYouTubeDownloadDlg::startDownload()
{
    TRACE("startDownload");
    m_meter.reset();
    const QUrl address = QUrl::fromEncoded(m_transfer->url.toUtf8(), QUrl::TolerantMode);
    m_fileName = TransferTexts::fileNameOfUrl(address);
    ui->lbFileStatus->setText(TransferTexts::fileStatusText(m_fileName, address.host()));
    m_transfer->startTransfer();
}

void CYouTubeDownloadDlg::startExternal(const QUrl &address, std::function<void()> cancel)
{
    TRACE("startExternal");
    m_meter.reset();
    m_cancelExternal = std::move(cancel);
    m_fileName = TransferTexts::fileNameOfUrl(address);
    ui->lbFileStatus->setText(TransferTexts::fileStatusText(m_fileName, address.host()));
}

void CYouTubeDownloadDlg::startRecording(const QUrl &address, const RecordingTexts &texts, std::function<void()> stop)
{
    startExternal(address, std::move(stop));
    m_recording = texts;
    setWindowTitle(QString(texts.title).replace(QStringLiteral("{file}"), m_fileName));
    ui->pbCancel->setText(texts.stop);
    // No end to measure against: the bar only shows that it goes on, and
    // neither a time left nor a rate has a meaning.
    ui->progressDownload->setRange(0, 0);
    for (QWidget *unused : {static_cast<QWidget *>(ui->label_3), static_cast<QWidget *>(ui->label_4),
                            static_cast<QWidget *>(ui->lbTransferRate)})
        unused->hide();
    showRecorded(0, 0);
}

void CYouTubeDownloadDlg::showRecorded(qint64 seconds, unsigned long long bytes)
{
    if (!m_recording)
        return;
    const QString time = TransferTexts::durationText(int(qMin<qint64>(seconds, INT_MAX)));
    ui->lbTimeLeft->setText(QString(m_recording->amounts)
                                .replace(QStringLiteral("{time}"), time)
                                .replace(QStringLiteral("{size}"), TransferTexts::sizeText(bytes)));
}

void CYouTubeDownloadDlg::endExternal(bool saved, bool canceled, const QString &error)
{
    TRACE("endExternal");
    if (saved) {
        done(QDialog::Accepted);
        return;
    }
    if (!canceled)
        m_failure = Failure{QStringLiteral("Error"), QStringLiteral("Download failed"), error};
    done(QDialog::Rejected);
}

void CYouTubeDownloadDlg::OnProgress(unsigned long long nBytesRead, bool bGotFileSize,
                                     unsigned long long nFileSize)
{
    const ProgressStep step = m_meter.update(nBytesRead, bGotFileSize, nFileSize, m_clock.elapsed());
    if (step.percent)
        showPercent(*step.percent);
    if (step.rate)
        showTransferRate(*step.rate);
    if (step.secondsLeft)
        showTimeLeft(*step.secondsLeft, nBytesRead, nFileSize);
}

void CYouTubeDownloadDlg::showPercent(int percent)
{
    ui->progressDownload->setValue(percent);
    setWindowTitle(TransferTexts::percentTitle(percent, m_fileName));
}

void CYouTubeDownloadDlg::showTimeLeft(int secondsLeft, unsigned long long bytesRead, unsigned long long total)
{
    ui->lbTimeLeft->setText(TransferTexts::timeLeftText(secondsLeft, bytesRead, total));
}

void CYouTubeDownloadDlg::showStatus(const QString &text)
{
    m_transfer->logStatus(text);
    ui->lbCtrlStatus->setText(text);
}

void CYouTubeDownloadDlg::showTransferRate(double bytesPerMs)
{
    ui->lbTransferRate->setText(TransferTexts::rateText(bytesPerMs));
}

void CYouTubeDownloadDlg::on_pbCanceled_clicked()
{
    if (m_cancelExternal)
        m_cancelExternal();
    else
        m_transfer->requestAbort();
    ui->pbCancel->setEnabled(false);
    showStatus(m_recording ? m_recording->stopping : QStringLiteral("Aborting transfer"));
}

void CYouTubeDownloadDlg::onThreadFinished()
{
    TRACE("onThreadFinished");
    if (m_transfer->abortRequested || m_transfer->wasCanceled()) {
        done(QDialog::Rejected);
        return;
    }
    if (!m_transfer->succeeded()) {
        // A file that could not be written is no server's fault: say what it is.
        const bool writeFailed = m_transfer->failedLocally();
        // The owner shows it: one box per failed save.
        m_failure = Failure{QStringLiteral("Error"),
                            writeFailed ? m_transfer->errorString() : QStringLiteral("Server Error"),
                            writeFailed ? QString() : m_transfer->errorString()};
        done(QDialog::Rejected);
        return;
    }
    done(QDialog::Accepted);
}

#include "Sniffer.h"

#include "CYouTubeDownloadDlg.h"
#include "JobQueue.h"
#include "LogLine.h"
#include "SafeText.h"
#include "UserDialogs.h"
#include "ui_OldSniffer.h"

#include <QComboBox>
#include <QFileInfo>
#include <QUrl>

void Sniffer::onStreamRead(int number, const streams::StreamInfo &info)
{
    if (sniffedItems.setStream(number, info))
        refreshSniffedList();
}

void Sniffer::showQualityChoice(int index)
{
    if (!qualityBox)
        return;
    const SniffedItem &item = sniffedItems.at(index);
    if (!item.stream || item.drm || item.qualities.isEmpty()) {
        qualityBox->hide();
        return;
    }
    // The list is rebuilt whenever a report comes: the same row keeps its choice.
    const QVariant kept = qualityBox->property("row").toInt() == item.number ? qualityBox->currentData() : QVariant();
    qualityBox->clear();
    for (const streams::QualityChoice &choice : item.qualities)
        qualityBox->addItem(choice.label, choice.selector);
    qualityBox->setCurrentIndex(qMax(0, qualityBox->findData(kept)));
    qualityBox->setProperty("row", item.number);
    qualityBox->show();
}

void Sniffer::downloadSniffedStream(int index)
{
    const SniffedItem item = sniffedItems.at(index);
    if (item.drm) {
        LOG_WARNING << "downloadSniffedStream" << ":" << "protected" << ":" << SafeText::address(item.url);
        showWarning(ProtectedStreamWarning);
        return;
    }
    const bool live = item.streamLength == QLatin1String("live");
    // The tool records live streams through ffmpeg, whose live DASH reading
    // repeats and breaks frames (and crashes on the way out): not a file that plays.
    if (live && item.type == QLatin1String("DASH")) {
        LOG_WARNING << "downloadSniffedStream" << ":" << "live DASH" << ":" << SafeText::address(item.url);
        showWarning(LiveDashWarning);
        return;
    }
    // The tool merges the chosen video with its audio into one MP4 file.
    const QString path = showSaveDialog(QStringLiteral("mp4"), item.name);
    if (path.isEmpty())
        return;
    const QString selector = qualityBox && qualityBox->isVisible() && qualityBox->currentIndex() >= 0
                                 ? qualityBox->currentData().toString()
                                 : streams::formatSelector();
    LOG_DEBUG << "downloadSniffedStream" << ":" << SafeText::address(item.url) << ":" << selector << ":" << path;
    JobRequest request;
    request.source = JobSource::Manifest;
    request.kind = live ? JobKind::Recording
                        : workflow.sniffedKind() == AddressWorkflow::Kind::Audio ? JobKind::Audio : JobKind::Stream;
    request.name = QFileInfo(path).completeBaseName();
    request.address = QUrl(item.url);
    request.requestHeader = item.requestHeader;
    request.selector = selector;
    request.target = path;
    request.oneOrigin = item.oneOrigin;
    startSniffedJob(index, request);
}

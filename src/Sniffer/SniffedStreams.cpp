#include "Sniffer.h"

#include "CYouTubeDownloadDlg.h"
#include "LogLine.h"
#include "SafeText.h"
#include "Platform.h"
#include "StreamSave.h"
#include "UserDialogs.h"
#include "ui_OldSniffer.h"

#include <QComboBox>
#include <QDir>

namespace {

// Codes of the "warning_messages" list: a stream that needs a licence, a
// recording's words in the transfer dialog and boxes.
enum : int {
    ProtectedStreamWarning = 7,
    RecordingTitle = 8,
    RecordingAmounts = 9,
    RecordingStop = 10,
    RecordingStopping = 11,
    RecordingCutShort = 12,
    LiveDashWarning = 13,
};

} // namespace

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

QString Sniffer::downloadSniffedStream(int index)
{
    const SniffedItem item = sniffedItems.at(index);
    if (item.drm) {
        LOG_WARNING << "downloadSniffedStream" << ":" << "protected" << ":" << SafeText::address(item.url);
        showWarning(ProtectedStreamWarning);
        return QString();
    }
    const bool live = item.streamLength == QLatin1String("live");
    // The tool records live streams through ffmpeg, whose live DASH reading
    // repeats and breaks frames (and crashes on the way out): not a file that plays.
    if (live && item.type == QLatin1String("DASH")) {
        LOG_WARNING << "downloadSniffedStream" << ":" << "live DASH" << ":" << SafeText::address(item.url);
        showWarning(LiveDashWarning);
        return QString();
    }
    // The tool merges the chosen video with its audio into one MP4 file.
    const QString path = showSaveDialog(QStringLiteral("mp4"));
    if (path.isEmpty())
        return QString();
    const QString selector = qualityBox && qualityBox->isVisible() && qualityBox->currentIndex() >= 0
                                 ? qualityBox->currentData().toString()
                                 : streams::formatSelector();
    LOG_DEBUG << "downloadSniffedStream" << ":" << SafeText::address(item.url) << ":" << selector << ":" << path;

    CYouTubeDownloadDlg dialog(this);
    StreamSave save;
    if (live) {
        const SettingsList words = settingsList("warning_messages");
        const auto word = [&words](int code) { return words.value(code).section(QLatin1Char('~'), 1); };
        dialog.startRecording(QUrl(item.url),
                              {word(RecordingTitle), word(RecordingAmounts), word(RecordingStop), word(RecordingStopping)},
                              [&save] { save.stop(); });
        connect(&save, &StreamSave::recorded, &dialog, &CYouTubeDownloadDlg::showRecorded);
    } else {
        dialog.startExternal(QUrl(item.url), [&save] { save.cancel(); });
        connect(&save, &StreamSave::progress, &dialog,
                [&dialog](unsigned long long done, bool sizeKnown, unsigned long long total, int percent) {
                    if (sizeKnown)
                        dialog.OnProgress(done, true, total);
                    else
                        dialog.showPercent(percent);
                });
    }
    bool cutShort = false;
    connect(&save, &StreamSave::finished, &dialog, [&dialog, &cutShort](const StreamSave::Result &result) {
        cutShort = !result.cutShort.isEmpty();
        dialog.endExternal(result.ok, result.canceled, result.error);
    });
    setItemState(index, SniffedItem::Downloading);
    oldSniffer->pbDownloadVideo->setEnabled(false);
    const StreamSave::Request request{
        QDir::toNativeSeparators(Platform::applicationFolder() + QLatin1Char('/') + Platform::downloaderToolName()),
        QUrl(item.url), item.requestHeader, selector, path, item.oneOrigin};
    if (live)
        save.record(request, Platform::companionProgram(QStringLiteral("ffmpeg")));
    else
        save.start(request);
    const QString saved = finishSniffedSave(dialog, item.number, path);
    // Saved, but not to the end the user chose: say so.
    if (cutShort && !saved.isEmpty() && !closing)
        showWarning(RecordingCutShort);
    return saved;
}

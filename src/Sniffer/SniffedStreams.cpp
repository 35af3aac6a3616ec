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

// Code of the "warning_messages" entry for a stream that needs a licence.
constexpr int ProtectedStreamWarning = 7;

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
    dialog.startExternal(QUrl(item.url), [&save] { save.cancel(); });
    connect(&save, &StreamSave::progress, &dialog,
            [&dialog](unsigned long long done, bool sizeKnown, unsigned long long total, int percent) {
                if (sizeKnown)
                    dialog.OnProgress(done, true, total);
                else
                    dialog.showPercent(percent);
            });
    connect(&save, &StreamSave::finished, &dialog, [&dialog](const StreamSave::Result &result) {
        dialog.endExternal(result.ok, result.canceled, result.error);
    });
    setItemState(index, SniffedItem::Downloading);
    oldSniffer->pbDownloadVideo->setEnabled(false);
    save.start({QDir::toNativeSeparators(Platform::applicationFolder() + QLatin1Char('/')
                                         + Platform::downloaderToolName()),
                QUrl(item.url), item.requestHeader, selector, path});
    return finishSniffedSave(dialog, item.number, path);
}

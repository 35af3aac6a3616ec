#include "Sniffer.h"

#include "LogLine.h"
#include "Options.h"
#include "Platform.h"
#include "SaveName.h"
#include "TargetPath.h"
#include "UserDialogs.h"
#include "ui_Options.h"
#include "ui_Settings.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

void Sniffer::setSaveFilePath()
{
    TRACE("setSaveFilePath");
    const QString key = options->btnDownloadVideo->isHidden() ? QStringLiteral("savepath_audio")
                                                              : QStringLiteral("savepath_video");
    QString saved = settingsFile.value(key);
    if (saved.isEmpty())
        saved = Platform::desktopFolder();
    QStringList folders{saved, Platform::documentsFolder(), Platform::musicFolder(), Platform::moviesFolder()};
    if (Platform::desktopFolder() != saved)
        folders << Platform::desktopFolder();
    options->selectPath->clear();
    options->selectPath->insertItems(0, folders);
    options->selectPath->setCurrentIndex(0);
}

void Sniffer::selectSavePath()
{
    QString start = options->selectPath->currentText();
    if (start.isEmpty())
        start = Platform::documentsFolder();
    const QString chosen = UserDialogs::chooseFolder(this, tr("Save to Directory"), start);
    LOG_DEBUG << "selectSavePath" << ":" << "Add new path" << chosen;
    if (chosen.isEmpty())
        return;
    options->selectPath->insertItem(0, chosen);
    options->selectPath->setCurrentIndex(0);
}

void Sniffer::selectDefaultFilePath()
{
    TRACE("selectDefaultFilePath");
    const bool audio = sender() == settingsUi->btnSelectAudioPath;
    QLineEdit *field = audio ? settingsUi->pathAudio : settingsUi->pathVideo;
    const QString title = QStringLiteral("Select default file path for save ")
                          + (audio ? QStringLiteral("audio") : QStringLiteral("video"));
    QString start = field->text();
    if (start.isEmpty())
        start = Platform::desktopFolder();
    const QString chosen = UserDialogs::chooseFolder(this, title, start);
    field->setText(chosen.isEmpty() ? start : chosen);
}

void Sniffer::saveDefaultFilePath()
{
    TRACE("saveDefaultFilePath");
    settingsFile.store(QStringLiteral("savepath_video"), settingsUi->pathVideo->text());
    settingsFile.store(QStringLiteral("savepath_audio"), settingsUi->pathAudio->text());
    storeToolSettings();
    storeFinishSettings();
    storeJobSettings();
    showPage(PageLayout::MainPage);
}

QString Sniffer::showSaveDialog(const QString &itemType, const QString &name)
{
    // A child of the window, which stays on top: else it opens beneath it, out of reach.
    QFileDialog dialog(this);
    const bool audio = workflow.sniffedKind() == AddressWorkflow::Kind::Audio;
    if (audio)
        dialog.setNameFilters({QStringLiteral("mp3")});
    const QString folder = audio ? settingsUi->pathAudio->text() : settingsUi->pathVideo->text();
    dialog.setWindowTitle(tr("Save File As..."));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    dialog.setDirectory(folder);
    dialog.selectFile(QDir::fromNativeSeparators(folder + QDir::separator() + SaveName::cleanBaseName(name)));
    Orx::Options *store = Orx::Options::instance();
    if (store->alwaysOnTop() || windowFlags().testFlag(Qt::WindowStaysOnTopHint))
        dialog.setWindowFlags(dialog.windowFlags() | Qt::WindowStaysOnTopHint);
    connect(&dialog, &QFileDialog::filterSelected, this, &Sniffer::onSaveFilterSelected);
    if (!UserDialogs::runSaveDialog(&dialog) || dialog.selectedFiles().isEmpty())
        return QString();

    const QString selected = dialog.selectedFiles().constFirst();
    const QString path = SaveName::savePath(selected, itemType, dialog.selectedNameFilter());
    store->setLastFolder(Orx::Options::SnifferFolder, dialog.directory().absolutePath());
    if (!TargetPath::insideFolder(QFileInfo(selected).absolutePath(), path)) {
        reportError(ERROR_PLACE("showSaveDialog"), WindowError::OutsideFolder, MessageKind::Error, path);
        return QString();
    }
    return path;
}

void Sniffer::onSaveFilterSelected(const QString &filter)
{
    auto *dialog = qobject_cast<QFileDialog *>(sender());
    if (!dialog || dialog->selectedFiles().isEmpty())
        return;
    const QString extension = SaveName::filterExtension(filter);
    if (extension.isEmpty())
        return;
    const QFileInfo selected(dialog->selectedFiles().constFirst());
    dialog->selectFile(selected.absolutePath() + QLatin1Char('/') + selected.completeBaseName() + extension);
}

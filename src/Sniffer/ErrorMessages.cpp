#include "Sniffer.h"

#include "LogLine.h"
#include "UserDialogs.h"

void Sniffer::showErrorMessage(int code, MessageKind kind)
{
    const CatalogueMessage message =
        MessageCatalogue::message(settingsFile.settingsLists(), code, kind, errorContext);
    if (kind == MessageKind::Warning) {
        LOG_DEBUG << "showErrorMessage" << ":" << message.title << ":" << message.text;
        UserDialogs::showMessage(this, QMessageBox::Warning, message.title, message.boxText);
        return;
    }
    LOG_ERROR << "showErrorMessage" << ":" << message.title << ":" << message.text;
    // A site that changed needs a newer tool, a browser without cookies
    // another choice: offer the remedy at once.
    if (kind == MessageKind::DownloaderError && (code == Downloader::ToolTooOld || code == Downloader::NoCookies)) {
        const bool update = code == Downloader::ToolTooOld;
        if (UserDialogs::ask(this, QMessageBox::Critical, message.title, message.boxText,
                             update ? tr("Update now") : tr("Open settings"), true)) {
            if (update)
                updateSniffer();
            else
                showOptions();
        }
        return;
    }
    UserDialogs::showMessage(this, QMessageBox::Critical, message.title, message.boxText, true);
}

void Sniffer::showWarning(int code) { showErrorMessage(code, MessageKind::Warning); }

// Without a place: the box must not show the place and cause of the last one.
void Sniffer::showError(int code)
{
    errorContext.clear();
    showErrorMessage(code, MessageKind::Error);
}

void Sniffer::showDownloaderError(int code)
{
    errorContext.clear();
    showErrorMessage(code, MessageKind::DownloaderError);
}

void Sniffer::reportError(const ErrorPlace &place, int code, MessageKind kind, const QString &comment)
{
    {
        LogLine line(QtCriticalMsg, place.file, place.line, LogLine::ErrorMark);
        line << place.operation << ":" << code;
        if (!comment.isEmpty())
            line << ":" << comment;
    }
    errorContext = MessageCatalogue::errorContext(place, comment);
    showErrorMessage(code, kind);
}

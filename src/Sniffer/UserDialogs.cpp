#include "UserDialogs.h"

#include "LogLine.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QPushButton>

namespace UserDialogs {

namespace {
Responder *installedResponder = nullptr;
}

void setResponder(Responder *responder) { installedResponder = responder; }
Responder *responder() { return installedResponder; }

void showMessage(QWidget *parent, QMessageBox::Icon icon, const QString &title,
                 const QString &text, bool richText)
{
    if (installedResponder) {
        installedResponder->message({icon, title, text, richText});
        return;
    }
    QMessageBox box(icon, title, text, QMessageBox::Ok, parent);
    box.setTextFormat(richText ? Qt::RichText : Qt::PlainText);
    box.exec();
}

bool ask(QWidget *parent, QMessageBox::Icon icon, const QString &title, const QString &text, const QString &action,
         bool richText)
{
    if (installedResponder)
        return installedResponder->ask({icon, title, text, richText}, action);
    QMessageBox box(icon, title, text, QMessageBox::Ok, parent);
    box.setTextFormat(richText ? Qt::RichText : Qt::PlainText);
    QPushButton *chosen = box.addButton(action, QMessageBox::AcceptRole);
    box.setDefaultButton(QMessageBox::Ok);
    box.exec();
    return box.clickedButton() == chosen;
}

void open(const QUrl &url)
{
    if (installedResponder) {
        installedResponder->open(url);
        return;
    }
    if (!QDesktopServices::openUrl(url))
        LOG_ERROR << "open" << ":" << "cannot open" << ":" << url.toString(QUrl::PreferLocalFile);
}

QString chooseFolder(QWidget *parent, const QString &title, const QString &start)
{
    if (installedResponder)
        return installedResponder->folder(title, start);
    return QFileDialog::getExistingDirectory(parent, title, start,
                                             QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
}

bool runSaveDialog(QFileDialog *dialog)
{
    if (installedResponder)
        return installedResponder->saveDialog(dialog);
    return dialog->exec() == QDialog::Accepted;
}

} // namespace UserDialogs

#pragma once

#include <QMessageBox>
#include <QString>
#include <QUrl>

class QFileDialog;
class QWidget;

// Every message box and file chooser of the window passes through here, so
// the application shows modal boxes while tests answer them without blocking.
namespace UserDialogs {

struct Message
{
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QString title;
    QString text;
    bool richText = false;
};

// Answers in place of the user. Installed by tests; none in the application.
class Responder
{
public:
    virtual ~Responder() = default;
    virtual void message(const Message &shown) = 0;
    // The folder the user picks; empty for cancel.
    virtual QString folder(const QString &title, const QString &start) = 0;
    // Fills in the save dialog; true when the user accepts it.
    virtual bool saveDialog(QFileDialog *dialog) = 0;
    // A box with a choice: true for its action button. Unless answered, a
    // box shown and its action declined.
    virtual bool ask(const Message &shown, const QString &action)
    {
        Q_UNUSED(action);
        message(shown);
        return false;
    }
    // A folder or page handed to the desktop; nothing opens while a
    // responder answers.
    virtual void open(const QUrl &url) { Q_UNUSED(url); }
};

void setResponder(Responder *responder);
Responder *responder();

void showMessage(QWidget *parent, QMessageBox::Icon icon, const QString &title,
                 const QString &text, bool richText = false);
// A box with an action button besides OK; true when the user chose it.
bool ask(QWidget *parent, QMessageBox::Icon icon, const QString &title, const QString &text, const QString &action,
         bool richText = false);
// Hands an address or a folder to the desktop's default handler.
void open(const QUrl &url);
QString chooseFolder(QWidget *parent, const QString &title, const QString &start);
// Runs the dialog modally (or lets the responder answer); true when accepted.
bool runSaveDialog(QFileDialog *dialog);

} // namespace UserDialogs

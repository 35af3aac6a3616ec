#pragma once

#include <QMessageBox>
#include <QString>

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
};

void setResponder(Responder *responder);
Responder *responder();

void showMessage(QWidget *parent, QMessageBox::Icon icon, const QString &title,
                 const QString &text, bool richText = false);
QString chooseFolder(QWidget *parent, const QString &title, const QString &start);
// Runs the dialog modally (or lets the responder answer); true when accepted.
bool runSaveDialog(QFileDialog *dialog);

} // namespace UserDialogs

#include "Sniffer.h"

#include "LogLine.h"
#include "UserDialogs.h"
#include "ui_Navigation.h"

#include <QAction>
#include <QDesktopServices>
#include <QMenu>
#include <QUrl>

// A help command comes from a file the user can edit: only these slots,
// the window's user commands, may be called by name.
const QStringList &Sniffer::helpCommands()
{
    static const QStringList commands{
        QStringLiteral("showAboutDialog"), QStringLiteral("quorlSetDefaultURL"),
        QStringLiteral("updateSniffer"),   QStringLiteral("testSniffer"),
        QStringLiteral("showOldSniffer"),  QStringLiteral("runOldSniffer"),
        QStringLiteral("showOptions"),     QStringLiteral("showDownloads")};
    return commands;
}

void Sniffer::initClickHelp()
{
    TRACE("initClickHelp");
    const SettingsList entries = settingsList("help");
    const SettingsList actions = settingsList("help_actions");
    for (auto it = entries.cbegin(); it != entries.cend(); ++it) {
        // A longer text's first line is its entry; its box shows it whole.
        const QString entry = it.value().section(QLatin1Char('\n'), 0, 0);
        auto *action = new QAction(entry, this);
        action->setStatusTip(entry);
        helpItems.append({action, actions.value(it.key()), it.value()});
        connect(action, &QAction::triggered, this, &Sniffer::onClickHelpItem);
    }
}

void Sniffer::onClickHelp()
{
    TRACE("onClickHelp");
    auto *menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    for (const HelpItem &item : std::as_const(helpItems))
        menu->addAction(item.action);
    menu->popup(navigation->btnHelp->mapToGlobal(QPoint(25, 15)));
}

void Sniffer::onClickHelpItem()
{
    TRACE("onClickHelpItem");
    for (const HelpItem &item : std::as_const(helpItems)) {
        if (item.action != sender())
            continue;
        if (item.command.isEmpty()) {
            UserDialogs::showMessage(this, QMessageBox::Information, QStringLiteral("Help"), item.text);
        } else if (item.command.startsWith(QLatin1String("http"), Qt::CaseSensitive)) {
            QDesktopServices::openUrl(QUrl(item.command));
        } else {
            const QString slot = item.command.section(QLatin1Char('~'), 0, 0);
            if (helpCommands().contains(slot))
                QMetaObject::invokeMethod(this, slot.toLatin1().constData(), Qt::DirectConnection);
            else
                LOG_WARNING << "onClickHelpItem" << ":" << "not a help command" << ":" << slot;
        }
    }
}

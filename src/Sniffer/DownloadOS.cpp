#include "Sniffer.h"

#include "LogLine.h"
#include "ui_Navigation.h"

#include <QAction>
#include <QDesktopServices>
#include <QMenu>
#include <QUrl>

void Sniffer::initClickDownloadOS()
{
    TRACE("initClickDownloadOS");
    const SettingsList sites = settingsList("os_urls");
    for (const QString &site : sites) {
        // The entry that takes any address names no site to visit.
        if (site.trimmed().isEmpty())
            continue;
        auto *action = new QAction(site, this);
        action->setStatusTip(site);
        siteItems.append({action, site});
        connect(action, &QAction::triggered, this, &Sniffer::onClickDownloadOSItem);
    }
    connect(this, &QWidget::customContextMenuRequested, this, &Sniffer::onRightClickDownloadOS);
}

void Sniffer::onRightClickDownloadOS(const QPoint &pos)
{
    QPushButton *button = navigation->btnDownloaderOS;
    if (!button->isVisible())
        return;
    const QRect area(button->mapTo(this, QPoint(0, 0)), button->size());
    if (!area.contains(pos))
        return;
    TRACE("onRightClickDownloadOS");
    auto *menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    for (const SiteItem &item : std::as_const(siteItems))
        menu->addAction(item.action);
    menu->popup(button->mapToGlobal(pos - area.topLeft()));
}

void Sniffer::onClickDownloadOSItem()
{
    TRACE("onClickDownloadOSItem");
    for (const SiteItem &item : std::as_const(siteItems)) {
        if (item.action == sender())
            QDesktopServices::openUrl(QUrl(QStringLiteral("http://") + item.site));
    }
    navigation->btnDownloaderOS->click();
}

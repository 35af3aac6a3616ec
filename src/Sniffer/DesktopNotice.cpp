#include "DesktopNotice.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>

namespace DesktopNotice {

void show(const QString &title, const QString &body)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    QDBusMessage notify = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    notify << QStringLiteral("Vidarro") << uint(0) << QStringLiteral("vidarro") << title << body << QStringList()
           << QVariantMap() << int(-1);
    // No answer is awaited: a desktop without the service simply shows nothing.
    notify.setAutoStartService(false);
    bus.send(notify);
}

} // namespace DesktopNotice

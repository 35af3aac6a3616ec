#pragma once

#include <QString>

// A note on the desktop when a job ends: the freedesktop notification
// service over the session bus when there is one; nothing, and no error,
// when there is none.
namespace DesktopNotice {

void show(const QString &title, const QString &body);

} // namespace DesktopNotice

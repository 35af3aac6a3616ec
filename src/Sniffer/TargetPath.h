#pragma once

#include <QString>

// Where a download may land without overwriting what the user already has.
namespace TargetPath {

// base + "." + extension, or base + " (2)." + extension and so on when that
// file (or the tool's partial file beside it) already exists.
QString freePath(const QString &base, const QString &extension);

// Creates the folder when missing; true when a file can be written there.
bool ensureWritableFolder(const QString &folder);

} // namespace TargetPath

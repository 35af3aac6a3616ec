#pragma once

#include <QString>

// Where a download may land: inside the folder the user chose, under a
// name that neither overwrites what is there nor leads anywhere else. Every
// name the window forms for a download, a conversion or a save passes here.
namespace TargetPath {

// An extension is 1 to 10 ASCII letters or digits; anything else (a path,
// a media type with parameters, nothing) is not trusted and gives the
// fallback.
QString safeExtension(const QString &extension, const QString &fallback);

// True when the path, made canonical, lies inside the folder: its own folder
// resolved to the folder (or one below it) and no symbolic link at its end.
bool insideFolder(const QString &folder, const QString &path);

// base + "." + extension, or base + " (2)." + extension and so on when that
// file (or the tool's partial file beside it, or a symbolic link by that
// name) already exists.
QString freePath(const QString &base, const QString &extension);

// Creates the folder when missing; true when a file can be written there.
bool ensureWritableFolder(const QString &folder);

} // namespace TargetPath

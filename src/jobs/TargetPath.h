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

// Longest typed name, in UTF-8 bytes: common file systems hold 255, and
// room stays for " (2)", the extension and the tool's partial-file endings.
inline constexpr int maxNameBytes = 200;

// A name as the user typed it, fit for a file: letters and digits of every
// script stay; / \ : * ? " < > | and control characters become blanks; the
// ends are trimmed and the name is cut at a whole character so that its
// UTF-8 form holds at most maxNameBytes. Empty when nothing is left.
QString cleanName(const QString &typed);

// folder/name, or folder/name (2) and so on, such that no file of the
// folder begins with that name and a ".": whatever extension the tool
// chooses, and whatever parts it writes meanwhile, are free.
QString freeStem(const QString &folder, const QString &name);

// Creates the folder when missing; true when a file can be written there.
bool ensureWritableFolder(const QString &folder);

} // namespace TargetPath

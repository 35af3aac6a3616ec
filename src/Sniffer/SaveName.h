#pragma once

#include <QString>

// The file a sniffed stream is saved to, from what the user picked in the
// save dialog: the stream's own type as the suffix and a name made safe.
namespace SaveName {

// The suffix of a stream whose type is no plain extension.
inline QString unknownType() { return QStringLiteral("mp4"); }

// Letters and digits of every script stay; a character no file name may
// hold becomes a separator; two or more separators inside the name collapse
// to one ".", at the ends they disappear; cut as TargetPath::cleanName.
// "untitled" when nothing is left.
QString cleanBaseName(const QString &baseName);

// The extension a name filter such as "Video (*.flv)" stands for (".flv"),
// or an empty text when the filter has no "(...)".
QString filterExtension(const QString &filter);

// folder/cleaned-name.type; a suffix other than the type stays in the name
// (clip.mp4 for a flv stream gives clipmp4.flv); a type that is no plain
// extension counts as unknownType(); the filter's extension is appended
// when the path does not end with it.
QString savePath(const QString &selectedFile, const QString &itemType, const QString &selectedFilter);

} // namespace SaveName

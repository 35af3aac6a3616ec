#include "TargetPath.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryFile>

namespace TargetPath {

QString freePath(const QString &base, const QString &extension)
{
    auto taken = [](const QString &path) {
        return QFileInfo::exists(path) || QFileInfo::exists(path + QStringLiteral(".part"));
    };
    QString path = base + QLatin1Char('.') + extension;
    for (int n = 2; taken(path) && n < 10000; ++n)
        path = QStringLiteral("%1 (%2).%3").arg(base).arg(n).arg(extension);
    return path;
}

bool ensureWritableFolder(const QString &folder)
{
    if (folder.trimmed().isEmpty())
        return false;
    if (!QDir(folder).exists() && !QDir().mkpath(folder))
        return false;
    // A real probe: permission bits do not tell the whole story (read-only
    // mounts, root, network folders).
    QTemporaryFile probe(folder + QStringLiteral("/.vidarro-write-test-XXXXXX"));
    return probe.open();
}

} // namespace TargetPath

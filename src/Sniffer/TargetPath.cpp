#include "TargetPath.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryFile>

namespace TargetPath {

QString safeExtension(const QString &extension, const QString &fallback)
{
    // Anchored at the very end: "$" alone would let a final line feed through.
    static const QRegularExpression rule(QRegularExpression::anchoredPattern(QStringLiteral("[A-Za-z0-9]{1,10}")));
    return rule.match(extension).hasMatch() ? extension : fallback;
}

bool insideFolder(const QString &folder, const QString &path)
{
    const QString root = QDir(folder).canonicalPath();
    const QFileInfo file(path);
    if (root.isEmpty() || file.isSymLink() || file.fileName().isEmpty() || file.fileName() == QLatin1String("..")
        || file.fileName() == QLatin1String("."))
        return false;
    const QString parent = QDir(file.absolutePath()).canonicalPath();
    return parent == root || parent.startsWith(root + QLatin1Char('/'));
}

QString freePath(const QString &base, const QString &extension)
{
    auto taken = [](const QString &path) {
        return QFileInfo::exists(path) || QFileInfo(path).isSymLink()
               || QFileInfo::exists(path + QStringLiteral(".part"));
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

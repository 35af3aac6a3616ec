#include "TargetPath.h"

#include "ToolOutput.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryFile>

#include <algorithm>

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

QString cleanName(const QString &typed)
{
    QString name = typed;
    for (qsizetype i = 0; i < name.size(); ++i) {
        const QChar c = name.at(i);
        // A lone surrogate cannot be written as UTF-8: it would come out as "?".
        const bool pair = c.isHighSurrogate() && i + 1 < name.size() && name.at(i + 1).isLowSurrogate();
        if (pair)
            ++i;
        else if (ToolOutput::isNameBreaker(c) || c.isSurrogate())
            name[i] = QLatin1Char(' ');
    }
    name = name.trimmed();
    while (name.toUtf8().size() > maxNameBytes) {
        name.chop(name.size() >= 2 && name.at(name.size() - 1).isLowSurrogate() ? 2 : 1);
        name = name.trimmed();
    }
    return name;
}

QString freeStem(const QString &folder, const QString &name)
{
    const QStringList names = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    auto taken = [&names](const QString &stem) {
        const QString start = stem + QLatin1Char('.');
        return std::any_of(names.cbegin(), names.cend(),
                           [&](const QString &entry) { return entry == stem || entry.startsWith(start); });
    };
    QString stem = name;
    for (int n = 2; taken(stem) && n < 10000; ++n)
        stem = QStringLiteral("%1 (%2)").arg(name).arg(n);
    return folder + QLatin1Char('/') + stem;
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

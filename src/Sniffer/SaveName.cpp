#include "SaveName.h"

#include "TargetPath.h"
#include "ToolOutput.h"

#include <QFileInfo>
#include <QRegularExpression>

namespace SaveName {

QString cleanBaseName(const QString &baseName)
{
    static const QRegularExpression runs(QStringLiteral("\\s{2,}"));
    // A breaker stands for a separator even between two words.
    QString name;
    for (const QChar c : baseName)
        name += ToolOutput::isNameBreaker(c) ? QStringLiteral("  ") : QString(c);
    name = name.trimmed().replace(runs, QStringLiteral("."));
    name = TargetPath::cleanName(name);
    return name.isEmpty() ? QStringLiteral("untitled") : name;
}

QString filterExtension(const QString &filter)
{
    const qsizetype open = filter.indexOf(QLatin1Char('('));
    const qsizetype close = filter.indexOf(QLatin1Char(')'), open + 1);
    if (open < 0 || close < 0 || close < open + 2)
        return QString();
    const QString extension = filter.mid(open + 2, close - open - 2);
    return TargetPath::safeExtension(extension.mid(1), QString()).isEmpty() ? QString() : extension;
}

QString savePath(const QString &selectedFile, const QString &itemType, const QString &selectedFilter)
{
    const QFileInfo file(selectedFile);
    QString base = file.completeBaseName();
    QString suffix = file.suffix();
    const QString type = TargetPath::safeExtension(itemType, unknownType());
    if (suffix != type) {
        base += suffix;
        suffix = type;
    }
    QString path = file.absolutePath() + QLatin1Char('/') + cleanBaseName(base) + QLatin1Char('.') + suffix;
    const QString extension = filterExtension(selectedFilter);
    if (!extension.isEmpty() && !path.endsWith(extension))
        path += extension;
    return path;
}

} // namespace SaveName

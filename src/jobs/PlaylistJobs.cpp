#include "PlaylistJobs.h"

#include "TargetPath.h"

#include <QDir>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>

namespace PlaylistJobs {

std::optional<QList<int>> parseRange(const QString &text)
{
    static const QRegularExpression part(QRegularExpression::anchoredPattern(QStringLiteral("\\s*(\\d{1,9})\\s*(?:-\\s*(\\d{1,9})\\s*)?")));
    QList<int> numbers;
    const QStringList parts = text.split(QLatin1Char(','));
    for (const QString &piece : parts) {
        const QRegularExpressionMatch match = part.match(piece);
        if (!match.hasMatch())
            return std::nullopt;
        const int first = match.captured(1).toInt();
        const int last = match.hasCaptured(2) ? match.captured(2).toInt() : first;
        if (first < 1 || last < first || last - first >= maxChosen || numbers.size() + (last - first) >= maxChosen)
            return std::nullopt;
        for (int n = first; n <= last; ++n)
            numbers.append(n);
    }
    std::sort(numbers.begin(), numbers.end());
    numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
    return numbers;
}

QString fitName(const QString &title, const QString &fallback)
{
    QString name = TargetPath::cleanName(title);
    qsizetype start = 0;
    while (start < name.size() && (name.at(start) == QLatin1Char('.') || name.at(start).isSpace()))
        ++start;
    name = name.mid(start);
    return name.isEmpty() ? fallback : name;
}

QString folder(const QString &base, const QString &title)
{
    const QString path = QDir(base).absolutePath() + QLatin1Char('/') + fitName(title, QStringLiteral("Playlist"));
    // The base must exist for the check; the playlist's folder need not yet.
    return QDir(base).exists() && TargetPath::insideFolder(base, path) ? path : QString();
}

namespace {

// The beginnings of a name that end before one of its dots: the stems
// whose files ("stem.ext", "stem.part") would include this name's.
QStringList dotPrefixes(const QString &name)
{
    QStringList prefixes;
    for (qsizetype at = name.indexOf(QLatin1Char('.')); at > 0; at = name.indexOf(QLatin1Char('.'), at + 1))
        prefixes.append(name.left(at));
    return prefixes;
}

} // namespace

QList<JobRequest> requests(const QList<PlaylistEntry> &entries, const JobRequest &pattern, const QString &folder,
                           const QUrl &page)
{
    // A stem is free when no name in the folder or of this batch is it or
    // begins with it and a dot, and it begins with no such name and a dot.
    QSet<QString> taken;      // names and their dot-prefixes
    QSet<QString> stems;      // this batch's stems
    for (const QString &entry : QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)) {
        taken.insert(entry);
        for (const QString &prefix : dotPrefixes(entry))
            taken.insert(prefix);
    }
    const auto isFree = [&](const QString &stem) {
        if (taken.contains(stem))
            return false;
        const QStringList prefixes = dotPrefixes(stem);
        return std::none_of(prefixes.cbegin(), prefixes.cend(), [&](const QString &p) { return stems.contains(p); });
    };
    QList<JobRequest> made;
    made.reserve(entries.size());
    for (const PlaylistEntry &entry : entries) {
        const QString name = fitName(entry.title, QStringLiteral("Entry %1").arg(entry.number));
        // The number goes before the first dot: after it, the stem would
        // still begin with the name it gives way to.
        const qsizetype dot = qMax<qsizetype>(0, name.indexOf(QLatin1Char('.')));
        const QString head = dot > 0 ? name.left(dot) : name;
        const QString tail = dot > 0 ? name.mid(dot) : QString();
        QString stem = name;
        for (int n = 2; !isFree(stem) && n < 100000; ++n)
            stem = QStringLiteral("%1 (%2)%3").arg(head).arg(n).arg(tail);
        stems.insert(stem);
        taken.insert(stem);
        for (const QString &prefix : dotPrefixes(stem))
            taken.insert(prefix);
        JobRequest request = pattern;
        request.source = JobSource::Address;
        request.name = name;
        request.address = entry.address;
        if (entry.inPage && entry.number <= JobRequest::maxItem && page.isValid()) {
            request.page = page;
            request.item = entry.number;
        }
        request.folder = folder;
        // The container decides the extension; this one is a proposal.
        request.target = folder + QLatin1Char('/') + stem + QStringLiteral(".mp4");
        made.append(request);
    }
    return made;
}

} // namespace PlaylistJobs

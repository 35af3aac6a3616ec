#include "BusyText.h"

#include <QDir>
#include <QFileInfo>
#include <QObject>

namespace BusyText {

QString progressFormat(const QString &speed, const QString &timeLeft)
{
    // The bar reads "%" as the start of a place holder.
    auto plain = [](QString word) { return word.remove(QLatin1Char('%')); };
    QString format = QStringLiteral("%p%");
    if (!plain(speed).isEmpty())
        format += QStringLiteral("  \u00b7  ") + plain(speed);
    if (!plain(timeLeft).isEmpty())
        format += QStringLiteral("  \u00b7  ") + QObject::tr("%1 left").arg(plain(timeLeft));
    return format;
}

QString completion(const QString &file)
{
    const QFileInfo saved(file);
    return QObject::tr("Download complete") + QStringLiteral("\n\n") + saved.fileName() + QLatin1Char('\n')
           + QObject::tr("in %1").arg(QDir::toNativeSeparators(saved.absolutePath()));
}

} // namespace BusyText

#include "CookieSource.h"

namespace CookieSource {

const QList<Choice> &choices()
{
    static const QList<Choice> list{
        {QStringLiteral("none"), {}},
        {QStringLiteral("Chromium"), QStringLiteral("chromium")},
        {QStringLiteral("Chrome"), QStringLiteral("chrome")},
        {QStringLiteral("Firefox"), QStringLiteral("firefox")},
        {QStringLiteral("Brave"), QStringLiteral("brave")},
        {QStringLiteral("Edge"), QStringLiteral("edge")},
    };
    return list;
}

QString argument(const QString &browser, const QString &profile)
{
    bool known = false;
    for (const Choice &choice : choices())
        known = known || (!browser.isEmpty() && choice.browser == browser);
    if (!known)
        return {};
    const QString folder = profile.trimmed();
    for (const QChar c : folder) {
        if (c.category() == QChar::Other_Control)
            return {};
    }
    return folder.isEmpty() ? browser : browser + QLatin1Char(':') + folder;
}

} // namespace CookieSource

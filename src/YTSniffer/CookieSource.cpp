#include "CookieSource.h"

#include <QDir>
#include <QFileInfo>
#include <QMap>
#include <QStringList>

namespace {

QString configHome()
{
    const QString folder = qEnvironmentVariable("XDG_CONFIG_HOME");
    return folder.isEmpty() ? QDir::homePath() + QStringLiteral("/.config") : folder;
}

// The folders the tool searches when no profile is named.
QStringList browserFolders(const QString &browser)
{
    const QString home = QDir::homePath();
    if (browser == QLatin1String("firefox"))
        return {configHome() + QStringLiteral("/mozilla/firefox"), home + QStringLiteral("/.mozilla/firefox"),
                home + QStringLiteral("/snap/firefox/common/.mozilla/firefox"),
                home + QStringLiteral("/.var/app/org.mozilla.firefox/.mozilla/firefox"),
                home + QStringLiteral("/.var/app/org.mozilla.firefox/config/mozilla/firefox")};
    static const QMap<QString, QString> chromiumBased{
        {QStringLiteral("chromium"), QStringLiteral("chromium")},
        {QStringLiteral("chrome"), QStringLiteral("google-chrome")},
        {QStringLiteral("brave"), QStringLiteral("BraveSoftware/Brave-Browser")},
        {QStringLiteral("edge"), QStringLiteral("microsoft-edge")},
    };
    return {configHome() + QLatin1Char('/') + chromiumBased.value(browser)};
}

// Whether FILE is in FOLDER or up to two folders below it ("Profile 1/Network/
// Cookies", "Profiles/x.default/cookies.sqlite"). The tool searches deeper,
// but the browsers keep it there; the bounds keep the settings page quick,
// and past them the answer is yes: better no note than a wrong one.
bool holds(const QString &folder, const QString &file)
{
    constexpr int maxFolders = 2000;
    QStringList level{folder};
    int seen = 0;
    for (int depth = 0; depth <= 2 && !level.isEmpty(); ++depth) {
        QStringList below;
        for (const QString &path : std::as_const(level)) {
            if (QFileInfo(path + QLatin1Char('/') + file).isFile())
                return true;
            if (depth == 2)
                continue;
            // Like the tool's walk, links to folders are not followed.
            for (const QString &name : QDir(path).entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks
                                                            | QDir::Hidden)) {
                if (++seen > maxFolders)
                    return true;
                below << path + QLatin1Char('/') + name;
            }
        }
        level = below;
    }
    return false;
}

} // namespace

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

bool storeFound(const QString &browser, const QString &profile)
{
    const QString handed = argument(browser, profile);
    if (handed.isEmpty())
        return true;
    const QString name = handed.mid(browser.size() + 1);
    QStringList folders{name};
    if (!name.contains(QLatin1Char('/'))) {
        folders = browserFolders(browser);
        if (!name.isEmpty()) {
            for (QString &folder : folders)
                folder += QLatin1Char('/') + name;
        }
    }
    const QString file = browser == QLatin1String("firefox") ? QStringLiteral("cookies.sqlite")
                                                              : QStringLiteral("Cookies");
    for (const QString &folder : std::as_const(folders)) {
        if (holds(folder, file))
            return true;
    }
    return false;
}

} // namespace CookieSource

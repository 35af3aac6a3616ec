#include "Platform.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

QString &applicationFolderOverride()
{
    static QString folder;
    return folder;
}

QString standardFolder(QStandardPaths::StandardLocation location)
{
    const QString path = QStandardPaths::writableLocation(location);
    return QDir::toNativeSeparators(path.isEmpty() ? QDir::homePath() : path);
}

} // namespace

namespace Platform {

QString platformTag()
{
#ifdef Q_OS_WIN
    return QStringLiteral("win");
#else
    return QStringLiteral("linux");
#endif
}

QString perUserFolder()
{
    QString base = qEnvironmentVariable("APPDATA");
    if (base.isEmpty())
        base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return QDir::toNativeSeparators(base + QStringLiteral("/Vidarro"));
}

bool ensurePerUserFolder()
{
    const QString folder = perUserFolder();
    if (QDir(folder).exists())
        return true;
    return qEnvironmentVariableIsEmpty("APPDATA") ? QDir().mkpath(folder) : QDir().mkdir(folder);
}

QString applicationFolder()
{
    if (!applicationFolderOverride().isEmpty())
        return applicationFolderOverride();
    if (QCoreApplication::instance())
        return QCoreApplication::applicationDirPath();
    return QDir::currentPath();
}

void setApplicationFolder(const QString &folder)
{
    applicationFolderOverride() = folder;
}

QString executableSuffix()
{
#ifdef Q_OS_WIN
    return QStringLiteral(".exe");
#else
    return QString();
#endif
}

QString downloaderToolName()
{
    return QStringLiteral("run") + executableSuffix();
}

QString updateScriptSuffix()
{
#ifdef Q_OS_WIN
    return QStringLiteral(".bat");
#else
    return QStringLiteral(".sh");
#endif
}

QString updaterProgramName()
{
    return QStringLiteral("wyUpdate") + executableSuffix();
}

QString companionProgram(const QString &baseName)
{
    const QString beside = QDir::toNativeSeparators(
        applicationFolder() + QLatin1Char('/') + baseName + executableSuffix());
    if (QFileInfo(beside).isExecutable())
        return beside;
    const QString onPath = QStandardPaths::findExecutable(baseName);
    return onPath.isEmpty() ? beside : onPath;
}

QString settingsTemplatePath()
{
    return QDir::toNativeSeparators(applicationFolder() + QStringLiteral("/sniffer_")
                                    + platformTag() + QStringLiteral(".ini"));
}

QString documentsFolder() { return standardFolder(QStandardPaths::DocumentsLocation); }
QString musicFolder() { return standardFolder(QStandardPaths::MusicLocation); }
QString moviesFolder() { return standardFolder(QStandardPaths::MoviesLocation); }
QString desktopFolder() { return standardFolder(QStandardPaths::DesktopLocation); }
QString homeFolder() { return QDir::toNativeSeparators(QDir::homePath()); }
QString cacheFolder() { return standardFolder(QStandardPaths::CacheLocation); }

} // namespace Platform

#include "Options.h"

#include "LogLine.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QMutex>
#include <QSettings>
#include <QVariant>

#include <array>
#include <cstdlib>
#include <optional>

namespace Orx {

namespace {

constexpr int maxLastOpenedFiles = 10;
constexpr int defaultRatio = 2;
const QSize defaultSize(640, 360);

const char *const folderKeys[Options::FolderCount] = {
    "TempFolderPath",     "ExportFolderPath",  "OpenProjectFolderPath", "SaveProjectFolderPath",
    "RippingFolderPath",  "SnifferFolderPath", "CacheFolderPath",
};
const char *const folderDefaults[Options::FolderCount] = {
    "Temp", "Export", "Projects", "Projects", "Rip", "Sniffer", "Cache",
};

bool validKind(int kind)
{
    return kind >= 0 && kind < Options::FolderCount;
}

void ensureFolder(const QString &path)
{
    if (!QFileInfo::exists(path))
        QDir().mkdir(path);
}

QString key(const char *name)
{
    return QString::fromLatin1(name);
}

// A stored value turned into the type the key always has. Anything that does
// not read cleanly as that type is refused, so a hand-edited or damaged entry
// falls back instead of becoming a surprising value.
std::optional<QVariant> asType(const QVariant &value, int typeId)
{
    if (value.typeId() == typeId)
        return value;
    if (typeId == QMetaType::Bool && value.typeId() == QMetaType::QString) {
        const QString text = value.toString().trimmed().toLower();
        if (text == QLatin1String("true") || text == QLatin1String("1"))
            return QVariant(true);
        if (text == QLatin1String("false") || text == QLatin1String("0"))
            return QVariant(false);
        return std::nullopt;
    }
    if (typeId == QMetaType::QString && value.typeId() != QMetaType::QString
        && value.typeId() != QMetaType::QByteArray)
        return std::nullopt;
    QVariant converted = value;
    if (!converted.convert(QMetaType(typeId)))
        return std::nullopt;
    return converted;
}

} // namespace

struct OptionsData
{
    explicit OptionsData(Options *store) : owner(store) {}

    QVariant readTyped(const QString &name, const QVariant &fallback) const;
    void writeTyped(const QString &name, const QVariant &value);

    Options *owner;
    int defaultAspectRatio = defaultRatio;
    bool alwaysOnTop = false;
    QStringList lastOpenedFiles;
    QSize sizeCustom{-1, -1};
    QSize sizeRecent{-1, -1};
    std::array<QString, Options::FolderCount> folders;
    std::array<QString, Options::FolderCount> lastFolders;
    bool clearCache = false;
    QSettings *settings = nullptr;
    QMap<QString, QVariant> defaults;
    QString filePath;
};

void OptionsData::writeTyped(const QString &name, const QVariant &value)
{
    if (!settings)
        return;
    settings->setValue(name + QStringLiteral("/_type_"), value.typeId());
    settings->setValue(name + QStringLiteral("/_value_"), value);
}

QVariant OptionsData::readTyped(const QString &name, const QVariant &fallback) const
{
    if (!settings)
        return fallback;
    const QString valueKey = name + QStringLiteral("/_value_");
    if (!settings->contains(valueKey))
        return fallback;
    const int storedType = settings->value(name + QStringLiteral("/_type_")).toInt();
    QVariant value = settings->value(valueKey);
    // An entry written by this store reads back as its own type; others go
    // through the stored type first, then the key's own type.
    if (storedType > 0 && storedType != fallback.typeId()) {
        LOG_WARNING << "readTyped" << ":" << name << ":" << "stored type" << ":" << storedType;
        if (const auto stored = asType(value, storedType))
            value = *stored;
    }
    if (const auto typed = asType(value, fallback.typeId()))
        return *typed;
    LOG_WARNING << "readTyped" << ":" << name << ":" << "unreadable value, default used";
    return fallback;
}

namespace {

QBasicMutex storeMutex;
Options *store = nullptr;

void destroyStore()
{
    Options *doomed = nullptr;
    {
        QMutexLocker lock(&storeMutex);
        doomed = store;
        store = nullptr;
    }
    delete doomed;
}

} // namespace

Options *Options::instance()
{
    QMutexLocker lock(&storeMutex);
    if (!store) {
        store = new Options(nullptr);
        // Whichever thread asks first, the store lives with the application.
        if (QCoreApplication::instance())
            store->moveToThread(QCoreApplication::instance()->thread());
        // Saved while the application object still stands when there is one,
        // at the latest when the process exits.
        if (QCoreApplication::instance())
            qAddPostRoutine(destroyStore);
        static const bool registered = std::atexit(destroyStore) == 0;
        Q_UNUSED(registered);
    }
    return store;
}

Options::Options(QObject *parent) : QObject(parent)
{
    init();
}

Options::Options(const Options &other) : QObject(other.parent())
{
    init();
    assign(other);
}

void Options::init()
{
    d = std::make_unique<OptionsData>(this);
    d->filePath = userFolder() + QDir::separator() + QStringLiteral("Orx.Options.ini");
    if (QFileInfo::exists(d->filePath)) {
        d->settings = new QSettings(d->filePath, QSettings::IniFormat, this);
        // The next save rewrites the file with what could be read; keep the
        // damaged original so nothing of the user's is gone for good.
        d->settings->allKeys(); // the file is parsed on first use
        if (d->settings->status() == QSettings::FormatError) {
            const QString copy = d->filePath + QStringLiteral(".damaged");
            QFile::remove(copy);
            const bool kept = QFile::copy(d->filePath, copy);
            LOG_WARNING << "Options" << ":" << d->filePath << ":" << "unreadable parts, copy kept" << ":"
                        << (kept ? copy : QStringLiteral("none"));
        }
    }

    for (int kind = 0; kind < FolderCount; ++kind)
        d->defaults.insert(key(folderKeys[kind]),
                           QString(userFolder() + QDir::separator() + key(folderDefaults[kind])));
    d->defaults.insert(QStringLiteral("AlwaysOnTop"), false);
    d->defaults.insert(QStringLiteral("DefaultAspectRatio"), defaultRatio);
    d->defaults.insert(QStringLiteral("LastOpenedFiles"), QStringList());
    d->defaults.insert(QStringLiteral("SizeCustom"), defaultSize);
    d->defaults.insert(QStringLiteral("SizeRecent"), defaultSize);
    d->defaults.insert(QStringLiteral("ClearCache"), false);

    // What the file holds comes in now, so that the save at exit writes it
    // back with this run's changes instead of empty folders over it.
    if (d->settings)
        loadFile();
}

Options::~Options()
{
    if (d)
        save();
}

QString Options::userFolder()
{
    const QString folder = QDir::toNativeSeparators(
        QDir::homePath() + QDir::separator() + QCoreApplication::applicationName()
        + QLatin1Char(' ') + QCoreApplication::applicationVersion());
    ensureFolder(folder);
    return folder;
}

QString Options::filePath() const
{
    return d->filePath;
}

QString Options::folder(int kind) const
{
    return validKind(kind) ? d->folders[kind] : QString();
}

void Options::setFolder(int kind, const QString &path)
{
    if (!validKind(kind))
        return;
    d->folders[kind] = QDir::toNativeSeparators(path);
    if (!d->lastFolders[kind].isNull())
        d->lastFolders[kind] = QString();
    if (!d->folders[kind].isEmpty() && !QFileInfo::exists(d->folders[kind]))
        QDir().mkpath(d->folders[kind]);
    if (kind == TempFolder)
        emit tempFolderChanged(d->folders[TempFolder]);
}

QString Options::lastFolder(int kind) const
{
    return validKind(kind) ? d->lastFolders[kind] : QString();
}

void Options::setLastFolder(int kind, const QString &path)
{
    if (validKind(kind))
        d->lastFolders[kind] = QDir::toNativeSeparators(path);
}

bool Options::alwaysOnTop() const { return d->alwaysOnTop; }
void Options::setAlwaysOnTop(bool on) { d->alwaysOnTop = on; }
int Options::defaultAspectRatio() const { return d->defaultAspectRatio; }
void Options::setDefaultAspectRatio(int ratio) { d->defaultAspectRatio = ratio; }
QSize Options::sizeCustom() const { return d->sizeCustom; }
void Options::setSizeCustom(const QSize &size) { d->sizeCustom = size; }
QSize Options::sizeRecent() const { return d->sizeRecent; }
void Options::setSizeRecent(const QSize &size) { d->sizeRecent = size; }
bool Options::clearCache() const { return d->clearCache; }
void Options::setClearCache(bool on) { d->clearCache = on; }

QStringList Options::lastOpenedFiles() const
{
    return d->lastOpenedFiles;
}

void Options::addLastOpenedFile(const QString &path)
{
    d->lastOpenedFiles.removeAll(path);
    d->lastOpenedFiles.prepend(path);
    while (d->lastOpenedFiles.size() > maxLastOpenedFiles)
        d->lastOpenedFiles.removeLast();
}

void Options::reload(bool fromFile)
{
    if (!fromFile || !d->settings) {
        for (int kind = 0; kind < FolderCount; ++kind)
            setFolder(kind, d->defaults.value(key(folderKeys[kind])).toString());
        setAlwaysOnTop(d->defaults.value(QStringLiteral("AlwaysOnTop")).toBool());
        setDefaultAspectRatio(d->defaults.value(QStringLiteral("DefaultAspectRatio")).toInt());
        d->lastOpenedFiles = d->defaults.value(QStringLiteral("LastOpenedFiles")).toStringList();
        setSizeCustom(d->defaults.value(QStringLiteral("SizeCustom")).toSize());
        setSizeRecent(d->defaults.value(QStringLiteral("SizeRecent")).toSize());
        setClearCache(d->defaults.value(QStringLiteral("ClearCache")).toBool());
    } else {
        loadFile();
    }
    emit tempFolderChanged(d->folders[TempFolder]);
}

void Options::loadFile()
{
    for (int kind = 0; kind < FolderCount; ++kind)
        setFolder(kind, d->readTyped(key(folderKeys[kind]), QString()).toString());
    d->alwaysOnTop = d->readTyped(QStringLiteral("AlwaysOnTop"), false).toBool();
    d->lastOpenedFiles = d->readTyped(QStringLiteral("LastOpenedFiles"), QStringList()).toStringList();
    // A file edited by hand may hold more than the list ever keeps.
    while (d->lastOpenedFiles.size() > maxLastOpenedFiles)
        d->lastOpenedFiles.removeLast();
    d->sizeCustom = d->readTyped(QStringLiteral("SizeCustom"), defaultSize).toSize();
    d->sizeRecent = d->readTyped(QStringLiteral("SizeRecent"), defaultSize).toSize();
    d->clearCache = d->readTyped(QStringLiteral("ClearCache"), false).toBool();
    d->defaultAspectRatio = d->readTyped(QStringLiteral("DefaultAspectRatio"), defaultRatio).toInt();
}

void Options::save()
{
    // The file holds the user's folders: readable by the user alone. Made
    // empty with those rights first, the settings library keeps them.
    if (!QFileInfo::exists(d->filePath))
        QFile(d->filePath).open(QIODevice::WriteOnly | QIODevice::NewOnly, QFile::ReadOwner | QFile::WriteOwner);
    if (!d->settings)
        d->settings = new QSettings(d->filePath, QSettings::IniFormat, this);
    for (int kind = 0; kind < FolderCount; ++kind)
        d->writeTyped(key(folderKeys[kind]), d->folders[kind]);
    d->writeTyped(QStringLiteral("AlwaysOnTop"), d->alwaysOnTop);
    d->writeTyped(QStringLiteral("DefaultAspectRatio"), d->defaultAspectRatio);
    d->writeTyped(QStringLiteral("LastOpenedFiles"), d->lastOpenedFiles);
    d->writeTyped(QStringLiteral("SizeCustom"), d->sizeCustom);
    d->writeTyped(QStringLiteral("SizeRecent"), d->sizeRecent);
    d->writeTyped(QStringLiteral("ClearCache"), d->clearCache);
    d->settings->sync();
    if (d->settings->status() != QSettings::NoError)
        LOG_WARNING << "save" << ":" << d->filePath << ":" << "status" << ":"
                    << static_cast<int>(d->settings->status());
}

void Options::assign(const Options &other)
{
    if (&other == this)
        return;
    d->alwaysOnTop = other.d->alwaysOnTop;
    d->defaultAspectRatio = other.d->defaultAspectRatio;
    static constexpr int order[FolderCount] = {ExportFolder, OpenProjectFolder, RippingFolder,
                                               SaveProjectFolder, SnifferFolder, TempFolder,
                                               CacheFolder};
    for (int kind : order)
        setFolder(kind, other.d->folders[kind]);
    for (int kind : order)
        setLastFolder(kind, other.d->lastFolders[kind]);
    d->lastOpenedFiles = other.d->lastOpenedFiles;
    d->sizeCustom = other.d->sizeCustom;
    d->sizeRecent = other.d->sizeRecent;
    d->clearCache = other.d->clearCache;
}

} // namespace Orx

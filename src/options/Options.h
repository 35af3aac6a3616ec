#pragma once

#include <QObject>
#include <QSize>
#include <QString>
#include <QStringList>

#include <memory>

namespace Orx {

struct OptionsData;

// Working folders and preferences, kept in "Orx.Options.ini" in the user's
// own folder. Every value is stored with its type so reading it back gives
// the same kind of value.
class Options : public QObject
{
    Q_OBJECT

public:
    enum FolderKind {
        TempFolder = 0,
        ExportFolder = 1,
        OpenProjectFolder = 2,
        SaveProjectFolder = 3,
        RippingFolder = 4,
        SnifferFolder = 5,
        CacheFolder = 6,
    };
    static constexpr int FolderCount = 7;

    // The process-wide store, created on first use and saved at process exit.
    static Options *instance();

    explicit Options(QObject *parent = nullptr);
    Options(const Options &other);
    Options &operator=(const Options &) = delete;
    ~Options() override;

    // Home folder, then "<application name> <application version>"; created
    // when missing (one level).
    static QString userFolder();
    QString filePath() const;

    QString folder(int kind) const;
    void setFolder(int kind, const QString &path);
    QString lastFolder(int kind) const;
    void setLastFolder(int kind, const QString &path);

    bool alwaysOnTop() const;
    void setAlwaysOnTop(bool on);
    int defaultAspectRatio() const;
    void setDefaultAspectRatio(int ratio);
    QSize sizeCustom() const;
    void setSizeCustom(const QSize &size);
    QSize sizeRecent() const;
    void setSizeRecent(const QSize &size);
    bool clearCache() const;
    void setClearCache(bool on);

    QStringList lastOpenedFiles() const;
    void addLastOpenedFile(const QString &path);

    void reload(bool fromFile);
    void save();
    void assign(const Options &other);

signals:
    void tempFolderChanged(QString newPath);

private:
    friend struct OptionsData;
    void init();
    void loadFile();
    std::unique_ptr<OptionsData> d;
};

} // namespace Orx

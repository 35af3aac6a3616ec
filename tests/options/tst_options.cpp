#include "TestFiles.h"
#include "Options.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

#include <atomic>
#include <thread>
#include <vector>

using Orx::Options;

namespace {

const QStringList allKeys = {
    "TempFolderPath", "ExportFolderPath", "OpenProjectFolderPath", "SaveProjectFolderPath",
    "RippingFolderPath", "SnifferFolderPath", "CacheFolderPath", "AlwaysOnTop",
    "DefaultAspectRatio", "LastOpenedFiles", "SizeCustom", "SizeRecent", "ClearCache",
};

} // namespace

class TestOptions : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void userFolderIsNamedAfterTheApplication();
    void constructionReadsNothing();
    void defaultsCreateTheirFolders();
    void saveWritesEveryKeyTyped();
    void roundTripKeepsEveryValue();
    void recentFilesMoveToFrontAndDropTheOldest();
    void settingAFolderForgetsTheLastUsedOne();
    void tempFolderSignals();
    void missingKeysGiveEmptyFoldersAndFallbacks();
    void missingFileGivesDefaults();
    void damagedEntries_data();
    void damagedEntries();
    void binaryFileKeepsTheReadableValues();
    void readOnlyFileIsLeftAlone();
    void overlongRecentListIsCut();
    void assignAndCopy();
    void kindsOutsideTheStoreAreIgnored();
    void instanceIsOneStoreAcrossThreads();
    void processExitSavesTheSharedStore_data();
    void processExitSavesTheSharedStore();

private:
    QString optionsFile() const { return Options::userFolder() + "/Orx.Options.ini"; }
    QTemporaryDir m_home;
};

void TestOptions::initTestCase()
{
    QVERIFY(m_home.isValid());
    qputenv("HOME", QFile::encodeName(m_home.path()));
    QCoreApplication::setApplicationName("Vidarro");
    QCoreApplication::setApplicationVersion("1.0.0.218");
}

void TestOptions::init()
{
    // Each case starts without an options file and without working folders.
    QDir(m_home.path() + "/Vidarro 1.0.0.218").removeRecursively();
}

void TestOptions::userFolderIsNamedAfterTheApplication()
{
    const QString expected = m_home.path() + "/Vidarro 1.0.0.218";
    QVERIFY(!QFileInfo::exists(expected));
    QCOMPARE(Options::userFolder(), expected);
    QVERIFY(QFileInfo(expected).isDir());
    Options store;
    QCOMPARE(store.filePath(), expected + "/Orx.Options.ini");
}

void TestOptions::constructionReadsNothing()
{
    Options first;
    first.setAlwaysOnTop(true);
    first.setFolder(Options::ExportFolder, m_home.path() + "/export");
    first.save();

    Options store;
    QCOMPARE(store.alwaysOnTop(), false);
    QCOMPARE(store.defaultAspectRatio(), 2);
    QCOMPARE(store.clearCache(), false);
    QCOMPARE(store.sizeCustom(), QSize(-1, -1));
    QCOMPARE(store.sizeRecent(), QSize(-1, -1));
    QVERIFY(store.lastOpenedFiles().isEmpty());
    for (int kind = 0; kind < Options::FolderCount; ++kind) {
        QVERIFY(store.folder(kind).isEmpty());
        QVERIFY(store.lastFolder(kind).isNull());
    }
}

void TestOptions::defaultsCreateTheirFolders()
{
    Options store;
    store.reload(false);
    const QString base = Options::userFolder();
    const QStringList names = {"Temp", "Export", "Projects", "Projects", "Rip", "Sniffer", "Cache"};
    for (int kind = 0; kind < Options::FolderCount; ++kind) {
        QCOMPARE(store.folder(kind), base + "/" + names[kind]);
        QVERIFY(QFileInfo(store.folder(kind)).isDir());
    }
    QCOMPARE(store.alwaysOnTop(), false);
    QCOMPARE(store.defaultAspectRatio(), 2);
    QCOMPARE(store.sizeCustom(), QSize(640, 360));
    QCOMPARE(store.sizeRecent(), QSize(640, 360));
    QCOMPARE(store.clearCache(), false);
    QVERIFY(store.lastOpenedFiles().isEmpty());
}

void TestOptions::saveWritesEveryKeyTyped()
{
    QVERIFY(!QFileInfo::exists(optionsFile()));
    {
        Options store;
        store.reload(true); // no file yet: defaults
        store.save();
    }
    QVERIFY(QFileInfo::exists(optionsFile()));
    QSettings file(optionsFile(), QSettings::IniFormat);
    for (const QString &key : allKeys) {
        QVERIFY2(file.contains(key + "/_type_"), qPrintable(key));
        QVERIFY2(file.contains(key + "/_value_"), qPrintable(key));
    }
    QCOMPARE(file.value("TempFolderPath/_type_").toInt(), 10);
    QCOMPARE(file.value("AlwaysOnTop/_type_").toInt(), 1);
    QCOMPARE(file.value("DefaultAspectRatio/_type_").toInt(), 2);
    QCOMPARE(file.value("LastOpenedFiles/_type_").toInt(), 11);
    QCOMPARE(file.value("SizeCustom/_type_").toInt(), 21);
    QCOMPARE(file.value("SizeRecent/_type_").toInt(), 21);
    QCOMPARE(file.value("ClearCache/_type_").toInt(), 1);
    QCOMPARE(file.value("SizeCustom/_value_").toSize(), QSize(640, 360));
    // The text file a user would open carries one section per key.
    const QByteArray text = readFile(optionsFile());
    QVERIFY(text.contains("[SnifferFolderPath]"));
    QVERIFY(text.contains("_value_=@Size(640 360)"));
}

void TestOptions::roundTripKeepsEveryValue()
{
    const QString folder = m_home.path() + "/deep/er/folder, with comma";
    {
        Options store;
        for (int kind = 0; kind < Options::FolderCount; ++kind)
            store.setFolder(kind, folder + QString::number(kind));
        store.setAlwaysOnTop(true);
        store.setDefaultAspectRatio(4);
        store.addLastOpenedFile("/a/one.flv");
        store.addLastOpenedFile("/b/two, three.mp4");
        store.setSizeCustom(QSize(800, 450));
        store.setSizeRecent(QSize(1920, 1080));
        store.setClearCache(true);
    } // destruction saves
    Options store;
    store.reload(true);
    for (int kind = 0; kind < Options::FolderCount; ++kind)
        QCOMPARE(store.folder(kind), folder + QString::number(kind));
    QCOMPARE(store.alwaysOnTop(), true);
    QCOMPARE(store.defaultAspectRatio(), 4);
    QCOMPARE(store.lastOpenedFiles(), QStringList({"/b/two, three.mp4", "/a/one.flv"}));
    QCOMPARE(store.sizeCustom(), QSize(800, 450));
    QCOMPARE(store.sizeRecent(), QSize(1920, 1080));
    QCOMPARE(store.clearCache(), true);

    // A one-entry and an empty list come back as lists too.
    store.addLastOpenedFile("/b/two, three.mp4");
    Options single;
    single.addLastOpenedFile("/only.flv");
    single.save();
    Options readSingle;
    readSingle.reload(true);
    QCOMPARE(readSingle.lastOpenedFiles(), QStringList({"/only.flv"}));
}

void TestOptions::recentFilesMoveToFrontAndDropTheOldest()
{
    Options store;
    for (int i = 1; i <= 10; ++i)
        store.addLastOpenedFile(QString("/f%1").arg(i));
    QCOMPARE(store.lastOpenedFiles().size(), 10);
    store.addLastOpenedFile("/f3");
    QCOMPARE(store.lastOpenedFiles().size(), 10);
    QCOMPARE(store.lastOpenedFiles().first(), QString("/f3"));
    QCOMPARE(store.lastOpenedFiles().count("/f3"), 1);
    store.addLastOpenedFile("/F3"); // other case: another file
    QCOMPARE(store.lastOpenedFiles().size(), 10);
    QVERIFY(!store.lastOpenedFiles().contains("/f1")); // the oldest went
    QCOMPARE(store.lastOpenedFiles().mid(0, 2), QStringList({"/F3", "/f3"}));
}

void TestOptions::settingAFolderForgetsTheLastUsedOne()
{
    Options store;
    store.setLastFolder(Options::SnifferFolder, m_home.path() + "/last");
    store.setLastFolder(Options::ExportFolder, m_home.path() + "/exp");
    QCOMPARE(store.lastFolder(Options::SnifferFolder), m_home.path() + "/last");
    const QString target = m_home.path() + "/a/b/c/sniffed";
    QVERIFY(!QFileInfo::exists(m_home.path() + "/a"));
    store.setFolder(Options::SnifferFolder, target);
    QVERIFY(store.lastFolder(Options::SnifferFolder).isNull());
    QCOMPARE(store.lastFolder(Options::ExportFolder), m_home.path() + "/exp");
    QVERIFY(QFileInfo(target).isDir());
    QCOMPARE(store.folder(Options::SnifferFolder), target);
}

void TestOptions::tempFolderSignals()
{
    Options store;
    QSignalSpy spy(&store, &Options::tempFolderChanged);
    store.setFolder(Options::ExportFolder, m_home.path() + "/x");
    QCOMPARE(spy.count(), 0);
    store.setFolder(Options::TempFolder, m_home.path() + "/tmpwork");
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.takeFirst().at(0).toString(), m_home.path() + "/tmpwork");
    store.reload(false);
    QCOMPARE(spy.count(), 2);
    QCOMPARE(spy.at(1).at(0).toString(), Options::userFolder() + "/Temp");
}

void TestOptions::missingKeysGiveEmptyFoldersAndFallbacks()
{
    writeFile(optionsFile(), "[ExportFolderPath]\n_type_=10\n_value_=/srv/export\n"
                             "[DefaultAspectRatio]\n_type_=2\n_value_=5\n");
    Options store;
    store.reload(true);
    QCOMPARE(store.folder(Options::ExportFolder), QString("/srv/export"));
    QVERIFY(store.folder(Options::TempFolder).isEmpty());
    QVERIFY(store.folder(Options::SnifferFolder).isEmpty());
    QCOMPARE(store.defaultAspectRatio(), 5);
    QCOMPARE(store.alwaysOnTop(), false);
    QCOMPARE(store.sizeCustom(), QSize(640, 360));
    QCOMPARE(store.sizeRecent(), QSize(640, 360));
    QCOMPARE(store.clearCache(), false);
}

void TestOptions::missingFileGivesDefaults()
{
    Options store;
    QSignalSpy spy(&store, &Options::tempFolderChanged);
    store.reload(true);
    QCOMPARE(spy.count(), 2);
    QCOMPARE(store.folder(Options::CacheFolder), Options::userFolder() + "/Cache");
    QCOMPARE(store.sizeCustom(), QSize(640, 360));
    QVERIFY(!QFileInfo::exists(optionsFile()));
}

void TestOptions::damagedEntries_data()
{
    QTest::addColumn<QByteArray>("section");
    QTest::addColumn<QString>("check");

    QTest::newRow("bool as word") << QByteArray("[AlwaysOnTop]\n_type_=1\n_value_=banana\n") << "top";
    QTest::newRow("bool typed as size") << QByteArray("[AlwaysOnTop]\n_type_=21\n_value_=@Size(3 4)\n") << "top";
    QTest::newRow("int not a number") << QByteArray("[DefaultAspectRatio]\n_type_=2\n_value_=wide\n") << "ratio";
    QTest::newRow("int typed as list") << QByteArray("[DefaultAspectRatio]\n_type_=11\n_value_=a, b\n") << "ratio";
    QTest::newRow("size as text") << QByteArray("[SizeCustom]\n_type_=21\n_value_=big\n") << "size";
    QTest::newRow("size typed as int") << QByteArray("[SizeCustom]\n_type_=2\n_value_=12\n") << "size";
    QTest::newRow("size unknown type") << QByteArray("[SizeCustom]\n_type_=9999\n_value_=@Size(1 2\n") << "size";
    QTest::newRow("folder as size") << QByteArray("[TempFolderPath]\n_type_=21\n_value_=@Size(3 4)\n") << "temp";
    QTest::newRow("no type entry") << QByteArray("[SizeCustom]\n_value_=@Point(1 2)\n") << "size";
}

void TestOptions::damagedEntries()
{
    QFETCH(QByteArray, section);
    QFETCH(QString, check);
    // The user's good values sit around the damaged one and must survive it.
    writeFile(optionsFile(), "[ClearCache]\n_type_=1\n_value_=true\n" + section
                                 + "[ExportFolderPath]\n_type_=10\n_value_=/srv/keep\n"
                                   "[SizeRecent]\n_type_=21\n_value_=@Size(1280 720)\n");
    Options store;
    store.reload(true);
    QCOMPARE(store.clearCache(), true);
    QCOMPARE(store.folder(Options::ExportFolder), QString("/srv/keep"));
    QCOMPARE(store.sizeRecent(), QSize(1280, 720));
    if (check == "top")
        QCOMPARE(store.alwaysOnTop(), false);
    else if (check == "ratio")
        QCOMPARE(store.defaultAspectRatio(), 2);
    else if (check == "size")
        QCOMPARE(store.sizeCustom(), QSize(640, 360));
    else
        QVERIFY(store.folder(Options::TempFolder).isEmpty());

    // Saving writes the sound values back in the store's own form.
    store.save();
    Options again;
    again.reload(true);
    QCOMPARE(again.folder(Options::ExportFolder), QString("/srv/keep"));
    QCOMPARE(again.sizeCustom(), store.sizeCustom());
    QCOMPARE(again.alwaysOnTop(), store.alwaysOnTop());
}

void TestOptions::binaryFileKeepsTheReadableValues()
{
    QByteArray junk;
    for (int i = 0; i < 4096; ++i)
        junk.append(char((i * 7919) & 0xff));
    const QByteArray damaged = "[AlwaysOnTop]\n_type_=1\n_value_=true\n" + junk
                               + "\n[RippingFolderPath]\n_type_=10\n_value_=/srv/rip\n";
    writeFile(optionsFile(), damaged);
    Options store;
    store.reload(true);
    QCOMPARE(store.alwaysOnTop(), true);
    QCOMPARE(store.sizeCustom(), QSize(640, 360));
    QCOMPARE(store.defaultAspectRatio(), 2);
    store.save();
    // Saving rewrites the file in sound form; the damaged one stays beside it.
    QCOMPARE(readFile(optionsFile() + ".damaged"), damaged);
    Options again;
    again.reload(true);
    QCOMPARE(again.alwaysOnTop(), true);
    QCOMPARE(again.sizeCustom(), QSize(640, 360));
    QVERIFY(readFile(optionsFile()).contains("[ClearCache]"));
}

void TestOptions::readOnlyFileIsLeftAlone()
{
    // A home of its own: the settings library remembers unsaved values per
    // file for the rest of the process, which would leak into later cases.
    QTemporaryDir home;
    QVERIFY(home.isValid());
    qputenv("HOME", QFile::encodeName(home.path()));
    auto backHome = qScopeGuard([this] { qputenv("HOME", QFile::encodeName(m_home.path())); });
    const QByteArray original = "[AlwaysOnTop]\n_type_=1\n_value_=true\n";
    writeFile(optionsFile(), original);
    QVERIFY(QFile::setPermissions(optionsFile(), QFile::ReadOwner | QFile::ReadUser));
    // Root writes through permission bits; an immutable file stops it too.
    const bool immutable = geteuid() == 0;
    if (immutable && QProcess::execute("chattr", {"+i", optionsFile()}) != 0)
        QSKIP("no way to make the file read-only for root here");
    auto restore = qScopeGuard([&] {
        if (immutable)
            QProcess::execute("chattr", {"-i", optionsFile()});
        QFile::setPermissions(optionsFile(), QFile::ReadOwner | QFile::WriteOwner);
    });
    {
        Options store;
        store.reload(true);
        QCOMPARE(store.alwaysOnTop(), true);
        store.setDefaultAspectRatio(9);
        store.save();
        QCOMPARE(store.defaultAspectRatio(), 9);
        QCOMPARE(store.alwaysOnTop(), true);
    }
    QCOMPARE(readFile(optionsFile()), original);
}

void TestOptions::overlongRecentListIsCut()
{
    QStringList many;
    for (int i = 0; i < 500; ++i)
        many << QString("/m/%1.flv").arg(i);
    writeFile(optionsFile(), "[LastOpenedFiles]\n_type_=11\n_value_=" + many.join(", ").toUtf8() + "\n");
    Options store;
    store.reload(true);
    QCOMPARE(store.lastOpenedFiles(), many.mid(0, 10));
}

void TestOptions::assignAndCopy()
{
    Options source;
    for (int kind = 0; kind < Options::FolderCount; ++kind) {
        source.setFolder(kind, m_home.path() + "/src" + QString::number(kind));
        source.setLastFolder(kind, m_home.path() + "/last" + QString::number(kind));
    }
    source.setAlwaysOnTop(true);
    source.setDefaultAspectRatio(3);
    source.addLastOpenedFile("/x.flv");
    source.setSizeCustom(QSize(1, 2));
    source.setSizeRecent(QSize(3, 4));
    source.setClearCache(true);

    Options target;
    QSignalSpy spy(&target, &Options::tempFolderChanged);
    target.assign(source);
    QCOMPARE(spy.count(), 1);
    Options copy(source);
    for (Options *store : {&target, &copy}) {
        for (int kind = 0; kind < Options::FolderCount; ++kind) {
            QCOMPARE(store->folder(kind), source.folder(kind));
            QCOMPARE(store->lastFolder(kind), source.lastFolder(kind));
        }
        QCOMPARE(store->alwaysOnTop(), true);
        QCOMPARE(store->defaultAspectRatio(), 3);
        QCOMPARE(store->lastOpenedFiles(), QStringList({"/x.flv"}));
        QCOMPARE(store->sizeCustom(), QSize(1, 2));
        QCOMPARE(store->sizeRecent(), QSize(3, 4));
        QCOMPARE(store->clearCache(), true);
    }
    target.assign(target); // no-op on itself
    QCOMPARE(target.sizeRecent(), QSize(3, 4));
}

void TestOptions::kindsOutsideTheStoreAreIgnored()
{
    Options store;
    QSignalSpy spy(&store, &Options::tempFolderChanged);
    for (int kind : {-1, 7, 1000}) {
        store.setFolder(kind, m_home.path() + "/never");
        store.setLastFolder(kind, m_home.path() + "/never");
        QVERIFY(store.folder(kind).isEmpty());
        QVERIFY(store.lastFolder(kind).isEmpty());
    }
    QVERIFY(!QFileInfo::exists(m_home.path() + "/never"));
    QCOMPARE(spy.count(), 0);
}

void TestOptions::instanceIsOneStoreAcrossThreads()
{
    std::vector<std::thread> threads;
    std::atomic<Options *> seen[8] = {};
    for (int i = 0; i < 8; ++i)
        threads.emplace_back([&seen, i] { seen[i] = Options::instance(); });
    for (auto &thread : threads)
        thread.join();
    for (int i = 0; i < 8; ++i)
        QCOMPARE(seen[i].load(), Options::instance());
    QVERIFY(Options::instance() != nullptr);
}

void TestOptions::processExitSavesTheSharedStore_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("folderName");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::newRow("with application") << "" << "Vidarro 1.0.0.218" << "AlwaysOnTop/_value_" << "true";
    QTest::newRow("after application") << "noapp" << " " << "DefaultAspectRatio/_value_" << "7";
}

void TestOptions::processExitSavesTheSharedStore()
{
    QFETCH(QString, mode);
    QFETCH(QString, folderName);
    QFETCH(QString, key);
    QFETCH(QString, value);
    QTemporaryDir home;
    QVERIFY(home.isValid());
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", home.path());
    program.setProcessEnvironment(env);
    program.start(OPTIONS_EXIT_PROGRAM, mode.isEmpty() ? QStringList() : QStringList{mode});
    QVERIFY(program.waitForFinished(30000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
    const QString file = home.path() + "/" + folderName + "/Orx.Options.ini";
    QVERIFY2(QFileInfo::exists(file), qPrintable(file));
    QSettings saved(file, QSettings::IniFormat);
    QCOMPARE(saved.value(key).toString(), value);
    for (const QString &k : allKeys)
        QVERIFY(saved.contains(k + "/_type_"));
}

QTEST_GUILESS_MAIN(TestOptions)
#include "tst_options.moc"

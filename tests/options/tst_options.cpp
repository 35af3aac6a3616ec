#include "TestFiles.h"
#include "Options.h"

#include <QProcess>
#include <QScopeGuard>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

using Orx::Options;
using Values = QMap<QString, QVariant>;

namespace {

// Every key with its type number in the file.
const QList<QPair<QString, int>> keys = {
    {"TempFolderPath", 10}, {"ExportFolderPath", 10}, {"OpenProjectFolderPath", 10}, {"SaveProjectFolderPath", 10},
    {"RippingFolderPath", 10}, {"SnifferFolderPath", 10}, {"CacheFolderPath", 10}, {"AlwaysOnTop", 1},
    {"DefaultAspectRatio", 2}, {"LastOpenedFiles", 11}, {"SizeCustom", 21}, {"SizeRecent", 21}, {"ClearCache", 1}};

Values valuesOf(const Options &store)
{
    Values values{{"AlwaysOnTop", store.alwaysOnTop()}, {"DefaultAspectRatio", store.defaultAspectRatio()},
                  {"LastOpenedFiles", store.lastOpenedFiles()}, {"SizeCustom", store.sizeCustom()},
                  {"SizeRecent", store.sizeRecent()}, {"ClearCache", store.clearCache()}};
    for (int kind = 0; kind < Options::FolderCount; ++kind)
        values.insert(keys[kind].first, store.folder(kind));
    return values;
}

} // namespace

class TestOptions : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        qputenv("HOME", QFile::encodeName(m_home.path()));
        QCoreApplication::setApplicationName("Vidarro");
        QCoreApplication::setApplicationVersion("1.0.0.218");
    }
    // Each case starts without an options file and without working folders.
    void init() { QDir(m_home.path() + "/Vidarro 1.0.0.218").removeRecursively(); }

    void everyKeySavedAndReadAtCreation()
    {
        Values expected;
        {
            Options store;
            QCOMPARE(store.filePath(), m_home.path() + "/Vidarro 1.0.0.218/Orx.Options.ini");
            store.reload(false);
            store.setFolder(Options::RippingFolder, m_home.path() + "/deep/folder, with comma");
            store.addLastOpenedFile("/b, c.mp4");
            expected = valuesOf(store);
        } // destruction saves
        QCOMPARE(valuesOf(Options()), expected);
        // Readable by the user alone.
        QCOMPARE(QFileInfo(file()).permissions(),
                 QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
    }

    void defaultsAndTheirFolders()
    {
        Options store;
        store.reload(true); // no file: the defaults, and no file made
        QVERIFY(!QFileInfo::exists(file()));
        const QStringList names = {"Temp", "Export", "Projects", "Projects", "Rip", "Sniffer", "Cache"};
        for (int kind = 0; kind < Options::FolderCount; ++kind) {
            QCOMPARE(store.folder(kind), Options::userFolder() + "/" + names[kind]);
            QVERIFY(QFileInfo(store.folder(kind)).isDir());
        }
        QCOMPARE(store.sizeCustom(), QSize(640, 360));
    }

    // A missing or damaged entry falls back; the save writes back the rest with this run's changes.
    void readAtCreation_data()
    {
        QTest::addColumn<QByteArray>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QVariant>("expected");
        const auto row = [](const char *name, const QByteArray &section, const char *key, const QVariant &value) {
            QTest::newRow(name) << section << QString(key) << value;
        };
        const QVariant size(QSize(640, 360));
        row("missing folder", "", "TempFolderPath", QString());
        row("list", "[LastOpenedFiles]\n_type_=11\n_value_=/a.flv, \"/b, c.mp4\"", "LastOpenedFiles",
            QStringList{"/a.flv", "/b, c.mp4"});
        row("bool as word", "[AlwaysOnTop]\n_type_=1\n_value_=banana", "AlwaysOnTop", false);
        row("int as word", "[DefaultAspectRatio]\n_type_=2\n_value_=wide", "DefaultAspectRatio", 2);
        row("size as text", "[SizeCustom]\n_type_=21\n_value_=big", "SizeCustom", size);
        row("size unknown type", "[SizeCustom]\n_type_=9999\n_value_=@Size(1 2", "SizeCustom", size);
        row("folder as size", "[TempFolderPath]\n_type_=21\n_value_=@Size(3 4)", "TempFolderPath", QString());
        QStringList many;
        for (int i = 0; i < 500; ++i)
            many << QString("/m/%1.flv").arg(i);
        row("overlong recent list", "[LastOpenedFiles]\n_type_=11\n_value_=" + many.join(", ").toUtf8(),
            "LastOpenedFiles", many.mid(0, 10));
        QByteArray junk;
        for (int i = 0; i < 4096; ++i)
            junk.append(char((i * 7919) & 0xff));
        row("binary junk", junk, "SizeCustom", size); // also keeps a copy of the damaged file
    }

    void readAtCreation()
    {
        QFETCH(QByteArray, section);
        QFETCH(QString, key);
        QFETCH(QVariant, expected);
        // The user's good values sit around the damaged one and must survive it.
        const QByteArray text = "[ClearCache]\n_type_=1\n_value_=true\n" + section
                                + "\n[ExportFolderPath]\n_type_=10\n_value_=/tmp\n";
        writeFile(file(), text);
        for (int round = 0; round < 2; ++round) { // as read, then as saved and read again
            Options store;
            const Values values = valuesOf(store);
            QCOMPARE(values.value(key), expected);
            QCOMPARE(values.value("ClearCache"), QVariant(true));
            QCOMPARE(values.value("ExportFolderPath"), QVariant("/tmp"));
            QCOMPARE(store.sizeRecent(), round ? QSize(5, 6) : QSize(640, 360));
            store.setSizeRecent(QSize(5, 6));
        }
        QCOMPARE(readFile(file() + ".damaged"), QTest::currentDataTag() == QByteArray("binary junk") ? text : "");
    }

    void readOnlyFileIsLeftAlone()
    {
        const QByteArray original = "[AlwaysOnTop]\n_type_=1\n_value_=true\n";
        writeFile(file(), original);
        QVERIFY(QFile::setPermissions(file(), QFile::ReadOwner));
        // Root writes through permission bits; an immutable file stops it too.
        if (geteuid() == 0 && QProcess::execute("chattr", {"+i", file()}) != 0)
            QSKIP("no way to make the file read-only for root here");
        auto restore = qScopeGuard([&] { QProcess::execute("chattr", {"-i", file()}); });
        Options().setDefaultAspectRatio(9);
        QCOMPARE(readFile(file()), original);
    }

    void processExitSavesTheSharedStore()
    {
        // With the application object, and after it (only the process exit saves then).
        for (const auto &[mode, file, value] : {std::tuple("", "Vidarro 1.0.0.218/", "AlwaysOnTop=true"),
                                                std::tuple("noapp", " /", "DefaultAspectRatio=7")}) {
            QTemporaryDir home;
            QProcess program;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert("HOME", home.path());
            program.setProcessEnvironment(env);
            program.start(OPTIONS_EXIT_PROGRAM, *mode ? QStringList{mode} : QStringList());
            QVERIFY(program.waitForFinished(30000));
            QCOMPARE(program.exitCode(), 0); // and every thread found the one store
            QSettings saved(home.path() + "/" + file + "Orx.Options.ini", QSettings::IniFormat);
            const QString key = QString(value).section('=', 0, 0);
            QCOMPARE(saved.value(key + "/_value_").toString(), QString(value).section('=', 1));
            for (const auto &[name, type] : keys)
                QCOMPARE(saved.value(name + "/_type_").toInt(), type);
        }
    }

private:
    QString file() const { return Options::userFolder() + "/Orx.Options.ini"; }
    QTemporaryDir m_home;
};

QTEST_GUILESS_MAIN(TestOptions)
#include "tst_options.moc"

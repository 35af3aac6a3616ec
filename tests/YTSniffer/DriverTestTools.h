#pragma once

// Helpers shared by the driver's test suites.

#include "Downloader.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QtTest>

namespace DriverTest {

// The application folder of the build, holding the real launcher and update script.
inline QString binFolder()
{
    return qEnvironmentVariable("VIDARRO_BIN_DIR");
}

inline bool writeFile(const QString &path, const QByteArray &data)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

inline QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A small executable shell script standing in for a tool.
inline bool writeScript(const QString &path, const QByteArray &body)
{
    if (!writeFile(path, "#!/bin/sh\n" + body + "\n"))
        return false;
    return QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

// Waits for the spy's next signal; true when it came.
inline bool waitFor(QSignalSpy &spy, int count = 1, int ms = 30000)
{
    while (spy.count() < count) {
        if (!spy.wait(ms))
            return false;
    }
    return true;
}

// Lets queued answers arrive without waiting for anything in particular.
inline void settle(int ms = 300)
{
    QTest::qWait(ms);
}

inline Downloader::errors errorOf(const QSignalSpy &spy, int index = 0)
{
    return spy.at(index).at(0).value<Downloader::errors>();
}

} // namespace DriverTest

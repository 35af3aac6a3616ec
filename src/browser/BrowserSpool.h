#pragma once

#include "BrowserStream.h"

#include <QList>
#include <QString>

// The streams that arrived while no window listened: the newest 25, in a
// file of the per-user folder that only the user may read (it holds the
// browser's cookies). The hosts of several browsers and the window share it
// under a lock file; every write replaces the file whole. A link or a FIFO
// at either name is replaced, never followed or read (PrivateFile).
class BrowserSpool
{
public:
    static constexpr int capacity = 25;
    static constexpr qint64 maxFileSize = 4 * 1024 * 1024;

    struct Result
    {
        bool ok = true;
        QString error;
    };
    struct Taken
    {
        QList<BrowserStream> streams;   // oldest first
        QString error;                  // why nothing could be read, else empty
    };

    explicit BrowserSpool(const QString &perUserFolder);

    QString filePath() const;
    QString lockPath() const;

    // Adds a stream, dropping the oldest beyond capacity. The folder must
    // exist (Platform::ensurePerUserFolder).
    Result add(const BrowserStream &stream);

    // Reads and empties the spool. Entries that fail validation are left out.
    Taken takeAll();

private:
    QList<BrowserStream> read(QString *error) const;

    QString m_folder;
};

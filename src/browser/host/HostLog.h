#pragma once

#include <QString>

// The host's own log in the per-user folder. stdout belongs to the protocol
// and stderr ends up in the browser's log, so the host's lines go here: one
// per start, end, refusal and failed hand-over; never a header value or an
// address (signed addresses carry tokens). Kept under maxSize by starting
// afresh after moving the full file to ".old". A link or a FIFO at its name
// is replaced, never followed or waited on.
class HostLog
{
public:
    static constexpr qint64 maxSize = 1024 * 1024;

    explicit HostLog(const QString &perUserFolder);
    QString filePath() const { return m_path; }
    void write(const QString &line);

private:
    QString m_path;
};

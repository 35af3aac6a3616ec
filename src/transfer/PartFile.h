#pragma once

#include <QFile>
#include <QString>

#include <optional>

// The file a transfer writes: the body goes to "<target>.part" as it
// arrives and takes the target's name, in one step, only when it is whole.
// Every failure leaves no part behind once discard() ran; keep() leaves it
// for a later transfer to go on from.
class PartFile
{
public:
    struct Problem
    {
        enum Kind { Write, DiskFull, TooLarge } kind;
        QString text;
    };

    static QString partPath(const QString &target) { return target + QStringLiteral(".part"); }

    // With keepPart an existing part stays and the body goes on after it;
    // written() then starts at its size.
    std::optional<Problem> open(const QString &target, bool keepPart = false);
    // Empties the part: the body starts again from its first byte.
    std::optional<Problem> restart();
    // For a body of unknown length: it may fill the disk but for a margin.
    void limitToFreeSpace();
    std::optional<Problem> write(const char *data, qint64 size);
    // Takes the target's name, replacing an older file of that name.
    std::optional<Problem> commit();
    void discard();
    // Closes the part and leaves it where it is.
    void keep();

    quint64 written() const { return m_written; }

private:
    QString m_target;
    QFile m_file;
    quint64 m_written = 0;
    qint64 m_limit = -1;
};

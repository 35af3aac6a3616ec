#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QStringList>

// Cuts a tool's output stream into whole lines across reads. A line ends
// at "\n", "\r\n" or a lone "\r" (progress meters). A line longer than the
// bound is dropped whole, never split: a piece of it could pass for a line
// of its own. Bytes that are not UTF-8 become replacement characters; NUL
// and other control characters stay for the parsers to judge.
class LineBuffer
{
public:
    explicit LineBuffer(qsizetype maxLineBytes = 4096);

    // The lines these bytes complete.
    QStringList feed(QByteArrayView bytes);
    // At the end of the stream: the last line if it had no line end.
    QStringList finish();
    // Lines dropped as too long so far.
    qsizetype dropped() const { return m_dropped; }

private:
    void endLine(QStringList &lines);

    QByteArray m_partial;
    qsizetype m_maxLineBytes;
    qsizetype m_dropped = 0;
    bool m_skipping = false;   // inside a line already too long
    bool m_afterReturn = false; // a "\n" right after a "\r" ends nothing
};

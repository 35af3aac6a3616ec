#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

// Whether the head of a 2xx answer announces the whole file, as it is: only
// "200", or "206" whose Content-Range covers the stream from byte 0 to its
// end, with at most one readable Content-Length and no content coding.
namespace ServerAnswer {

struct Verdict
{
    QString problem;               // empty when the answer can be saved
    std::optional<quint64> length; // the announced length, when there is one
};

// contentLength and contentEncoding as the network layer gives them: the
// values of repeated header lines joined by ", ".
Verdict check(int status, QByteArrayView reason, QByteArrayView contentRange, QByteArrayView contentLength,
              QByteArrayView contentEncoding);

// Server-supplied text made safe to show and log: control characters as
// blanks, at most 120 characters.
QString shortText(const QString &text);

} // namespace ServerAnswer

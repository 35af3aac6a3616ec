#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

// Whether the head of a 2xx answer announces the whole file, as it is: only
// "200", or "206" whose Content-Range covers the stream from byte `from`
// (0 unless the request asked for the rest of a file) to its end, with at
// most one readable Content-Length and no content coding.
namespace ServerAnswer {

struct Verdict
{
    QString problem;               // empty when the answer can be saved
    std::optional<quint64> length; // the whole file's announced length, when there is one
};

// contentLength and contentEncoding as the network layer gives them: the
// values of repeated header lines joined by ", ".
Verdict check(int status, QByteArrayView reason, QByteArrayView contentRange, QByteArrayView contentLength,
              QByteArrayView contentEncoding, quint64 from = 0);

// What a later request can name in If-Range to get the rest of this very
// file: a strong ETag, else Last-Modified; empty when the server offers no
// byte ranges or neither value is fit to be sent back.
QByteArray validator(QByteArrayView etag, QByteArrayView lastModified, QByteArrayView acceptRanges);
// Whether a stored validator can go into a header line as it is.
bool isUsableValidator(QByteArrayView validator);

// Server-supplied text made safe to show and log: control characters as
// blanks, at most 120 characters.
QString shortText(const QString &text);

} // namespace ServerAnswer

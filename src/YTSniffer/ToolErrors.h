#pragma once

#include <QString>
#include <QStringList>

// What the downloader tool's "ERROR:" lines say went wrong, as the causes
// the window has a message for. An older tool ends with a Python traceback
// instead for some causes; its last line ("FileNotFoundError: ...") counts
// as an error line too.
enum class ToolFailure {
    Unknown,
    Forbidden,        // HTTP 403
    NotFound,         // HTTP 404 or 410
    TooManyRequests,  // HTTP 429
    Unsupported,      // no extractor for the address
    Unavailable,      // private, removed, blocked in this region
    SignIn,           // a sign-in or a bot check is asked for
    FormatMissing,    // the requested format is not offered
    NoJsRuntime,      // the site needs a JavaScript runtime the tool lacks
    ToolTooOld,       // the site changed: a newer tool is needed
    Network,          // unreachable, name lookup, time-out
    DiskFull,
    FfmpegMissing,
    NoCookies,        // the browser chosen for cookies has no cookie store here
};

namespace ToolErrors {

// Longest tool line kept as the detail of a message.
inline constexpr int maxDetail = 400;

// The last line that begins with "ERROR:", trimmed and cut to maxDetail;
// empty when there is none.
QString lastErrorLine(const QStringList &lines);

// The cause one error line names; Unknown for any other text.
ToolFailure classify(const QString &line);

} // namespace ToolErrors

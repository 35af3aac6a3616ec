#include "ToolErrors.h"

#include <QRegularExpression>

namespace {

// "ERROR: ...", or the exception line that ends a traceback:
// "FileNotFoundError: ...", "urllib.error.URLError: ...".
bool namesAnError(const QString &line)
{
    static const QRegularExpression exception(QStringLiteral("^(?:[A-Za-z_]\\w*\\.)*[A-Za-z_]\\w*(?:Error|Exception): "));
    return line.startsWith(QLatin1String("ERROR:")) || exception.match(line).hasMatch();
}

} // namespace

namespace ToolErrors {

QString lastErrorLine(const QStringList &lines)
{
    for (auto line = lines.crbegin(); line != lines.crend(); ++line) {
        const QString words = line->trimmed();
        if (words.startsWith(QLatin1String("ERROR:")))
            return words.left(maxDetail);
    }
    return {};
}

ToolFailure classify(const QString &line)
{
    if (!namesAnError(line))
        return ToolFailure::Unknown;
    // Most specific first: the tool ends many messages with advice to
    // update, whatever their cause, and names HTTP codes inside others.
    static const struct { ToolFailure failure; const char *words; } table[] = {
        {ToolFailure::DiskFull, "No space left on device"},
        {ToolFailure::DiskFull, "[Errno 28]"},
        {ToolFailure::FfmpegMissing, "ffmpeg is not installed"},
        {ToolFailure::FfmpegMissing, "ffmpeg not found"},
        {ToolFailure::FfmpegMissing, "ffprobe and ffmpeg not found"},
        // "could not find chromium cookies database in ...", before the
        // sign-in words: the cookies were never read.
        {ToolFailure::NoCookies, "cookies database"},
        {ToolFailure::NoJsRuntime, "JavaScript runtime"},
        {ToolFailure::NoJsRuntime, "JS runtime"},
        {ToolFailure::FormatMissing, "Requested format is not available"},
        {ToolFailure::TooManyRequests, "HTTP Error 429"},
        {ToolFailure::TooManyRequests, "Too Many Requests"},
        {ToolFailure::Forbidden, "HTTP Error 403"},
        {ToolFailure::NotFound, "HTTP Error 404"},
        {ToolFailure::NotFound, "HTTP Error 410"},
        {ToolFailure::Unsupported, "Unsupported URL"},
        {ToolFailure::Unsupported, "is not a valid URL"},
        {ToolFailure::SignIn, "Sign in to confirm"},
        {ToolFailure::SignIn, "not a bot"},
        {ToolFailure::SignIn, "--cookies"},
        {ToolFailure::SignIn, "login required"},
        {ToolFailure::SignIn, "requires authentication"},
        {ToolFailure::SignIn, "account is required"},
        {ToolFailure::Unavailable, "Video unavailable"},
        {ToolFailure::Unavailable, "Private video"},
        {ToolFailure::Unavailable, "video is private"},
        {ToolFailure::Unavailable, "has been removed"},
        {ToolFailure::Unavailable, "is not available"},
        {ToolFailure::Unavailable, "in your country"},
        {ToolFailure::Unavailable, "geo restriction"},
        {ToolFailure::Unavailable, "content isn't available"},
        {ToolFailure::Network, "Name or service not known"},
        {ToolFailure::Network, "Temporary failure in name resolution"},
        {ToolFailure::Network, "No address associated with hostname"},
        {ToolFailure::Network, "getaddrinfo failed"},
        {ToolFailure::Network, "Network is unreachable"},
        {ToolFailure::Network, "No route to host"},
        {ToolFailure::Network, "Connection refused"},
        {ToolFailure::Network, "Connection reset"},
        {ToolFailure::Network, "timed out"},
        {ToolFailure::ToolTooOld, "Unable to extract"},
        {ToolFailure::ToolTooOld, "nsig"},
        {ToolFailure::ToolTooOld, "Signature extraction failed"},
        {ToolFailure::ToolTooOld, "make sure you are using the latest version"},
    };
    for (const auto &entry : table) {
        if (line.contains(QLatin1String(entry.words), Qt::CaseInsensitive))
            return entry.failure;
    }
    return ToolFailure::Unknown;
}

} // namespace ToolErrors

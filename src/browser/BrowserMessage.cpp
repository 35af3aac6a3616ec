#include "BrowserMessage.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QStringDecoder>
#include <QUrl>

#include <algorithm>
#include <cmath>
#include <optional>

namespace {

constexpr double maxSafeInteger = 9007199254740991.0;   // 2^53 - 1

QString quoted(QLatin1StringView key)
{
    return QLatin1Char('"') + key + QLatin1Char('"');
}

bool hasControl(const QString &text)
{
    for (QChar c : text)
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            return true;
    return false;
}

// RFC 9110 token characters; HTTP/2 pseudo-headers may lead with ':'.
bool isHeaderName(const QString &name)
{
    if (name.isEmpty() || name.size() > BrowserLimits::headerName)
        return false;
    for (qsizetype i = 0; i < name.size(); ++i) {
        const char16_t c = name.at(i).unicode();
        const bool token = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')
                           || (c < 0x80 && QByteArrayView("!#$%&'*+-.^_`|~").contains(char(c)));
        if (!token && !(c == ':' && i == 0 && name.size() > 1))
            return false;
    }
    return true;
}

// The address with its scheme in lower case and otherwise exactly as given
// (re-encoding could break a signed address); nullopt unless http or https.
std::optional<QString> webAddress(const QString &text)
{
    const QUrl url(text, QUrl::StrictMode);
    const QString scheme = url.scheme();
    if (!url.isValid() || url.host().isEmpty()
        || (scheme != QLatin1String("http") && scheme != QLatin1String("https"))
        || !text.startsWith(scheme + QLatin1String("://"), Qt::CaseInsensitive))
        return std::nullopt;
    return scheme + text.mid(scheme.size());
}

// Reads the fields of one object, keeping the first failure.
class FieldReader
{
public:
    explicit FieldReader(const QJsonObject &object) : m_object(object) {}

    std::optional<QString> text(QLatin1StringView key, qsizetype maxLength, bool controlsAllowed = false)
    {
        const QJsonValue value = m_object.value(key);
        if (value.isUndefined())
            return fail(QStringLiteral("missing field ") + quoted(key));
        if (!value.isString())
            return fail(QStringLiteral("field ") + quoted(key) + QStringLiteral(" is not text"));
        QString result = value.toString();
        if (result.size() > maxLength)
            return fail(QStringLiteral("field %1 is longer than %2 characters").arg(quoted(key)).arg(maxLength));
        // JSON escapes can name half a surrogate pair, which no encoding can carry.
        if (!result.isValidUtf16())
            return fail(QStringLiteral("field ") + quoted(key) + QStringLiteral(" holds invalid characters"));
        if (!controlsAllowed && hasControl(result))
            return fail(QStringLiteral("field ") + quoted(key) + QStringLiteral(" holds control characters"));
        return result;
    }

    std::optional<qint64> integer(QLatin1StringView key, double low, double high)
    {
        const QJsonValue value = m_object.value(key);
        if (value.isUndefined())
            return fail(QStringLiteral("missing field ") + quoted(key));
        const double number = value.toDouble(std::nan(""));
        if (!value.isDouble() || !std::isfinite(number) || std::floor(number) != number || number < low
            || number > high)
            return fail(QStringLiteral("field %1 is not a whole number from %2 to %3")
                            .arg(quoted(key)).arg(qint64(low)).arg(qint64(high)));
        return qint64(number);
    }

    std::optional<BrowserHeaders> headers()
    {
        const QJsonValue field = m_object.value(QLatin1StringView("requestHeaders"));
        if (!field.isArray())
            return fail(QStringLiteral("field \"requestHeaders\" is missing or not a list"));
        const QJsonArray list = field.toArray();
        if (list.size() > BrowserLimits::headerCount)
            return fail(QStringLiteral("more than %1 request headers").arg(BrowserLimits::headerCount));
        BrowserHeaders result;
        qsizetype bytes = 0;
        for (qsizetype i = 0; i < list.size(); ++i) {
            const QJsonObject header = list.at(i).toObject();
            const QJsonValue name = header.value(QLatin1StringView("name"));
            const QJsonValue value = header.value(QLatin1StringView("value"));
            if (!name.isString() || !value.isString())
                return fail(QStringLiteral("request header %1 lacks a text name or value").arg(i));
            if (!isHeaderName(name.toString()))
                return fail(QStringLiteral("request header %1 has an invalid name").arg(i));
            const QString text = value.toString();
            if (!text.isValidUtf16())
                return fail(QStringLiteral("request header %1 holds invalid characters").arg(i));
            if (text.size() > BrowserLimits::headerValue)
                return fail(QStringLiteral("request header %1 has a value longer than %2 characters")
                                .arg(i).arg(BrowserLimits::headerValue));
            if (text.contains(QLatin1Char('\r')) || text.contains(QLatin1Char('\n')) || text.contains(QChar(0)))
                return fail(QStringLiteral("request header %1 has CR, LF or NUL in its value").arg(i));
            result.append({name.toString().toLatin1(), text.toUtf8()});
            bytes += result.last().first.size() + result.last().second.size();
            if (bytes > BrowserLimits::headerBytes)
                return fail(QStringLiteral("request headers exceed %1 bytes").arg(BrowserLimits::headerBytes));
        }
        return result;
    }

    std::nullopt_t fail(const QString &error)
    {
        if (m_error.isEmpty())
            m_error = error;
        return std::nullopt;
    }
    QString error() const { return m_error; }

private:
    const QJsonObject &m_object;
    QString m_error;
};

BrowserMessage refused(const QString &error)
{
    BrowserMessage message;
    message.error = error;
    return message;
}

BrowserMessage parseAction(const QJsonObject &object, bool media)
{
    FieldReader fields(object);
    const auto url = fields.text(QLatin1StringView("url"), BrowserLimits::url);
    std::optional<BrowserHeaders> headers = BrowserHeaders();
    std::optional<QString> title = QString(), page = QString();
    if (media) {
        headers = fields.headers();
        title = fields.text(QLatin1StringView("tabTitle"), BrowserLimits::tabTitle, true);
        page = fields.text(QLatin1StringView("pageUrl"), BrowserLimits::url);
    }
    if (!fields.error().isEmpty())
        return refused(fields.error());
    const std::optional<QString> address = webAddress(*url);
    if (!address)
        return refused(QStringLiteral("address is not a valid http or https address"));
    BrowserMessage message;
    message.kind = media ? BrowserMessage::Kind::Media : BrowserMessage::Kind::Open;
    BrowserStream &stream = message.stream;
    stream.url = *address;
    stream.method = QStringLiteral("GET");
    stream.status = 200;
    stream.requestHeaders = *headers;
    stream.tabTitle = *title;
    for (QChar &c : stream.tabTitle)
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            c = QLatin1Char(' ');
    stream.pageUrl = webAddress(*page).value_or(QString());
    stream.seen = QDateTime::currentDateTimeUtc();
    return message;
}

BrowserMessage parseSave(const QJsonObject &object)
{
    const QJsonValue field = object.value(QLatin1StringView("ids"));
    const QJsonArray list = field.toArray();
    if (!field.isArray() || list.isEmpty() || list.size() > BrowserMessage::maxIds)
        return refused(QStringLiteral("field \"ids\" is not a list of 1 to %1 numbers").arg(BrowserMessage::maxIds));
    BrowserMessage message;
    message.kind = BrowserMessage::Kind::Save;
    for (const QJsonValue &entry : list) {
        const double number = entry.toDouble(-1);
        if (!entry.isDouble() || !std::isfinite(number) || std::floor(number) != number || number < 1
            || number > maxSafeInteger)
            return refused(QStringLiteral("field \"ids\" holds something other than a stream number"));
        message.ids.append(qint64(number));
    }
    return message;
}

} // namespace

BrowserMessage parseBrowserMessage(QByteArrayView json)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8.decode(json);   // the decoder runs on this conversion
    if (utf8.hasError())
        return refused(QStringLiteral("message is not valid UTF-8"));
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json.toByteArray(), &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return refused(QStringLiteral("message is not JSON: ") + parseError.errorString());
    if (!document.isObject())
        return refused(QStringLiteral("message is not a JSON object"));
    const QJsonObject object = document.object();
    const QJsonValue kind = object.value(QLatin1StringView("kind"));
    if (kind == QJsonValue(QStringLiteral("hello"))) {
        BrowserMessage hello;
        hello.kind = BrowserMessage::Kind::Hello;
        return hello;
    }
    if (kind == QJsonValue(QStringLiteral("stream")))
        return parseBrowserStream(object);
    if (kind == QJsonValue(QStringLiteral("open")) || kind == QJsonValue(QStringLiteral("media")))
        return parseAction(object, kind == QJsonValue(QStringLiteral("media")));
    if (kind == QJsonValue(QStringLiteral("save")))
        return parseSave(object);
    return refused(kind.isUndefined() ? QStringLiteral("missing field \"kind\"")
                                      : QStringLiteral("unknown message kind"));
}

BrowserMessage parseBrowserStream(const QJsonObject &object)
{
    FieldReader fields(object);
    const auto url = fields.text(QLatin1StringView("url"), BrowserLimits::url);
    const auto method = fields.text(QLatin1StringView("method"), BrowserLimits::method);
    const auto status = fields.integer(QLatin1StringView("status"), 100, 599);
    const auto headers = fields.headers();
    const auto type = fields.text(QLatin1StringView("contentType"), BrowserLimits::contentType);
    const auto length = fields.integer(QLatin1StringView("contentLength"), -1, maxSafeInteger);
    const auto range = fields.text(QLatin1StringView("contentRange"), BrowserLimits::contentRange);
    const auto title = fields.text(QLatin1StringView("tabTitle"), BrowserLimits::tabTitle, true);
    const auto page = fields.text(QLatin1StringView("pageUrl"), BrowserLimits::url);
    const auto time = fields.integer(QLatin1StringView("time"), 1, maxSafeInteger);
    if (!fields.error().isEmpty())
        return refused(fields.error());
    const std::optional<QString> address = webAddress(*url);
    if (!address)
        return refused(QStringLiteral("address is not a valid http or https address"));
    if (method->isEmpty() || !std::all_of(method->cbegin(), method->cend(), [](QChar c) {
            return (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) || (c >= QLatin1Char('a') && c <= QLatin1Char('z'));
        }))
        return refused(QStringLiteral("method is not a word of letters"));

    BrowserMessage message;
    message.kind = BrowserMessage::Kind::Stream;
    BrowserStream &stream = message.stream;
    stream.url = *address;
    stream.method = *method;
    stream.status = int(*status);
    stream.requestHeaders = *headers;
    stream.contentType = *type;
    stream.contentLength = *length;
    stream.contentRange = *range;
    // A title is only shown: control characters become blanks instead of a refusal.
    stream.tabTitle = *title;
    for (QChar &c : stream.tabTitle)
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            c = QLatin1Char(' ');
    // The page is context, not something to fetch: a page of another scheme is simply not kept.
    stream.pageUrl = webAddress(*page).value_or(QString());
    stream.seen = QDateTime::fromMSecsSinceEpoch(*time, Qt::UTC);
    return message;
}

QJsonObject browserStreamJson(const BrowserStream &stream)
{
    QJsonArray headers;
    for (const auto &[name, value] : stream.requestHeaders)
        headers.append(QJsonObject{{QStringLiteral("name"), QString::fromLatin1(name)},
                                   {QStringLiteral("value"), QString::fromUtf8(value)}});
    return QJsonObject{
        {QStringLiteral("kind"), QStringLiteral("stream")},
        {QStringLiteral("url"), stream.url},
        {QStringLiteral("method"), stream.method},
        {QStringLiteral("status"), stream.status},
        {QStringLiteral("requestHeaders"), headers},
        {QStringLiteral("contentType"), stream.contentType},
        {QStringLiteral("contentLength"), double(stream.contentLength)},
        {QStringLiteral("contentRange"), stream.contentRange},
        {QStringLiteral("tabTitle"), stream.tabTitle},
        {QStringLiteral("pageUrl"), stream.pageUrl},
        {QStringLiteral("time"), double(stream.seen.toMSecsSinceEpoch())},
    };
}

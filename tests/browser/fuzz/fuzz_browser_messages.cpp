// The input as the JSON of one message, and as a stream of frames cut in
// two where its first byte says. What passes keeps the promised bounds and
// reads back unchanged from its own JSON.

#include "BrowserFrame.h"
#include "BrowserMessage.h"
#include "HandoverChannel.h"

#include <QJsonDocument>

#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace {

void check(const BrowserMessage &message)
{
    if (message.kind == BrowserMessage::Kind::Refused && message.error.isEmpty())
        std::abort();
    if (message.kind == BrowserMessage::Kind::Save
        && (message.ids.isEmpty() || message.ids.size() > BrowserMessage::maxIds
            || std::any_of(message.ids.cbegin(), message.ids.cend(), [](qint64 id) { return id < 1; })))
        std::abort();
    if ((message.kind == BrowserMessage::Kind::Open || message.kind == BrowserMessage::Kind::Media)
        && !(message.stream.url.startsWith(QLatin1String("http://")) || message.stream.url.startsWith(QLatin1String("https://"))))
        std::abort();
    if (message.kind != BrowserMessage::Kind::Stream)
        return;
    const BrowserStream &stream = message.stream;
    if (!(stream.url.startsWith(QLatin1String("http://")) || stream.url.startsWith(QLatin1String("https://")))
        || stream.url.size() > BrowserLimits::url || stream.requestHeaders.size() > BrowserLimits::headerCount)
        std::abort();
    for (const auto &[name, value] : stream.requestHeaders)
        if (name.isEmpty() || value.contains('\r') || value.contains('\n') || value.contains('\0'))
            std::abort();
    const BrowserMessage again =
        parseBrowserMessage(QJsonDocument(browserStreamJson(stream)).toJson(QJsonDocument::Compact));
    if (again.kind != BrowserMessage::Kind::Stream || !(again.stream == stream))
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArrayView input(reinterpret_cast<const char *>(data), qsizetype(size));
    check(parseBrowserMessage(input));
    // The same bytes as a handover to the window: a save passes only checked streams.
    if (const Handover::Parsed handed = Handover::parse(input); handed.message) {
        for (const BrowserStream &stream : handed.message->streams)
            check(parseBrowserMessage(QJsonDocument(browserStreamJson(stream)).toJson(QJsonDocument::Compact)));
    } else if (handed.error.isEmpty()) {
        std::abort();
    }

    const qsizetype split = size > 0 ? qsizetype(data[0] % size) : 0;
    FrameReader reader;
    for (const QByteArrayView part : {input.first(split), input.sliced(split)}) {
        reader.append(part);
        while (const std::optional<FrameReader::Frame> frame = reader.next()) {
            if (frame->tooLarge != (frame->length > BrowserFrame::maxPayload)
                || qsizetype(frame->payload.size()) != (frame->tooLarge ? 0 : qsizetype(frame->length)))
                std::abort();
            if (!frame->tooLarge)
                check(parseBrowserMessage(frame->payload));
        }
    }
    return 0;
}

// Feeds one manifest to the readers and the grouping table. Input: one byte
// choosing the reader (low two bits: either kind by its body, HLS, DASH, or
// a master with a variant after a NUL byte), then the body. Every result
// must keep the reader's bounds and name only web addresses; the texts and
// choices of the window must come out of any result.

#include <cmath>
#include <cstdint>
#include <cstdlib>

#include <QByteArrayView>
#include <QHashFunctions>

#include "DashManifest.h"
#include "HlsPlaylist.h"
#include "StreamGroups.h"
#include "StreamText.h"

using namespace streams;

namespace {

void require(bool condition)
{
    if (!condition)
        std::abort();
}

void checkAddress(const QUrl &address)
{
    require(address.isEmpty()
            || ((address.scheme() == u"http" || address.scheme() == u"https") && !address.host().isEmpty()));
}

void check(const ManifestResult &result)
{
    if (!result.ok()) {
        require(result.error != ManifestError::None);
        return;
    }
    const StreamInfo &info = *result.info;
    require(info.variants.size() + info.audio.size() <= MaxRenditions);
    require(info.segmentCount <= MaxSegments);
    require(!info.durationSeconds || (std::isfinite(*info.durationSeconds) && *info.durationSeconds >= 0));
    for (const Variant &v : info.variants)
        checkAddress(v.address);
    for (const QUrl &s : info.segments)
        checkAddress(s);
    checkAddress(info.keyAddress);
    require(!rowText(info).isEmpty());
    require(!toolTip(info, QUrl()).isEmpty());
    require(!qualityChoices(info).isEmpty());
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    qSetGlobalQHashSeed(0);   // the same input takes the same path every run
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 1)
        return 0;
    static const QUrl base(QStringLiteral("http://media.example/a/b/master.m3u8?t=1"));
    const QByteArrayView body(reinterpret_cast<const char *>(data) + 1, qsizetype(size - 1));
    ManifestResult result;
    switch (data[0] & 3) {
    case 0:
        result = parseManifest(body, base);
        break;
    case 1:
        result = parseHls(body, base);
        break;
    case 2:
        result = parseDash(body, base);
        break;
    default: {
        const qsizetype split = body.indexOf('\0');
        result = parseManifest(split < 0 ? body : body.first(split), base);
        if (result.ok() && split >= 0)
            result = combineLevels(*result.info, parseManifest(body.sliced(split + 1), base));
    }
    }
    check(result);

    // The same bytes as a response the table has to place, then as a read manifest.
    StreamGroups groups(StreamGroups::Limits{4, 16, 500});
    const qsizetype line = body.indexOf('\n');
    const QByteArrayView address = line < 0 ? body : body.first(line);
    std::int64_t now = 0;
    for (int round = 0; round < 2; ++round, now += 700) {
        groups.classify({address, body.first(qMin<qsizetype>(body.size(), 40)), body, (data[0] & 4) != 0}, now);
        if (result.ok())
            groups.learn(responseUrl(address), *result.info, now);
    }
    require(groups.manifestCount() <= 4 && groups.addressCount() <= 16);
    return 0;
}

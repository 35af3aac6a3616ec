// A player's segment flood as the packet analysis reports it: one master
// playlist, then 5,000 segment responses. Times the grouping table's verdict
// on every report against a bare loop over the same reports that only does
// what the page does without grouping (type check, size text to number),
// and prints the ratio and the rows each way would add.
// Usage: bench_stream_groups [SEGMENTS] [ROUNDS]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <QByteArray>

#include "StreamGroups.h"

using namespace streams;
using Clock = std::chrono::steady_clock;

namespace {

struct Report
{
    QByteArray url;
    QByteArray length;
    QByteArray type;
};

const QByteArray Master = "#EXTM3U\n#EXT-X-STREAM-INF:BANDWIDTH=2800000,RESOLUTION=1280x720\nv720/index.m3u8\n"
                          "#EXT-X-STREAM-INF:BANDWIDTH=800000,RESOLUTION=640x360\nv360/index.m3u8\n";

template<typename Step>
double bestSeconds(int rounds, Step step)
{
    double best = 1e9;
    for (int r = 0; r < rounds; ++r) {
        const auto start = Clock::now();
        step();
        best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());
    }
    return best;
}

} // namespace

int main(int argc, char **argv)
{
    const int segments = argc > 1 ? std::atoi(argv[1]) : 5000;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 20;
    std::vector<Report> flood;
    flood.reserve(std::size_t(segments));
    for (int n = 0; n < segments; ++n)
        flood.push_back({"cdn.example/live/v" + QByteArray(n % 2 ? "720" : "360") + "/seg_" + QByteArray::number(n) + ".ts",
                         QByteArray::number(200000 + n) + "\r\n", "video/MP2T\r\n"});

    // The page without grouping: every report of enough bytes is a row.
    long bareRows = 0;
    const double bare = bestSeconds(rounds, [&] {
        bareRows = 0;
        for (const Report &r : flood)
            bareRows += r.type.startsWith("video/") && r.length.trimmed().toInt() >= 100000;
    });

    long groupedRows = 0;
    const double grouped = bestSeconds(rounds, [&] {
        StreamGroups groups;
        qint64 now = 0;
        const QByteArray masterUrl = "cdn.example/live/master.m3u8";
        groupedRows = groups.classify({masterUrl, "application/vnd.apple.mpegurl", Master}, now).addsRow();
        groups.learn(responseUrl(masterUrl), *parseManifest(Master, responseUrl(masterUrl)).info, now);
        for (const Report &r : flood) {
            now += 12;   // 5,000 segments in a minute
            const GroupDecision d = groups.classify({r.url, r.type, {}}, now);
            groupedRows += d.addsRow() && r.length.trimmed().toInt() >= 100000;
        }
    });

    std::printf("segment reports: %d, best of %d rounds\n", segments, rounds);
    std::printf("bare loop: %.3f ms (%.0f ns per report), rows %ld\n", bare * 1e3, bare * 1e9 / segments, bareRows);
    std::printf("grouping table: %.3f ms (%.0f ns per report), rows %ld (the master only)\n", grouped * 1e3,
                grouped * 1e9 / segments, groupedRows);
    std::printf("grouping/bare time ratio: %.1f\n", grouped / bare);
    return groupedRows == 1 ? 0 : 1;
}

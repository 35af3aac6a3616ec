#!/usr/bin/env bash
# The tests whose code runs on several threads, under ThreadSanitizer: the
# capture threads share the report callback and the ignore lists; the
# download history writes on a thread of its own.
set -euo pipefail
cd "$(dirname "$0")/../.."

# "build": only configure and build (scripts/test does it while the suites run).
cmake --preset tsan >/dev/null
cmake --build --preset tsan -j "$(nproc)" --target tst_mediadetector tst_interfacerules tst_videosniffer \
  tst_jobhistory history_writer
[[ ${1:-} != build ]] || exit 0
ctest --preset tsan -L capture
ctest --preset tsan -R '^tst_jobhistory$'

#!/bin/sh
# Fuzzes the archive engine for SECONDS (default 60) with libFuzzer, ASan and
# UBSan. Exits non-zero when it finds a crash; the input is kept in
# build/fuzz/crash-*. Builds with clang directly: the target compiles only the
# engine and the path rules, which hold no literals needing CP932.
set -eu
seconds=${1:-60}
root=$(cd "$(dirname "$0")/../../.." && pwd)
out="$root/build/fuzz"
mkdir -p "$out/corpus"
clang++ -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
  -I"$root/src" -I"$root/tests/host" \
  "$root/tests/host/fuzz/fuzz_engine.cpp" \
  "$root"/src/engine/*.cpp "$root/src/text/PathRules.cpp" "$root/src/text/Cp932Assigned.cpp" \
  -o "$out/fuzz_engine"
# Seeds: the 16-byte record as an archive, alone and before an ending record
# and the start of a trailer, and a few streams for the comparison.
printf '\000\000\005a.txt\006\000\000\000\007abc\356\360' >"$out/corpus/seed-record"
printf '\000\000\005a.txt\006\000\000\000\007abc\356\360\000\000\000\000\000SMFSEAL1' >"$out/corpus/seed-ending"
printf '\001\000\006\000\000\000\007abc\356\360' >"$out/corpus/seed-stream"
printf '\001\005\005\000\000\000\001a\356\361' >"$out/corpus/seed-overlap"
printf '\000\000\003a\\b\003\000\000\000\007xyz\002..\001\000\000\000\001q' >"$out/corpus/seed-names"
cd "$out"
./fuzz_engine -max_total_time="$seconds" -timeout=10 -rss_limit_mb=1024 -print_final_stats=1 corpus

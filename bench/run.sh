#!/bin/sh
# Prints the archive engine's figures:
#   (a) decoder throughput beside memcpy and a byte-at-a-time decoder,
#   (b) extracting the demo archive beside writing its files from memory,
#   (c) peak memory of `packer extract` for a 1 MB and a 200 MB record.
# Uses (and builds) the host build in build/host-archive.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build/host-archive"
[ -f "$build/CMakeCache.txt" ] || cmake -B "$build" -S "$root" >/dev/null
cmake --build "$build" -j2 --target archive_bench packer demo_archive >/dev/null

"$build/bench/archive_bench" "$build/demo/patch.smf"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Records made of the demo files over and over: realistic, compressible data.
mkdir -p "$work/big" "$work/small"
while [ "$(stat -c %s "$work/big/record.bin" 2>/dev/null || echo 0)" -lt 209715200 ]; do
  find "$build/demo/files" -type f -print0 | sort -z | xargs -0 cat >>"$work/big/record.bin"
done
truncate -s 200M "$work/big/record.bin"
head -c 1M "$work/big/record.bin" >"$work/small/record.bin"
echo "extract memory (peak resident set of packer extract)"
for size in small big; do
  "$build/tools/packer" pack "$work/$size" "$work/$size.smf" >"$work/pack-$size.txt"
  /usr/bin/time -f %M -o "$work/rss-$size" "$build/tools/packer" extract "$work/$size.smf" "$work/out-$size" >/dev/null
  cmp -s "$work/$size/record.bin" "$work/out-$size/record.bin" || { echo "extracted $size record differs"; exit 1; }
  printf '  %-4s record %10d bytes: %6d KiB   (packed %s)\n' "$size" "$(stat -c %s "$work/$size/record.bin")" \
    "$(cat "$work/rss-$size")" "$(head -1 "$work/pack-$size.txt")"
  rm -rf "$work/out-$size"
done

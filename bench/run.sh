#!/bin/sh
# Prints the archive engine's figures:
#   (a) decoder throughput beside memcpy and a byte-at-a-time decoder,
#   (b) extracting the demo archive beside writing its files from memory,
#   (c) `packer extract` beside `cp -r` of the same tree (bench/extract-vs-cp.sh),
#   (d) peak memory of `packer extract` for patches of 20, 120 and 300 MB, and
#       for a record of 1 MB and one of 200 MB.
# Usage: bench/run.sh [BUILD [BASELINE_PACKER]]: uses (and builds) the host
# build in BUILD, build/host-archive by default; an older packer is timed in
# (c) beside this one. The generated archives stay in BUILD/bench.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${1:-$root/build/host-archive}")
[ -f "$build/CMakeCache.txt" ] || cmake -B "$build" -S "$root" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j2 --target archive_bench packer demo_archive >/dev/null
packer="$build/tools/packer"
bench="$build/bench"
mkdir -p "$bench"

"$build/bench/archive_bench" "$build/demo/patch.smf"
"$root/bench/extract-vs-cp.sh" "$build" ${2:+"$2"}

"$root/bench/mixed-patch.sh" "$packer" "$build/demo/files" 122 "$bench/patch120.smf"
"$root/bench/mixed-patch.sh" "$packer" "$build/demo/files" 302 "$bench/patch300.smf"
# Single records made of the demo files over and over: realistic, compressible data.
if [ ! -f "$bench/record200.smf" ]; then
  records="$bench/records"
  rm -rf "$records"
  mkdir -p "$records/big" "$records/small"
  while [ "$(stat -c %s "$records/big/record.bin" 2>/dev/null || echo 0)" -lt 209715200 ]; do
    find "$build/demo/files" -type f -print0 | sort -z | xargs -0 cat >>"$records/big/record.bin"
  done
  truncate -s 200M "$records/big/record.bin"
  head -c 1M "$records/big/record.bin" >"$records/small/record.bin"
  (cd "$records/small" && sha256sum record.bin) >"$bench/record1.sha256"
  (cd "$records/big" && sha256sum record.bin) >"$bench/record200.sha256"
  "$packer" pack "$records/small" "$bench/record1.smf" >/dev/null
  "$packer" pack "$records/big" "$bench/record200.smf.part" >/dev/null
  rm -rf "$records"
  mv "$bench/record200.smf.part" "$bench/record200.smf"
fi

work=$(mktemp -d "$bench/memory.XXXXXX")
trap 'rm -rf "$work"' EXIT
echo "extract memory (peak resident set of packer extract)"
for archive in "$build/demo/patch.smf" "$bench/patch120.smf" "$bench/patch300.smf" "$bench/record1.smf" \
  "$bench/record200.smf"; do
  /usr/bin/time -f %M -o "$work/rss" "$packer" extract "$archive" "$work/out" >"$work/log"
  sums="${archive%.smf}.sha256"
  [ ! -f "$sums" ] || (cd "$work/out" && sha256sum -c --quiet "$sums") || { echo "$archive: extracted record differs"; exit 1; }
  printf '  %-16s %4d files %10d bytes: %6d KiB\n' "$(basename "$archive")" \
    "$(find "$work/out" -type f | wc -l)" "$(du -sb "$work/out" | cut -f1)" "$(cat "$work/rss")"
  rm -rf "$work/out"
done

#!/usr/bin/env bash
# `packer pack -j 1` beside `packer pack` on every core: wall time and peak
# resident set (median of 3 runs each, the two alternating) and the
# compression ratio (archive bytes / input bytes), for
#   mixed200: 100 files of 1 MB random bytes and 100 of 1 MB text-like lines
#             (200,000,000 bytes);
#   single300: one file of 300 MB, random and text-like megabytes in turn.
# The archives of both runs must be the same byte for byte.
# Usage: bench/pack-jobs.sh [BUILD]: uses (and builds) the packer of the host
# build in BUILD, build/host by default; the inputs stay in BUILD/bench.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${1:-$root/build/host}")
[ -f "$build/CMakeCache.txt" ] || cmake -B "$build" -S "$root" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j2 --target packer >/dev/null
packer="$build/tools/packer"
bench="$build/bench/pack-jobs"
mkdir -p "$bench"

text_mb() {  # $1 = a number that varies the lines
  yes "line $1 of a text-like file with some words in it, $RANDOM" | head -c 1000000 || true
}
if [ ! -d "$bench/mixed200" ]; then
  rm -rf "$bench/mixed200.tmp"
  mkdir -p "$bench/mixed200.tmp"
  for i in $(seq 1 100); do
    head -c 1000000 /dev/urandom >"$bench/mixed200.tmp/file$i.bin"
    text_mb "$i" >"$bench/mixed200.tmp/file$i.txt"
  done
  mv "$bench/mixed200.tmp" "$bench/mixed200"
fi
if [ ! -d "$bench/single300" ]; then
  rm -rf "$bench/single300.tmp"
  mkdir -p "$bench/single300.tmp"
  for i in $(seq 1 150); do
    head -c 1000000 /dev/urandom
    text_mb "$i"
  done >"$bench/single300.tmp/record.bin"
  mv "$bench/single300.tmp" "$bench/single300"
fi

median() { sort -g | sed -n 2p; }
work=$(mktemp -d "$bench/run.XXXXXX")
trap 'rm -rf "$work"' EXIT
echo "machine: $(nproc) cores,$(uptime | sed 's/.*load/ load/')"
echo "default: one thread per core; ratio: archive bytes / input bytes"
printf '%-10s %-10s %9s %10s %8s\n' input packer "wall s" "peak MB" ratio
for folder in mixed200 single300; do
  input=$(find "$bench/$folder" -type f -printf '%s\n' | awk '{ n += $1 } END { print n }')
  for round in 1 2 3; do
    for mode in j1 all; do
      args=()
      [ "$mode" = j1 ] && args=(-j 1)
      /usr/bin/time -f '%e %M' -o "$work/time" "$packer" pack "${args[@]}" --quiet "$bench/$folder" "$work/$mode.smf" >/dev/null
      read -r wall rss <"$work/time"
      echo "$wall" >>"$work/$folder.$mode.wall"
      echo "$rss" >>"$work/$folder.$mode.rss"
    done
    cmp -s "$work/j1.smf" "$work/all.smf" || { echo "$folder: the archives of -j 1 and of every core differ"; exit 1; }
  done
  archive=$(stat -c %s "$work/all.smf")
  for mode in j1 all; do
    wall=$(median <"$work/$folder.$mode.wall")
    rss=$(median <"$work/$folder.$mode.rss")
    label="-j 1"
    [ "$mode" = all ] && label=default
    awk -v f="$folder" -v l="$label" -v w="$wall" -v r="$rss" -v a="$archive" -v i="$input" \
      'BEGIN { printf "%-10s %-10s %9s %10.1f %8.3f\n", f, l, w, r / 1024, a / i }'
  done
done
echo "after: $(uptime | sed 's/.*load/load/')"

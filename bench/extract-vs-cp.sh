#!/usr/bin/env bash
# `packer extract` beside `cp -r` of the tree it extracts, at process level:
# the median of 7 wall-clock times each, taken in turns after a warm-up, every
# run into a fresh folder on the same file system (the tree is in the page
# cache, as the archive is). For the demo patch (283 files, 20 MB) and a
# 120 MB patch of 122 files of mixed data.
# Usage: bench/extract-vs-cp.sh [BUILD [BASELINE_PACKER]]
#   BUILD            host build folder (default build/host-archive; built if missing)
#   BASELINE_PACKER  an older packer, timed in the same turns as this one
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${1:-$root/build/host-archive}")
baseline=${2:+$(realpath "$2")}
[ -f "$build/CMakeCache.txt" ] || cmake -B "$build" -S "$root" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j2 --target packer demo_archive >/dev/null
packer="$build/tools/packer"
big="$build/bench/patch120.smf"
mkdir -p "$build/bench"
"$root/bench/mixed-patch.sh" "$packer" "$build/demo/files" 122 "$big"

# ext4 lets no new file take the inode of one deleted in the last 15 seconds
# and searches past every such inode, so creating files right after many were
# deleted nearby times that deletion (on a shared machine, other people's
# builds). So nothing is deleted between timed runs; the run folders go to
# block groups of their own (the top-directory flag: ext4 spreads the folders
# made in such a folder as it does those at the root); and a run of this script
# waits until its last one's clean-up is that old.
stamp="$build/bench/.extract-vs-cp.cleaned"
if [ -f "$stamp" ]; then
  wait=$((16 - ($(date +%s) - $(cat "$stamp"))))
  [ "$wait" -le 0 ] || sleep "$wait"
fi
work=$(mktemp -d "$build/bench/extract-vs-cp.XXXXXX")
trap 'rm -rf "$work"; date +%s >"$stamp"' EXIT
chattr +T "$work" 2>/dev/null || true

# Runs a command that writes into the fresh folder $work/$run; sets `elapsed`
# to its seconds. The output is truncated afterwards (untimed, and keeping its
# inodes), so that its data need not be written back during later runs.
run=0
timed() {
  run=$((run + 1))
  local start=$EPOCHREALTIME
  "$@" "$work/$run" >/dev/null
  local end=$EPOCHREALTIME
  find "$work/$run" -type f -exec truncate -s 0 {} +
  elapsed=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.6f", b - a }')
}
median() { sort -n | sed -n 4p; }

for archive in "$build/demo/patch.smf" "$big"; do
  tree="$work/tree-$(basename "$archive")"
  "$packer" extract "$archive" "$tree" >/dev/null
  subjects=(cp packer)
  [ -z "$baseline" ] || subjects+=(baseline)
  subject() {
    case $1 in
      cp) timed cp -r "$tree" ;;
      packer) timed "$packer" extract "$archive" ;;
      baseline) timed "$baseline" extract "$archive" ;;
    esac
  }
  for s in "${subjects[@]}"; do subject "$s"; done  # warm-up
  declare -A times=()
  for i in 1 2 3 4 5 6 7; do
    # The order turns each round, so no subject always runs after the same one.
    n=${#subjects[@]}
    for k in $(seq 0 $((n - 1))); do
      s=${subjects[$(((i + k) % n))]}
      subject "$s"
      times[$s]+="$elapsed "
    done
  done
  files=$(find "$tree" -type f | wc -l)
  bytes=$(du -sb "$tree" | cut -f1)
  printf '%s: %d files, %.1f MB (median of 7)\n' "$(basename "$archive")" "$files" "$(echo "$bytes / 1000000" | bc -l)"
  cpTime=$(echo "${times[cp]}" | tr ' ' '\n' | grep . | median)
  printf '  cp -r                     %8.1f ms\n' "$(echo "$cpTime * 1000" | bc -l)"
  for s in packer baseline; do
    [ -n "${times[$s]:-}" ] || continue
    t=$(echo "${times[$s]}" | tr ' ' '\n' | grep . | median)
    printf '  %-25s %8.1f ms   %.2fx cp -r%s\n' "$s extract" "$(echo "$t * 1000" | bc -l)" \
      "$(echo "$t / $cpTime" | bc -l)" "$([ "$s" = packer ] && echo '   (target <= 1.15x)')"
  done
  unset times
done

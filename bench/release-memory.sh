#!/usr/bin/env bash
# The release commands' wall time and peak resident set on the mixed200
# folder of bench/pack-jobs.sh (200 files, 200,000,000 bytes) with the 32-bit
# installer stub: build, then inspect, verify, list and extract of the
# installer it made. Usage: bench/release-memory.sh [OLDER_PACKER]: an older
# packer's figures beside this one's (each runs its own build's output).
# Uses the host build and the 32-bit build of scripts/lib.sh (built if missing).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/lib.sh"
[ -x "$root/build/host/tools/packer" ] || build_host >/dev/null
[ -f "$root/build/win32/src/PatchSetupStub.exe" ] || build_windows win32 >/dev/null
bench="$root/build/host/bench/pack-jobs"
[ -d "$bench/mixed200" ] || { echo "release-memory: run bench/pack-jobs.sh once first (it makes the inputs)" >&2; exit 1; }
stub="$root/build/win32/src/PatchSetupStub.exe"
work=$(mktemp -d "$root/build/host/bench/release.XXXXXX")
trap 'rm -rf "$work"' EXIT

echo "machine: $(nproc) cores,$(uptime | sed 's/.*load/ load/')"
printf '%-8s %-8s %9s %10s\n' packer command "wall s" "peak MB"
measure() {  # $1 = label, $2 = command name, then the command
  local label=$1 name=$2
  shift 2
  /usr/bin/time -f '%e %M' -o "$work/time" "$@" >/dev/null 2>&1 || { echo "$label $name failed" >&2; exit 1; }
  read -r wall rss <"$work/time"
  awk -v l="$label" -v n="$name" -v w="$wall" -v r="$rss" 'BEGIN { printf "%-8s %-8s %9s %10.1f\n", l, n, w, r / 1024 }'
}
run() {  # $1 = label, $2 = packer
  local label=$1 packer=$2 exe="$work/$1.exe"
  measure "$label" build "$packer" build "$bench/mixed200" -o "$exe" --stub "$stub"
  measure "$label" inspect "$packer" inspect "$exe"
  measure "$label" verify "$packer" verify "$exe"
  measure "$label" list "$packer" list "$exe"
  rm -rf "$work/x"
  measure "$label" extract "$packer" extract "$exe" "$work/x"
  rm -rf "$work/x"
}
run this "$root/build/host/tools/packer"
if [ $# -gt 0 ]; then
  run older "$1"
  if cmp -s "$work/this.exe" "$work/older.exe"; then echo "the two installers are the same byte for byte"
  else echo "the two installers DIFFER"; fi
fi
echo "after: $(uptime | sed 's/.*load/load/')"

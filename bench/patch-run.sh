#!/usr/bin/env bash
# The patch run under Wine, seen from outside: time from pressing start to the
# last message beside `xcopy /E` of the same tree in the same prefix (median
# of 5 each), and the share of WM_NULL probes (every 50 ms, 250 ms limit) the
# windows answered meanwhile. For the demo patch and for a 120 MB patch of 122
# files. Usage: bench/patch-run.sh [OLDER.exe ...] to put older builds beside
# this one (the same archives are carried by all).
# Uses the host and 64-bit Windows builds of scripts/lib.sh (built if missing).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/lib.sh"
trap stop_display EXIT
[ -x "$root/build/host/tools/packer" ] || build_host >/dev/null
[ -f "$root/build/win64/tests/e2e/e2e_tests.exe" ] || build_windows win64 >/dev/null
"$root/scripts/wine-prefix"

# 122 files, 120 MB: half of them poorly compressible, half text-like.
big="$root/build/bench/patch120.smf"
if [ ! -f "$big" ]; then
  files="$root/build/bench/patch120"
  rm -rf "$files"
  mkdir -p "$files/data"
  cp "$root/build/host/demo/files/Game02.exe" "$files/"
  printf '1.260\r\n' >"$files/version.txt"
  for i in $(seq 1 120); do
    if [ $((i % 2)) = 0 ]; then
      head -c 1000000 /dev/urandom >"$files/data/file$i.bin"
    else
      yes "line $i of a text-like file with some words in it, $RANDOM" | head -c 1000000 >"$files/data/file$i.txt" || true
    fi
  done
  "$root/build/host/tools/packer" pack "$files" "$big" >/dev/null
fi
winpath() { echo "Z:${1//\//\\}"; }
archives="$(winpath "$root/build/host/demo/patch.smf");$(winpath "$big")"

start_display
export PS_PATCHSETUP="$root/build/win64/src/PatchSetup.exe" PS_BENCH_ARCHIVES="$archives"
baselines=
for exe in "$@"; do baselines="$baselines${baselines:+;}$(winpath "$(realpath "$exe")")"; done
export PS_BENCH_BASELINE="$baselines"
"$root/scripts/wine-run" "$root/build/win64/tests/e2e/e2e_tests.exe" --gtest_filter='RunTiming.FiguresAgainstXcopy' |
  grep -E 'xcopy|start to last message|FAILED|Failure'

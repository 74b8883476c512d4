#!/usr/bin/env bash
# A patch of about 1 GB, made with `packer build` into the 64-bit test stub
# and installed under Wine: 1,000 files of 700 KB and one of 300 MB, half of
# their bytes random, half text-like. Prints the build's time and memory,
# then from the end-to-end driver the time from pressing start to the last
# message beside copying the installer once and the extracted tree once, the
# share of window probes answered, and the overall bar's last position; and
# the program's peak memory as Linux accounts it (private: RssAnon; all
# resident pages, the mapped image among them: VmRSS). The game folder must
# end holding exactly the packed files.
# Uses the host and 64-bit Windows builds of scripts/lib.sh (built if missing);
# about 6 GB of disk in build/bench/big.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/lib.sh"
[ -x "$root/build/host/tools/packer" ] || build_host >/dev/null
[ -f "$root/build/win64/tests/e2e/e2e_tests.exe" ] || build_windows win64 >/dev/null
"$root/scripts/wine-prefix"

big="$root/build/bench/big"
files="$big/files"
text() {  # $1 = bytes, $2 = a number that varies the lines
  yes "line $2 of a text-like file with some words in it, $RANDOM" | head -c "$1" || true
}
if [ ! -d "$files" ]; then
  rm -rf "$files.tmp"
  mkdir -p "$files.tmp/data" "$files.tmp/movie"
  cp "$root/build/host/demo/files/Game02.exe" "$files.tmp/"
  printf '1.300\r\n' >"$files.tmp/version.txt"
  for i in $(seq 1 1000); do
    if [ $((i % 2)) = 0 ]; then head -c 700000 /dev/urandom; else text 700000 "$i"; fi >"$files.tmp/data/file$i.dat"
  done
  for i in $(seq 1 150); do
    head -c 1000000 /dev/urandom
    text 1000000 "$i"
  done >"$files.tmp/movie/opening.bin"
  mv "$files.tmp" "$files"
fi
installer="$big/PatchSetupBig.exe"
echo "machine: $(nproc) cores,$(uptime | sed 's/.*load/ load/')"
echo "patch: $(find "$files" -type f | wc -l) files, $(du -sb "$files" | cut -f1) bytes"
/usr/bin/time -f '%e %M' -o "$big/build.time" "$root/build/host/tools/packer" build --quiet "$files" \
  -o "$installer" --stub "$root/build/win64/src/PatchSetupStub.exe" | sed 's/^/packer build: /'
read -r wall rss <"$big/build.time"
echo "packer build: $wall s, peak $((rss / 1024)) MB"

game="$big/game"
rm -rf "$game"
winpath() { echo "Z:${1//\//\\}"; }
peaks="$big/memory"
: >"$peaks"
(
  anon=0 resident=0
  while :; do
    for pid in $(pgrep -f PatchSetupBig.exe || true); do
      read -r a r < <(awk '/^RssAnon:/ { a = $2 } /^VmRSS:/ { r = $2 } END { print a + 0, r + 0 }' \
        "/proc/$pid/status" 2>/dev/null || echo "0 0")
      [ "$a" -gt "$anon" ] && anon=$a
      [ "$r" -gt "$resident" ] && resident=$r
    done
    echo "$anon $resident" >"$peaks"
    sleep 0.2
  done
) &
poller=$!
trap 'kill $poller 2>/dev/null; stop_display' EXIT
start_display
PS_PATCHSETUP="$(winpath "$root/build/win64/src/PatchSetup.exe")" \
  PS_BENCH_INSTALLER="$(winpath "$installer")" PS_BENCH_GAME="$(winpath "$game")" \
  "$root/scripts/wine-run" "$root/build/win64/tests/e2e/e2e_tests.exe" --gtest_filter='RunTiming.FiguresOfAWholeInstaller' |
  grep -E 'start to last|probes|bar last|FAILED|Failure|Expected|Which|actual'
kill "$poller" 2>/dev/null
read -r anon resident <"$peaks"
echo "the program's peak memory: private $((anon / 1024)) MB, resident $((resident / 1024)) MB; the installer: $(($(stat -c %s "$installer") / 1048576)) MB"
if diff -r -q "$files" "$game" >/dev/null; then echo "the game folder holds every file as packed"
else echo "the game folder DIFFERS from the packed files"; diff -r -q "$files" "$game" | head; exit 1; fi

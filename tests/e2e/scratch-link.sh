#!/usr/bin/env bash
# Plants work.tmp beside a copy of the installer as a Unix symbolic link to a
# file outside the Wine prefix, runs the end-to-end test that presses start,
# then checks from outside that the file kept its bytes and the link its place.
set -euo pipefail
e2e=$1
root=$(cd "$(dirname "$0")/../.." && pwd)
. "$root/scripts/env.sh"
dir="$WINEPREFIX/drive_c/e2e-link"
outside="$root/build/wine/outside"
rm -rf "$dir" "$outside"
mkdir -p "$dir" "$outside"
printf "a player's saved game\n" >"$outside/save.dat"
ln -s "$outside/save.dat" "$dir/work.tmp"
PS_LINK_DIR='C:\e2e-link' "$root/scripts/wine-run" "$e2e" --gtest_filter='PatchRun.ALinkedScratchFile*'
if [ ! -L "$dir/work.tmp" ] || [ "$(cat "$outside/save.dat")" != "a player's saved game" ]; then
  echo "FAIL: the file behind the link changed or the link went"
  exit 1
fi
echo "the file behind the link kept its bytes and the link its place"
rm -rf "$dir" "$outside"

#!/usr/bin/env bash
# Screenshots of the three windows at 96 and 144 dpi, into artifacts/screenshots/
# as PNG files: form-* from the Windows tests (each window shown in-process),
# program-* from PatchSetup.exe itself during a run with the carried patch.
#   tests/e2e/screenshots.sh [BUILD_DIR]      (default: build/win64)
# Each dpi runs in its own copy of the Wine prefix (tests/e2e/at-dpi.sh), so a
# test run using the shared prefix at the same time is not disturbed.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$root/build/win64}" && pwd)
out="$root/artifacts/screenshots"
. "$root/scripts/lib.sh"

mkdir -p "$out"
rm -f "$out"/*.bmp "$out"/*.png
start_display_only() {  # start_display, without the shared prefix's wineserver in stop_display
  start_display
  trap 'kill "$xvfb_pid" 2>/dev/null || true' EXIT
}
start_display_only
export PS_SCREENSHOT_DIR="Z:${out//\//\\}"
export PS_PATCHSETUP="$build/src/PatchSetup.exe"
for dpi in 96 144; do
  "$root/tests/e2e/at-dpi.sh" "$dpi" "$build/tests/win/win_tests.exe" --gtest_filter=Layout.Screenshots >/dev/null
  "$root/tests/e2e/at-dpi.sh" "$dpi" "$build/tests/e2e/e2e_tests.exe" \
    --gtest_filter=LayoutSeenFromOutside.Screenshots >/dev/null
done
for f in "$out"/*.bmp; do
  convert "$f" "${f%.bmp}.png" && rm -f "$f"
done
ls "$out"

#!/usr/bin/env bash
# Runs one Windows program as the screen at another dpi would see it:
#   at-dpi.sh DPI PROGRAM [ARGS...]
# The run uses its own copy of the project's Wine prefix with LogPixels set,
# so the shared prefix (and any run using it at the same time) stays at 96.
# The program is told the dpi it must see through PS_EXPECTED_DPI.
set -euo pipefail
dpi=$1
shift
root=$(cd "$(dirname "$0")/../.." && pwd)
. "$root/scripts/env.sh"
base=$WINEPREFIX
export WINEPREFIX="$root/build/wine/prefix-dpi$dpi"
export LC_ALL="${PS_LOCALE:-ja_JP.UTF-8}"
export HOME="$HOME_FOR_WINE"
export PS_EXPECTED_DPI=$dpi

[ -f "$base/.patchsetup-ready" ] || { echo "no Wine prefix at $base: run scripts/setup" >&2; exit 1; }
trap '"$WINESERVER" -k 2>/dev/null || true' EXIT
# Wine reads the dpi when its server starts: set it with no server running.
"$WINESERVER" -k 2>/dev/null || true
if [ ! -f "$WINEPREFIX/.patchsetup-ready" ] || [ "$base/.patchsetup-ready" -nt "$WINEPREFIX/.patchsetup-ready" ]; then
  rm -rf "$WINEPREFIX"
  cp -a "$base" "$WINEPREFIX"
fi
# The registry follows the shared prefix's (its settings may have changed since the copy).
for f in system.reg user.reg userdef.reg; do cp "$base/$f" "$WINEPREFIX/$f"; done
"$WINE" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null
"$WINESERVER" -w
"$WINE" "$@"

# Sourced by the scripts: the project-local Wine environment, never the user's own.
root=${root:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}
export WINEPREFIX="$root/build/wine/prefix"
export WINEARCH=win64
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export WINE=/usr/lib/wine/wine64
export WINESERVER=/usr/lib/wine/wineserver64
HOME_FOR_WINE="$root/build/wine/home"

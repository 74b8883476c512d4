#!/bin/bash
# Rebuilds the artwork generator and rewrites the checked-in picture, icon and
# glyphs in src/ui/res. The host test artgen_test fails while they differ.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
src="$root/tools/artgen"
"${CXX:-c++}" -std=c++20 -O2 -ffp-contract=off -Wall -Wextra -o "$tmp/artgen" \
  "$src/artwork.cpp" "$src/formats.cpp" "$src/generate.cpp" "$src/glyphs.cpp" \
  "$src/math.cpp" "$src/quantize.cpp" "$src/main.cpp"
mkdir -p "$root/src/ui/res"
"$tmp/artgen" "$root/src/ui/res"

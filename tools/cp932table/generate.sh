#!/bin/sh
# Regenerates src/text/Cp932Assigned.inc, the table of assigned double-byte
# codes of code page 932, from this host's iconv (glibc's CP932 maps exactly
# as Windows does). The host tests compare the checked-in table with iconv.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
c++ -std=c++20 -O1 -Wall -Wextra -o "$tmp/cp932table" "$here/cp932table.cpp"
"$tmp/cp932table" >"$tmp/table.inc"
mv "$tmp/table.inc" "$root/src/text/Cp932Assigned.inc"

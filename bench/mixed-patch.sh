#!/bin/sh
# Makes a patch archive of FILES files of about 1 MB of mixed data (a third
# random, a third text-like, a third slices of the demo patch's files) with
# PACKER, unless OUT exists. Usage: bench/mixed-patch.sh PACKER DEMO_FILES FILES OUT
set -eu
packer=$1 demo=$2 count=$3 out=$4
[ -f "$out" ] && exit 0
tree="$out.files"
rm -rf "$tree"
mkdir -p "$tree/data"
cat "$demo/Game02.exe" "$demo/Config02.exe" >"$tree/Game02.exe"
printf '1.260\r\n' >"$tree/version.txt"
pool="$out.pool"
find "$demo" -type f -print0 | sort -z | xargs -0 cat >"$pool"
pool_size=$(stat -c %s "$pool")
i=1
while [ $i -le $((count - 2)) ]; do
  size=$((900000 + i * 1733 % 200000))
  case $((i % 3)) in
    0) head -c $size /dev/urandom >"$tree/data/file$i.bin" ;;
    1) yes "line $i of a text-like file with some words in it, $((i * 7919))" | head -c $size >"$tree/data/file$i.txt" || true ;;
    2) tail -c +$((i * 104729 % (pool_size - size) + 1)) "$pool" | head -c $size >"$tree/data/file$i.dat" ;;
  esac
  i=$((i + 1))
done
rm -f "$pool"
"$packer" pack "$tree" "$out.part" >/dev/null
rm -rf "$tree"
mv "$out.part" "$out"

#!/usr/bin/env bash
# check-release.sh PACKER STUB FORMAT OBJDUMP WINDRES WRESTOOL WINDOWS_PACKER SOURCE_DIR BUILD_DIR:
# the release stub, and an installer made from it with the demo patch (the
# folder the packer's host build generated), pass the program checks; the
# installer's archive is the one `packer pack` makes of the same folder, byte
# for byte. And the cheap part of reproducibility (scripts/release
# --check-reproducible compares two clean builds whole): packing and building
# again give the same bytes, and the programs hold neither the time nor the
# folders of their build.
set -u
packer=$1 stub=$2 format=$3 objdump=$4 windres=$5 wrestool=$6 windows_packer=$7 source_dir=$8 build_dir=$9
here=$(cd "$(dirname "$0")" && pwd)
demo=$(dirname "$(dirname "$packer")")/demo
files=$demo/files
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
pass=0 fail=0
check() {
  local name=$1; shift
  if "$@" >"$work/out.txt" 2>&1; then pass=$((pass + 1)); echo "ok   $name"
  else fail=$((fail + 1)); echo "FAIL $name"; sed 's/^/     /' "$work/out.txt"; fi
}

check "the stub passes the program checks" bash "$here/check-exe.sh" "$stub" "$format" "$objdump" "$windres"
check "packer build with the demo patch" "$packer" build "$files" -o "$work/PatchSetup.exe" --stub "$stub"
check "the installer passes the program checks" bash "$here/check-exe.sh" "$work/PatchSetup.exe" "$format" "$objdump" "$windres"
check "packer pack the same folder (on one thread)" "$packer" pack -j 1 --quiet "$files" "$work/patch.smf"
check "  byte for byte the build's demo patch" cmp "$work/patch.smf" "$demo/patch.smf"
check "packer build again (on one thread)" "$packer" build -j 1 --quiet "$files" -o "$work/again.exe" --stub "$stub"
check "  byte for byte the first installer" cmp "$work/again.exe" "$work/PatchSetup.exe"
check "wrestool is there (icoutils)" test -x "$wrestool"
check "wrestool reads the carried archive" \
  bash -c "'$wrestool' -x --raw --type=SMF --name=KASTER '$work/PatchSetup.exe' > '$work/carried.smf'"
check "  byte for byte the packed archive" cmp "$work/carried.smf" "$work/patch.smf"
check "objdump reads the headers" bash -c "'$objdump' -p '$work/PatchSetup.exe' | grep -q 'file format $format'"
check "packer verify on the installer" "$packer" verify "$work/PatchSetup.exe"

link_time() { od -An -tu4 -j$(($(od -An -tu4 -j60 -N4 "$1") + 8)) -N4 "$1" | tr -d ' '; }
check "no link time in the Windows packer" test "$(link_time "$windows_packer")" = 0
# The demo's game program, when the host build had the cross compiler.
if [ -f "$demo/Game02.exe" ]; then
  check "no link time in the demo's game program" test "$(link_time "$demo/Game02.exe")" = 0
fi
for program in "$packer" "$windows_packer" "$stub" "$work/PatchSetup.exe"; do
  check "$(basename "$program") names no folder of the build" bash -c '! grep -qaF -e "$1" -e "$2" -e "$3" "$4"' \
    - "$source_dir" "$build_dir" "$(dirname "$demo")" "$program"
done

echo "$pass passed, $fail failed"
[ "$fail" -eq 0 ]

#!/usr/bin/env bash
# check-release.sh PACKER STUB FORMAT OBJDUMP WINDRES WRESTOOL: the release
# stub, and an installer made from it with the demo patch (the folder the
# packer's host build generated), pass the program checks; the installer's
# archive is the one `packer pack` makes of the same folder, byte for byte.
set -u
packer=$1 stub=$2 format=$3 objdump=$4 windres=$5 wrestool=$6
here=$(cd "$(dirname "$0")" && pwd)
files=$(dirname "$(dirname "$packer")")/demo/files
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
check "packer pack the same folder" "$packer" pack "$files" "$work/patch.smf"
check "wrestool is there (icoutils)" test -x "$wrestool"
check "wrestool reads the carried archive" \
  bash -c "'$wrestool' -x --raw --type=SMF --name=KASTER '$work/PatchSetup.exe' > '$work/carried.smf'"
check "  byte for byte the packed archive" cmp "$work/carried.smf" "$work/patch.smf"
check "objdump reads the headers" bash -c "'$objdump' -p '$work/PatchSetup.exe' | grep -q 'file format $format'"
check "packer verify on the installer" "$packer" verify "$work/PatchSetup.exe"

echo "$pass passed, $fail failed"
[ "$fail" -eq 0 ]

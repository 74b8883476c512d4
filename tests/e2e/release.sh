#!/usr/bin/env bash
# release.sh PACKER STUB WINE_RUN DRIVER WINDOWS_PACKER: installers made as a
# publisher makes them (packer build from a folder of Japanese-named files,
# with the Linux packer and with the Windows packer under Wine; signed with a
# throw-away certificate), checked with the signing tools, then run under
# Wine by the end-to-end driver (its PackerBuilt tests).
set -u
packer=$1 stub=$2 wine_run=$3 driver=$4 windows_packer=$5
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
pass=0 fail=0
result() {  # result NAME OK: counts and shows one check
  if [ "$2" = 1 ]; then pass=$((pass + 1)); echo "ok   $1"
  else fail=$((fail + 1)); echo "FAIL $1"; sed 's/^/     /' "$work/out.txt"; fi
}
check() {  # check NAME COMMAND...: the command must succeed
  local name=$1; shift
  if "$@" >"$work/out.txt" 2>&1; then result "$name" 1; else result "$name" 0; fi
}
refused() {  # refused NAME COMMAND...: the command must fail
  local name=$1; shift
  if "$@" >"$work/out.txt" 2>&1; then result "$name (it passed)" 0; else result "$name" 1; fi
}
says() {  # says NAME PATTERN: what the last command printed
  if grep -q -- "$2" "$work/out.txt"; then result "  $1" 1; else result "  $1" 0; fi
}

# The folder a publisher has; the driver expects exactly these files.
files="$work/files"
mkdir -p "$files/データ" "$files/表示"
printf 'new game program' > "$files/Game02.exe"
printf '1.300\r\n' > "$files/version.txt"
printf 'table data' > "$files/データ/ソフト表.dat"
printf 'deep file' > "$files/表示/能力.txt"

check "packer build" "$packer" build "$files" -o "$work/host.exe" --stub "$stub"
check "packer verify on the installer" "$packer" verify "$work/host.exe"
check "packer inspect" "$packer" inspect "$work/host.exe"
says "it carries 4 files" 'writes 4 files'
says "version 1.300" '^version: *1.300$'
says "not signed" '^signature: *not signed'

# A throw-away certificate of a made-up publisher.
check "openssl makes a test certificate" openssl req -x509 -newkey rsa:2048 -nodes -days 2 \
  -subj "/CN=PatchSetup test publisher" -keyout "$work/key.pem" -out "$work/cert.pem"
sign() { osslsigncode sign -certs "$work/cert.pem" -key "$work/key.pem" -n PatchSetup -h sha256 -in "$1" -out "$2"; }
verify() { osslsigncode verify -CAfile "$work/cert.pem" -in "$1"; }
check "osslsigncode sign" sign "$work/host.exe" "$work/signed.exe"
check "osslsigncode verify" verify "$work/signed.exe"
check "packer inspect: signed" "$packer" inspect "$work/signed.exe"
says "signed" '^signature: *signed'

# One byte of the carried archive changed after signing.
"$packer" inspect "$work/signed.exe" >"$work/out.txt" 2>&1
offset=$(sed -n 's/.*at file offset \(0x[0-9a-f]*\).*/\1/p' "$work/out.txt")
cp "$work/signed.exe" "$work/tampered.exe"
at=$((offset + 20))
byte=$(od -An -tu1 -j"$at" -N1 "$work/tampered.exe" | tr -d ' ')
printf "$(printf '\\%03o' $((byte ^ 1)))" | dd of="$work/tampered.exe" bs=1 seek="$at" conv=notrunc 2>/dev/null
check "  one byte changed" test "$(cmp -l "$work/signed.exe" "$work/tampered.exe" | wc -l)" = 1
refused "osslsigncode verify refuses the tampered installer" verify "$work/tampered.exe"

# A signed stub: its signature is dropped whole, and the result signs again.
check "osslsigncode sign the stub" sign "$stub" "$work/signed-stub.exe"
check "packer build from the signed stub" "$packer" build "$files" -o "$work/from-signed.exe" --stub "$work/signed-stub.exe"
says "the signature will be dropped" 'signature will be dropped'
check "packer inspect: not signed" "$packer" inspect "$work/from-signed.exe"
says "not signed" '^signature: *not signed'
check "  the same file as from the unsigned stub" cmp "$work/host.exe" "$work/from-signed.exe"
check "osslsigncode sign and verify it again" bash -c "$(declare -f sign verify); work='$work'; sign '$work/from-signed.exe' '$work/resigned.exe' && verify '$work/resigned.exe'"

# The refusals a publisher can run into.
refused "packer build refuses the stub as output" "$packer" build "$files" -o "$stub" --stub "$stub"
says "the stub itself" 'is the stub itself'
refused "packer build refuses a program that is not our installer" "$packer" build "$files" -o "$work/x.exe" --stub "$driver"
says "not a patch installer" 'not a patch installer'

# The Windows packer under Wine, from the same folder and stub.
cp "$stub" "$work/stub.exe"
windows_work="Z:${work//\//\\}"
check "Windows packer build" "$wine_run" "$windows_packer" build "$windows_work\\files" \
  -o "$windows_work\\windows.exe" --stub "$windows_work\\stub.exe"
check "Windows packer inspect" "$wine_run" "$windows_packer" inspect "$windows_work\\windows.exe"
says "it carries 4 files" 'writes 4 files'
check "Windows packer verify" "$wine_run" "$windows_packer" verify "$windows_work\\windows.exe"
check "the Linux packer reads it alike" "$packer" inspect "$work/windows.exe"
says "version 1.300" '^version: *1.300$'
check "  the same file as the Linux packer's, byte for byte" cmp "$work/host.exe" "$work/windows.exe"
check "osslsigncode signs and verifies it" bash -c "$(declare -f sign verify); work='$work'; sign '$work/windows.exe' '$work/windows-signed.exe' && verify '$work/windows-signed.exe'"

# Under Wine: the installers patch a game folder; the stub as it is fails.
check "the installers under Wine (e2e *PackerBuilt*)" env PS_RELEASE_DIR="$windows_work" \
  PS_PATCHSETUP="$windows_work\\stub.exe" "$wine_run" "$driver" --gtest_filter='*PackerBuilt*'
cat "$work/out.txt" | grep -E '^\[ +(OK|FAILED|SKIPPED) +\]' | sed 's/^/     /'

echo "$pass passed, $fail failed"
[ "$fail" -eq 0 ]

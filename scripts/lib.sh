# Shared by scripts/test and scripts/run: builds and a private X display.
root=${root:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}
. "$root/scripts/env.sh"
jobs=${PS_JOBS:-2}

build_host() {
  cmake -S "$root" -B "$root/build/host" -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$root/build/host" -j"$jobs"
}

# The product (32-bit) and the test build (64-bit) both carry the demo patch
# made by the host build, whose packer the release tests use as well.
build_windows() {  # $1 = win32 | win64
  local arch=$1 toolchain
  case $arch in
    win32) toolchain=mingw-w64-i686 ;;
    win64) toolchain=mingw-w64-x86_64 ;;
  esac
  cmake -S "$root" -B "$root/build/$arch" --toolchain "$root/cmake/$toolchain.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DPATCH_ARCHIVE="$root/build/host/demo/patch.smf" \
    -DPS_HOST_TOOLS="$root/build/host" >/dev/null
  cmake --build "$root/build/$arch" -j"$jobs"
}

# Starts Xvfb on a free display and exports DISPLAY; stop_display ends it and Wine.
start_display() {
  local n=77
  while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
  Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  export DISPLAY=":$n"
  for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && return 0; sleep 0.1; done
  echo "Xvfb did not start" >&2
  return 1
}

stop_display() {
  "$WINESERVER" -k 2>/dev/null || true
  if [ -n "${xvfb_pid:-}" ]; then kill "$xvfb_pid" 2>/dev/null || true; wait "$xvfb_pid" 2>/dev/null || true; fi
  xvfb_pid=
}

# Drive S: of the Wine prefix: a RAM disk of 2 MB, so tests can fill a disk.
# Mounting needs root; without it S: stays absent and those tests skip.
small_disk="$root/build/wine/drive_s"
mount_small_disk() {
  mkdir -p "$small_disk"
  if ! mountpoint -q "$small_disk"; then
    mount -t tmpfs -o size=2m,mode=0777 tmpfs "$small_disk" 2>/dev/null ||
      { echo "note: cannot mount a small RAM disk (needs root): the full-disk tests will skip"; return 0; }
  fi
  ln -sfn "$small_disk" "$WINEPREFIX/dosdevices/s:"
}

unmount_small_disk() {
  rm -f "$WINEPREFIX/dosdevices/s:"
  if mountpoint -q "$small_disk" 2>/dev/null; then umount "$small_disk" 2>/dev/null || true; fi
}

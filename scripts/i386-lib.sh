# Sourced by scripts/i386-prepare and scripts/i386-test: where the emulated
# 32-bit Wine lives and how to run commands inside it.
#
# The kernels here run no 32-bit code, so 32-bit Wine runs in an i386 Debian
# chroot whose programs binfmt_misc hands to qemu-i386-static. The chroot, its
# Wine and a ready 32-bit Wine prefix are kept in a cache folder outside the
# clone, so a machine pays for preparing them once.

I386_CACHE=${PS_I386_CACHE:-/var/cache/patchsetup-i386}
I386_ROOT="$I386_CACHE/root"                  # the chroot
I386_SUITE=bookworm
I386_MIRROR=${PS_I386_MIRROR:-http://deb.debian.org/debian}
I386_QEMU=/usr/bin/qemu-i386-static
I386_BINFMT=/proc/sys/fs/binfmt_misc
# Inside the chroot: the 32-bit Wine prefix and the home its programs see.
I386_PREFIX=/ps/prefix
I386_HOME=/ps/home

i386_t0=${i386_t0:-$SECONDS}
# A progress line with the time since the script started, so a slow step is
# not taken for a hung one.
say() { printf '[%s] %s\n' "$(i386_elapsed)" "$*"; }
i386_elapsed() { local s=$((SECONDS - i386_t0)); printf '%2d:%02d' $((s / 60)) $((s % 60)); }

# Runs a command until it ends, printing a still-running line every $1
# seconds; its own output goes to the log $3 ("-": left alone).
with_ticks() {  # $1 = seconds between lines, $2 = what, $3 = log, then the command
  local every=$1 what=$2 log=$3 pid rc waited=0
  shift 3
  if [ "$log" = - ]; then "$@" & else "$@" >>"$log" 2>&1 & fi
  pid=$!
  while kill -0 "$pid" 2>/dev/null; do
    sleep 1
    waited=$((waited + 1))
    if [ $((waited % every)) = 0 ]; then say "  … $what still running"; fi
  done
  rc=0; wait "$pid" || rc=$?
  return $rc
}

# Serialises preparation and test runs of all clones on this machine: they
# share the chroot and its prefix.
i386_lock() {
  mkdir -p "$I386_CACHE"
  exec 9>"$I386_CACHE/.lock"
  if ! flock -n 9; then
    say "another preparation or i386 run holds $I386_CACHE/.lock; waiting"
    flock 9
  fi
}

# Mount points at or under a folder, deepest first (from the kernel's table,
# so mounts left by a killed run are found too).
i386_mounts_under() {  # $1 = folder
  local dir
  dir=$(readlink -f "$1")
  awk -v d="$dir" '{ p = $5; gsub(/\\040/, " ", p); if (p == d || index(p, d "/") == 1) print p }' \
    /proc/self/mountinfo | sort -r
}

i386_unmount_all() {  # $1 = folder (default: the chroot)
  local dir=${1:-$I386_ROOT} m
  [ -d "$dir" ] || return 0
  while read -r m; do
    [ -n "$m" ] || continue
    umount "$m" 2>/dev/null || umount -l "$m" 2>/dev/null || echo "i386: could not unmount $m" >&2
  done < <(i386_mounts_under "$dir")
}

# The kernel file systems the chroot's programs need, and the host's X socket
# folder so Wine inside reaches the host's Xvfb. Plain (not recursive) binds:
# every mount made here is one the unmount above takes down again.
i386_mount() {
  local src dst
  for src in /proc /sys /dev /dev/pts /dev/shm /tmp/.X11-unix; do
    [ -d "$src" ] || continue
    dst="$I386_ROOT$src"
    mkdir -p "$dst"
    mountpoint -q "$dst" || mount --bind "$src" "$dst"
  done
}

# Runs a command in the chroot with a clean environment (the host's PATH and
# tool settings mean nothing there). Extra VAR=value words may come first.
# The lock's descriptor stays behind: a wineserver that outlives the script
# must not hold the lock.
in_chroot() {
  chroot "$I386_ROOT" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root \
    LANG=C.UTF-8 DEBIAN_FRONTEND=noninteractive "$@" 9>&-
}

# The same, as the Wine of the test prefix sees it.
in_wine_env() {
  in_chroot HOME="$I386_HOME" WINEPREFIX="$I386_PREFIX" WINEARCH=win32 WINEDEBUG=-all \
    WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d" LC_ALL=ja_JP.UTF-8 \
    ${DISPLAY:+DISPLAY=$DISPLAY} "$@"
}

# binfmt_misc hands i386 ELF files to qemu-i386-static. The F flag opens the
# interpreter now, so it runs inside the chroot without a copy there.
i386_binfmt_ready() {
  [ -f "$I386_BINFMT/qemu-i386" ] && grep -q '^enabled' "$I386_BINFMT/qemu-i386" &&
    grep -q '^flags:.*F' "$I386_BINFMT/qemu-i386"
}

i386_register_binfmt() {
  if [ ! -e "$I386_BINFMT/register" ]; then
    mount -t binfmt_misc binfmt_misc "$I386_BINFMT"
  fi
  if i386_binfmt_ready; then return 0; fi
  if [ -f "$I386_BINFMT/qemu-i386" ]; then
    echo -1 > "$I386_BINFMT/qemu-i386"   # registered without F: replace it
  fi
  # ELF, 32-bit, little-endian, executable or shared object, machine 3 (i386).
  printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:'"$I386_QEMU"':F' \
    > "$I386_BINFMT/register"
  i386_binfmt_ready
}

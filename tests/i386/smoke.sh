# Sourced by scripts/i386-test once the emulated Wine session, the display and
# the probe are up: the smoke set of the shipped 32-bit PatchSetup.exe.
#
#   run A, the shipped program in a folder whose name holds 0x5C trail bytes:
#     - M2 on a game folder without the game program; the window stays usable
#     - Browse opens the directory chooser; Cancel closes it
#     - the scratch file cannot be created (work.tmp is a folder): the error
#       box names it; the window survives and the game folder is untouched
#     - the demo patch: M4, every file as packed, the shortcut renamed, exit 0
#   run B, a copy whose carried archive is damaged: M3, exit 1, and the game
#   folder exactly as it was
#
# Outcomes on disk are the main evidence; box texts are read by the probe.
# Needs from the caller: drive_c, desktop, program, damaged_program,
# demo_files, start_program, program_ended, program_rc, and driver.sh.

app_title='カリオンのAster体験版　修正パッチ　セットアップ'
game='0(カリオン)のAster'
m2="指定されたフォルダには${game}がセットアップされていません"
m3='セットアップが正常に終了できませんでした'
m4='セットアップが正常に終了しました'

# The game folder as installed before a patch: the game program and version.
install_game() {  # $1 = game folder
  mkdir -p "$1"
  printf 'trial edition 1.000\r\n' > "$1/Game02.exe"
  printf '1.000\r\n' > "$1/version.txt"
}

# The setup window is open and takes input again (a box's owner is enabled
# again just after the box has gone).
setup_usable() { [ "$(window_enabled TInstallForm Setup)" = 1 ]; }
check_setup_usable() {  # $1 = name
  if wait_until 30 "the setup window to be enabled" setup_usable; then pass "$1"; else
    fail "$1" "enabled: '$(window_enabled TInstallForm Setup)'"
  fi
}

scratch_state() { [ -e "$1/work.tmp" ] && echo present || echo absent; }

# The program being worked ("a" or "b"): a wait for one of its windows ends
# early when it has ended.
watched=
shown_or_ended() { window_shown "$1" "$2" || program_ended "$watched"; }
wait_window() {  # $1 = seconds, $2 = what, $3 = class, $4 = caption
  wait_until "$1" "$2" shown_or_ended "$3" "$4" && window_shown "$3" "$4"
}

# Exit code 139 is the emulated process killed by SIGSEGV outside Wine's own
# exception handling: qemu keeps a core, and Wine's own processes die this
# way under the emulator too, so the program is not necessarily at fault.
ended_note() {
  if [ "$(program_rc "$watched")" = 139 ]; then echo " (SIGSEGV of the emulated process; see its core in artifacts/i386)"; fi
}

# After a step: the program must still be running. When it has ended (a
# crash) the rest of its run is skipped instead of failing check by check.
alive() {  # $1 = run name, $2 = the step
  if program_ended "$watched"; then
    fail "$1: the program is still running after $2" "it ended with exit code $(program_rc "$watched")$(ended_note)"
    shot "$watched-ended"
    return 1
  fi
}

# While waiting for the box that ends a patch run: one screenshot of the
# progress window if it is seen.
progress_seen=0
box_after_progress() {  # $1 = screenshot name
  if [ "$progress_seen" = 0 ] && window_shown TCompressForm '*'; then
    shot "$1"
    progress_seen=1
  fi
  shown_or_ended '#32770' "$app_title"
}

# Waits for the setup window of a program started in the session; the first
# start of a session pays for Wine's own services.
wait_setup_window() {  # $1 = seconds
  wait_window "$1" "the setup window" TInstallForm Setup
}

# Presses the start button and sets $box to the box that answers it.
start_and_get_box() {  # $1 = setup window, $2 = seconds for the box, $3 = progress screenshot
  progress_seen=0
  click_button "$1" '修正パッチ当て開始' || return 1
  wait_until "$2" "a message box" box_after_progress "${3:-progress}" || return 1
  box=$(window '#32770' "$app_title")
  [ -n "$box" ]
}

run_a_dir="$drive_c/i386-smoke/ソフト表"
run_a_win='C:\i386-smoke\ソフト表'

# Run A's program starts as soon as the session does: its start-up and the
# probe's overlap.
smoke_start_a() {
  mkdir -p "$run_a_dir/kaster"
  cp "$program" "$run_a_dir/PatchSetup.exe"
  printf '1.000\r\n' > "$run_a_dir/kaster/version.txt"   # no Game02.exe yet
  say "run A: starting $run_a_win\\PatchSetup.exe (the first program of the session: up to 20 min)"
  start_program a "$run_a_win\\PatchSetup.exe"
}

smoke_run_a() {
  local dir=$run_a_dir win=$run_a_win setup before
  local kaster="$dir/kaster"
  watched=a
  if ! wait_setup_window 1500; then
    fail "run A: the setup window appears" \
      "$(program_ended "$watched" && echo "the program ended with exit code $(program_rc "$watched")$(ended_note)")"
    shot a0-no-window
    return
  fi
  say "run A: setup window up"
  setup=$(window TInstallForm Setup)
  sleep 2
  shot a1-setup-window
  check "run A: the folder field is the default folder beside the program" \
    "$(child_text "$setup" Edit)" "$win\\kaster"

  say "run A: start on a folder without the game"
  before=$(snapshot "$kaster")
  if start_and_get_box "$setup" 300; then
    shot a2-m2
    check "run A: M2 on a folder without ${game}" "$(box_text "$box")" "$m2"
    answer_box "$box" || fail "run A: the M2 box closes"
    check_setup_usable "run A: after M2 the setup window is still open and enabled"
    check_unchanged "run A: after M2 the game folder is untouched" "$before" "$(snapshot "$kaster")"
  else
    fail "run A: a box answers start on a folder without the game"
    shot a2-no-box
  fi
  alive "run A" M2 || return

  say "run A: Browse and Cancel"
  if click_button "$setup" '参照' && wait_window 300 "the directory chooser" '*' 'ディレクトリの選択'; then
    sleep 1
    shot a3-chooser
    pass "run A: Browse opens the directory chooser"
    click_button "$(window '*' 'ディレクトリの選択')" 'キャンセル' &&
      wait_until 60 "the chooser to close" window_gone '*' 'ディレクトリの選択' &&
      pass "run A: Cancel closes the chooser" || fail "run A: Cancel closes the chooser"
    check_setup_usable "run A: after Cancel the setup window is open and enabled"
    check "run A: after Cancel the folder field is unchanged" "$(child_text "$setup" Edit)" "$win\\kaster"
  else
    fail "run A: Browse opens the directory chooser"
    shot a3-no-chooser
  fi
  alive "run A" "Browse and Cancel" || return

  say "run A: start while the scratch file cannot be created"
  install_game "$kaster"
  mkdir "$dir/work.tmp"
  before=$(snapshot "$kaster")
  if start_and_get_box "$setup" 300; then
    shot a4-scratch-error
    check "run A: the error box names the scratch file" "$(box_text "$box")" \
      "ファイル $win\\work.tmp を作成できません."
    answer_box "$box" || fail "run A: the error box closes"
    check_setup_usable "run A: after the error the setup window is still open and enabled"
    check "run A: after the error no wait window is left" "$(window TWaitForm '*')" ""
    check_unchanged "run A: after the error the game folder is untouched" "$before" "$(snapshot "$kaster")"
  else
    fail "run A: a box answers start when work.tmp cannot be created"
    shot a4-no-box
  fi
  rmdir "$dir/work.tmp"
  alive "run A" "the scratch-file error" || return

  say "run A: the demo patch"
  if start_and_get_box "$setup" 900 a5-progress; then
    shot a6-m4
    check "run A: M4 after the demo patch" "$(box_text "$box")" "$m4"
    answer_box "$box" || fail "run A: the M4 box closes"
  else
    fail "run A: a box answers the demo patch"
    shot a5-no-box
  fi
  if wait_until 300 "run A to end" program_ended a; then
    check "run A: exit code" "$(program_rc a)" 0
  else
    fail "run A: the program ends after the last message"
  fi
  check "run A: files in the game folder" "$(find "$kaster" -type f | wc -l)" 283
  if diff -r -q "$demo_files" "$kaster" >/dev/null; then
    pass "run A: every file as packed"
  else
    fail "run A: every file as packed" "$(diff -r -q "$demo_files" "$kaster" | head -n 3 | tr '\n' ' ')"
  fi
  check "run A: desktop shortcut renamed to carry the version" \
    "$(cd "$desktop" && ls -1 | grep -F "$game" | tr '\n' ' ')" "${game}1.260.lnk "
  check "run A: scratch file removed" "$(scratch_state "$dir")" absent
}

smoke_run_b() {
  local dir="$drive_c/i386-smoke/壊れ" win='C:\i386-smoke\壊れ' setup before desktop_before
  local kaster="$dir/kaster"
  watched=b
  install_game "$kaster"
  cp "$damaged_program" "$dir/PatchSetup.exe"
  # Data of the installed game that the patch would replace.
  mkdir -p "$kaster/data"
  printf 'installed game data\r\n' > "$kaster/data/bg_109.dat"
  before=$(snapshot "$kaster")
  desktop_before=$(cd "$desktop" && ls -1)

  say "run B: starting $win\\PatchSetup.exe (damaged archive)"
  start_program b "$win\\PatchSetup.exe"
  if ! wait_setup_window 900; then
    fail "run B: the setup window appears" \
      "$(program_ended "$watched" && echo "the program ended with exit code $(program_rc "$watched")$(ended_note)")"
    shot b0-no-window
    return
  fi
  setup=$(window TInstallForm Setup)
  sleep 2
  if start_and_get_box "$setup" 900 b1-progress; then
    shot b2-m3
    check "run B: M3 on a damaged archive" "$(box_text "$box")" "$m3"
    answer_box "$box" || fail "run B: the M3 box closes"
  else
    fail "run B: a box answers start with a damaged archive"
    shot b2-no-box
  fi
  if wait_until 300 "run B to end" program_ended b; then
    check "run B: exit code" "$(program_rc b)" 1
  else
    fail "run B: the program ends after M3"
  fi
  check "run B: scratch file removed" "$(scratch_state "$dir")" absent
  check "run B: desktop unchanged" "$(cd "$desktop" && ls -1)" "$desktop_before"
  # A failed patch leaves the game as it was: nothing written, nothing left over.
  check_unchanged "run B: the game folder is unchanged" "$before" "$(snapshot "$kaster")"
}

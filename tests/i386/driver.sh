# Sourced by tests/i386/smoke.sh: works PatchSetup.exe in the emulated 32-bit
# Wine from the Linux side. Input goes through X (xdotool: mouse clicks on
# buttons, Enter on boxes); what X cannot show (texts inside boxes and
# dialogs, button positions) comes from the probe (tests/i386/probe.cpp)
# running in the same Wine session. Needs: DISPLAY, probe_dir (the probe's
# folder, Linux path), shots (the screenshot folder).

failures=0

pass() { echo "  ok    $1"; }
fail() { echo "  FAIL  $1${2:+: $2}"; failures=$((failures + 1)); }
check() {  # $1 = name, $2 = what was found, $3 = what was expected
  if [ "$2" = "$3" ]; then pass "$1"; else fail "$1" "found '$2', expected '$3'"; fi
}

shot() {
  import -window root "$shots/$1.png" 2>/dev/null && echo "        screenshot $shots/$1.png"
}

# Asks the probe one question and prints its answer (without the sequence line).
probe() {  # $1 = command, $2 = argument
  # Unique even when called in a subshell, so a late answer is never taken
  # for the answer to a later question.
  local seq="$BASHPID.$EPOCHREALTIME" reply="$probe_dir/reply" i
  if [ -n "${2:-}" ]; then
    printf '%s\t%s\t%s\n' "$seq" "$1" "$2"
  else
    printf '%s\t%s\n' "$seq" "$1"
  fi > "$probe_dir/request.partial"
  mv "$probe_dir/request.partial" "$probe_dir/request"
  for ((i = 0; i < 1200; i++)); do
    if [ -f "$reply" ] && [ "$(head -n 1 "$reply")" = "$seq" ]; then
      tail -n +2 "$reply"
      rm -f "$reply"
      return 0
    fi
    sleep 0.1
  done
  echo "probe: no answer to '$1' in 120 s" >&2
  return 1
}

# Waits (polling every second, a progress line a minute) until a command
# succeeds; false after $1 seconds.
wait_until() {  # $1 = seconds, $2 = what, then the command
  local limit=$1 what=$2 start=$SECONDS next=$((SECONDS + 60))
  shift 2
  until "$@"; do
    if ((SECONDS - start >= limit)); then
      echo "        gave up waiting for $what after $((SECONDS - start)) s"
      return 1
    fi
    if ((SECONDS >= next)); then
      say "  … waiting for $what ($((SECONDS - start)) s)"
      next=$((SECONDS + 60))
    fi
    sleep 1
  done
}

# The handle of the visible top-level window of that class and caption
# (either may be '*'); empty when there is none, false when the probe fails.
window() {  # $1 = class, $2 = caption
  local list
  list=$(probe windows) || return 1
  awk -F'\t' -v c="$1" -v t="$2" '(c == "*" || $3 == c) && (t == "*" || $4 == t) { print $1; exit }' <<<"$list"
}
window_shown() { local w; w=$(window "$1" "$2") && [ -n "$w" ]; }
window_gone() { local w; w=$(window "$1" "$2") && [ -z "$w" ]; }
window_enabled() {  # $1 = class, $2 = caption; prints 1 or 0
  probe windows | awk -F'\t' -v c="$1" -v t="$2" '$3 == c && $4 == t { print $9; exit }'
}

# The text of the child window that has it (class compared without case).
child_text() {  # $1 = window, $2 = class
  probe children "$1" | awk -F'\t' -v c="$2" 'tolower($2) == tolower(c) && $3 != "" { print $3; exit }'
}

# A box's message: its static control with text (the icon's has none).
box_text() { child_text "$1" Static; }

# Clicks the child button with that text, with the mouse, at its centre.
click_button() {  # $1 = window, $2 = button text
  local rect
  rect=$(probe children "$1" | awk -F'\t' -v t="$2" '$3 == t { print $4, $5, $6, $7; exit }')
  if [ -z "$rect" ]; then
    echo "        no button '$2' in window $1"
    return 1
  fi
  set -- $rect
  xdotool mousemove $((($1 + $3) / 2)) $((($2 + $4) / 2)) sleep 0.3 click 1
}

# Answers the box with Enter; clicks its OK button if Enter did not close it.
answer_box() {  # $1 = box window
  xdotool key Return
  if wait_until 30 "the box to close" window_gone '#32770' "$app_title"; then return 0; fi
  echo "        Enter did not close the box; clicking OK"
  click_button "$1" OK
  wait_until 30 "the box to close" window_gone '#32770' "$app_title"
}

# A listing of a folder's files with their checksums, to compare before/after.
snapshot() {
  (cd "$1" && find . -type f -print0 | sort -z | xargs -0 -r md5sum)
}
# Compares two snapshots; a failure names the first files that differ.
check_unchanged() {  # $1 = name, $2 = before, $3 = after
  if [ "$2" = "$3" ]; then pass "$1"; else
    fail "$1" "$(diff <(echo "$2") <(echo "$3") | grep '^[<>]' | head -n 6 | tr '\n' ' ')"
  fi
}

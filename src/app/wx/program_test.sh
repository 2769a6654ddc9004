#!/usr/bin/env bash
# Runs the kerro program as a user would, on a copy of the demo board, on an X display
# (with_xvfb.sh gives it one): `kerro DEMO.CE2` opens with the path filled in, Return
# presses the default button Execute, the "Finished" box is dismissed with Return, Esc
# quits and the history is in KERRO.INI.
# Usage: program_test.sh KERRO_PROGRAM DEMO_FOLDER WORK_FOLDER
set -euo pipefail
program="$1" demo="$2" work="$3"

rm -rf "$work"
mkdir -p "$work"
cp "$demo"/DEMO.CE2 "$demo"/TOSK.INI "$demo"/DEMO.LB3 "$demo"/DEMO.LIB "$work"/
cd "$work"
: >KERRO.INI  # an empty settings file here, so that the one beside the program stays alone

fail() { echo "program_test: $*" >&2; exit 1; }

# Waits up to 30 seconds for a command to succeed: a sanitized build on a busy machine
# starts slowly.
wait_until() {
  for _ in $(seq 300); do
    if "$@"; then return 0; fi
    sleep 0.1
  done
  return 1
}

visible_window() { xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1; }
has_window() { [ -n "$(visible_window "$1")" ]; }
no_window() { [ -z "$(visible_window "$1")" ]; }
exited() { ! kill -0 "$pid" 2>/dev/null; }

# Gives a window the keyboard (there is no window manager to do it) and types keys into it.
press() {
  local window
  window="$(visible_window "$1")"
  [ -n "$window" ] || fail "no window \"$1\""
  xdotool windowfocus --sync "$window"
  xdotool key --clearmodifiers "$2"
}

"$program" DEMO.CE2 2>program.err &
pid=$!
trap 'kill "$pid" 2>/dev/null || true' EXIT

wait_until has_window '^Kerro Ver\.0\.91e$' || fail "the dialog did not open"
press '^Kerro Ver\.0\.91e$' Return
wait_until has_window '^Kerro$' || fail "no message box after Execute"
[ -f 'DEMO.$E2' ] || fail "no backup DEMO.\$E2 after Execute"
cmp -s DEMO.CE2 "$demo"/DEMO.CE2 && fail "DEMO.CE2 was not renumbered"
cmp -s 'DEMO.$E2' "$demo"/DEMO.CE2 || fail "the backup is not the previous content"
press '^Kerro$' Return
wait_until no_window '^Kerro$' || fail "the message box stayed open"
press '^Kerro Ver\.0\.91e$' Escape
wait_until exited || fail "Esc did not end the program"
wait "$pid" || fail "the program ended with status $?"
trap - EXIT

grep -qx 'File0=DEMO.CE2' KERRO.INI || fail "KERRO.INI holds no File0=DEMO.CE2: $(cat KERRO.INI)"
grep -qx 'File3=' KERRO.INI || fail "KERRO.INI holds no empty File3: $(cat KERRO.INI)"
echo "program_test: passed"

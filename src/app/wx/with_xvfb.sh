#!/usr/bin/env bash
# Runs a command on a virtual X display of its own. The server chooses a free display
# number itself (-displayfd), so that runs at the same time, by this build or by anyone
# else on the machine, never race for one as `xvfb-run -a` can.
# -noreset: by default the server resets when its last client leaves, and for that moment
# refuses the next one, so a program started just after another ended (or after xdotool)
# could not open the display.
# Usage: with_xvfb.sh COMMAND [ARGUMENT...]
set -euo pipefail
folder=$(mktemp -d)
mkfifo "$folder/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$folder/display" 2>"$folder/xvfb.log" &
server=$!
trap 'kill "$server" 2>/dev/null || true; wait "$server" 2>/dev/null || true; rm -rf "$folder"' EXIT
if ! read -r number <"$folder/display"; then
  echo "with_xvfb: the X server did not start" >&2
  cat "$folder/xvfb.log" >&2
  exit 1
fi
export DISPLAY=":$number"
"$@"

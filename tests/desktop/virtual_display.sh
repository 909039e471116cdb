#!/usr/bin/env bash
# virtual_display.sh SCREEN COMMAND...: runs COMMAND on a virtual display of its own (SCREEN as "1280x800x24").
# Xvfb picks the display number itself and says which once it is ready: `xvfb-run -a` lets two tests started
# at the same moment pick one number, and the loser's command then meets the winner's server without its key.
# The server never resets: a reset when a script's program closes refuses, for a moment, the next one it starts.
set -euo pipefail
screen=$1
shift
number=$(mktemp)
Xvfb -displayfd 3 -screen 0 "$screen" -nolisten tcp -noreset 3>"$number" 2>/dev/null &
server=$!
trap 'kill "$server" 2>/dev/null || true; wait "$server" 2>/dev/null || true; rm -f "$number"' EXIT
for _ in $(seq 300); do
  [ -s "$number" ] && break
  kill -0 "$server" 2>/dev/null || { echo "virtual_display.sh: Xvfb did not start" >&2; exit 1; }
  sleep 0.05
done
[ -s "$number" ] || { echo "virtual_display.sh: Xvfb did not start within 15 s" >&2; exit 1; }
status=0
DISPLAY=":$(cat "$number")" "$@" || status=$?
exit "$status"

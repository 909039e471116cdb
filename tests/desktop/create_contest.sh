#!/usr/bin/env bash
# Types a contest's name into the program's first screen and presses Enter; the contest's folder appears on
# the desktop, the window is titled after it, and closing the window ends the program with the contest closed.
#   create_contest.sh PROGRAM   (on a display)
set -euo pipefail
source "$(dirname "$0")/session.sh"

start_program "$1"
[ "$(xdotool getwindowgeometry "$wid" | sed -n 's/.*Geometry: //p')" = "1040x640" ] || fail "wrong window size"
wait_for_page "$wid"
screenshot started
type_into "$wid" "Spring Cup"
xdotool key Return
wait_for_title "$wid" "Spring Cup - Pellucan"
[ -f "$desktop/Spring Cup/contest.db" ] || fail "no contest.db in the contest folder"
screenshot created

close_and_wait "$wid" "$pid"
contest_is_closed "$desktop/Spring Cup/contest.db" "Spring Cup"
echo "PASS"

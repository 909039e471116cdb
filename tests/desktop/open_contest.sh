#!/usr/bin/env bash
# A contest made in one run is opened in the next through the open-file dialog, which starts on the desktop
# and fits the screen.
#   open_contest.sh PROGRAM   (on a display)
set -euo pipefail
source "$(dirname "$0")/session.sh"

start_program "$1"
create_in "$wid" "Autumn Cup"
close_and_wait "$wid" "$pid"

start_program "$1"
show_open_dialog "$wid"
# On the 1280x800 screen the dialog is no larger than the 1040x640 window, and wholly on the screen.
eval "$(xdotool getwindowgeometry --shell "$dialog")"  # X, Y, WIDTH, HEIGHT
[ "$WIDTH" -le 1040 ] && [ "$HEIGHT" -le 640 ] || fail "the dialog is ${WIDTH}x${HEIGHT}"
[ "$X" -ge 0 ] && [ "$Y" -ge 0 ] && [ $((X + WIDTH)) -le 1280 ] && [ $((Y + HEIGHT)) -le 800 ] ||
  fail "the dialog at $X,$Y (${WIDTH}x${HEIGHT}) leaves the screen"
choose_in_dialog "$desktop/Autumn Cup/contest.db"
wait_for_title "$wid" "Autumn Cup - Pellucan"
screenshot opened
close_and_wait "$wid" "$pid"
contest_is_closed "$desktop/Autumn Cup/contest.db" "Autumn Cup"
echo "PASS"

#!/usr/bin/env bash
# What the page's help promises in the real window: Ctrl+F opens the page's find field, which takes the typing
# until Escape gives it back to the page's field, and the context menu's r (Reload in a browser's menu) leaves
# the page as it was.
#   page_keys.sh PROGRAM   (on a display)
set -euo pipefail
source "$(dirname "$0")/session.sh"

# yellow_in WID: how many pixels of the window are painted in the yellow that marks a match.
yellow_in() {
  import -window "$1" png:- | convert - -fuzz 20% -fill black +opaque yellow -fill white -opaque yellow \
    -format '%[fx:int(mean*w*h+0.5)]' info:
}

start_program "$1"
wait_for_page "$wid"
# A fast typist's keys, each pressed the moment the one before is: the name field gets what was typed in the
# page, the find field what was typed after Ctrl+F, and Escape gives the keys back to the field where they were.
type_into "$wid" "Spr"
xdotool key ctrl+f
xdotool type --delay 30 "contest"
xdotool key Escape
xdotool type --delay 30 "ing Cup "
# Ctrl+F again shows the field with its whole text selected, which Ctrl+C copies for the name field.
xdotool key ctrl+f ctrl+c Escape ctrl+v
sleep 0.5  # longer than the field waits after a key before it searches
screenshot typed
[ "$(yellow_in "$wid")" = 0 ] || fail "matches are still marked with the find field closed"
xdotool key Return
wait_for_title "$wid" "Spring Cup contest - Pellucan"

# The menu of a plain part of the page; pressing r in it changes nothing.
xdotool mousemove --window "$wid" 600 400 click 3
sleep 0.5
xdotool key Escape
sleep 0.3
import -window "$wid" "$home/before.png"
xdotool mousemove --window "$wid" 600 400 click 3
sleep 0.5
screenshot menu
xdotool key r
sleep 0.5
xdotool key Escape
sleep 1  # time for a reload, if one had started
import -window "$wid" "$home/after.png"
differing=$(compare -metric AE "$home/before.png" "$home/after.png" null: 2>&1 || true)
[ "$differing" = "0" ] || fail "the page changed after r in its menu ($differing pixels)"

close_and_wait "$wid" "$pid"
contest_is_closed "$desktop/Spring Cup contest/contest.db" "Spring Cup contest"
echo "PASS"

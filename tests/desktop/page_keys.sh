#!/usr/bin/env bash
# What the page's help promises in the real window: Ctrl+F opens a find bar that takes the typing until
# Escape gives it back to the page's field, and the context menu's r (Reload in a browser's menu) leaves
# the page as it was.
#   page_keys.sh PROGRAM   (on a display)
set -euo pipefail
source "$(dirname "$0")/session.sh"

# window_shot WID FILE: the window's content as an image.
window_shot() { import -window "$1" "$2"; }

# bottom_is_white WID: the page, not the find bar, reaches the window's bottom edge.
bottom_is_white() {
  local colour
  colour=$(import -window "$1" png:- | convert - -format '%[pixel:p{500,636}]' info:)
  [ "$colour" = "white" ] || [ "$colour" = "srgb(255,255,255)" ]
}

# until_ok COMMAND...: retries for up to three seconds.
until_ok() {
  for _ in $(seq 30); do
    "$@" && return 0
    sleep 0.1
  done
  return 1
}

start_program "$1"
wait_for_page "$wid"
type_into "$wid" "Spr"
xdotool key ctrl+f
until_ok eval '! bottom_is_white "$wid"' || fail "Ctrl+F showed no find bar"
xdotool type --delay 30 "contest"
sleep 0.5
screenshot find
xdotool key Escape
until_ok bottom_is_white "$wid" || fail "Escape left the find bar open"
# The word went to the bar, and the typing now goes on in the name field.
xdotool type --delay 30 "ing Cup"
xdotool key Return
wait_for_title "$wid" "Spring Cup - Pellucan"

# The menu of a plain part of the page; pressing r in it changes nothing.
xdotool mousemove --window "$wid" 600 400 click 3
sleep 0.5
xdotool key Escape
sleep 0.3
window_shot "$wid" "$home/before.png"
xdotool mousemove --window "$wid" 600 400 click 3
sleep 0.5
screenshot menu
xdotool key r
sleep 0.5
xdotool key Escape
sleep 1  # time for a reload, if one had started
window_shot "$wid" "$home/after.png"
differing=$(compare -metric AE "$home/before.png" "$home/after.png" null: 2>&1 || true)
[ "$differing" = "0" ] || fail "the page changed after r in its menu ($differing pixels)"

close_and_wait "$wid" "$pid"
contest_is_closed "$desktop/Spring Cup/contest.db" "Spring Cup"
echo "PASS"

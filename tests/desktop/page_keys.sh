#!/usr/bin/env bash
# What the page's help promises in the real window: Ctrl+F opens a find bar that takes the typing until
# Escape gives it back to the page's field, and the context menu's r (Reload in a browser's menu) leaves
# the page as it was.
#   page_keys.sh PROGRAM   (on a display)
set -euo pipefail
source "$(dirname "$0")/session.sh"

# find_bar_is WID shown|hidden: waits up to three seconds for the find bar, gray along the bottom edge of the
# 640-pixel-high window where the page is white, to be shown or hidden.
find_bar_is() {
  local colour now
  for _ in $(seq 30); do
    colour=$(import -window "$1" png:- | convert - -format '%[pixel:p{500,636}]' info:)
    now=shown
    [ "$colour" = "white" ] || [ "$colour" = "srgb(255,255,255)" ] && now=hidden
    [ "$now" = "$2" ] && return 0
    sleep 0.1
  done
  return 1
}

start_program "$1"
wait_for_page "$wid"
type_into "$wid" "Spr"
xdotool key ctrl+f
find_bar_is "$wid" shown || fail "Ctrl+F showed no find bar"
xdotool type --delay 30 "contest"
sleep 0.5
screenshot find
xdotool key Escape
find_bar_is "$wid" hidden || fail "Escape left the find bar open"
sleep 0.3  # the page takes the focus back a moment after the bar is gone
# The word went to the bar, and the typing now goes on in the name field.
xdotool type --delay 30 "ing Cup"
xdotool key Return
wait_for_title "$wid" "Spring Cup - Pellucan"

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
contest_is_closed "$desktop/Spring Cup/contest.db" "Spring Cup"
echo "PASS"

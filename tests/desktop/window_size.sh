#!/usr/bin/env bash
# The window's size follows the screen's DPI (72 here: three quarters of 1040 by 640), and the page keeps
# covering the whole window when it is made larger.
#   window_size.sh PROGRAM   (on a display)
set -euo pipefail
source "$(dirname "$0")/session.sh"
export GDK_DPI_SCALE=0.75

start_program "$1"
[ "$(xdotool getwindowgeometry "$wid" | sed -n 's/.*Geometry: //p')" = "780x480" ] || fail "wrong window size"
wait_for_page "$wid"
xdotool windowsize --sync "$wid" 1200 780
sleep 0.5
# The page is white where the window's own background would show if the view had kept its first size.
for _ in $(seq 30); do
  corner=$(import -window root png:- | convert - -format '%[pixel:p{1170,770}]' info:)
  [ "$corner" = "white" ] || [ "$corner" = "srgb(255,255,255)" ] && break
  sleep 0.1
done
[ "$corner" = "white" ] || [ "$corner" = "srgb(255,255,255)" ] || fail "the page does not reach the corner ($corner)"
screenshot resized
close_and_wait "$wid" "$pid"
echo "PASS"

#!/usr/bin/env bash
# The window's size follows the screen's DPI (72 here: three quarters of 1040 by 640) where it fits and keeps to
# the screen where it does not (1040 wide on a 1024-pixel screen, twice 1040 by 640 at scale 2), and the page
# keeps covering the whole window when it is made larger.
#   window_size.sh PROGRAM   (on a display)
set -euo pipefail
source "$(dirname "$0")/session.sh"
read -r screen_width screen_height < <(xdotool getdisplaygeometry)

# size_is WIDTH HEIGHT: the window $wid has that size, or the screen's where the screen is smaller.
size_is() {
  local wanted="$((screen_width < $1 ? screen_width : $1))x$((screen_height < $2 ? screen_height : $2))"
  local size
  size=$(xdotool getwindowgeometry "$wid" | sed -n 's/.*Geometry: //p')
  [ "$size" = "$wanted" ] || fail "the window is $size, not $wanted"
}

start_program "$1"
size_is 1040 640
close_and_wait "$wid" "$pid"
GDK_SCALE=2 start_program "$1"
size_is 2080 1280
close_and_wait "$wid" "$pid"

GDK_DPI_SCALE=0.75 start_program "$1"
size_is 780 480
wait_for_page "$wid"
xdotool windowsize --sync "$wid" 1000 700
sleep 0.5
# The page is white where the window's own background would show if the view had kept its first size.
for _ in $(seq 30); do
  corner=$(import -window root png:- | convert - -format '%[pixel:p{970,690}]' info:)
  [ "$corner" = "white" ] || [ "$corner" = "srgb(255,255,255)" ] && break
  sleep 0.1
done
[ "$corner" = "white" ] || [ "$corner" = "srgb(255,255,255)" ] || fail "the page does not reach the corner ($corner)"
screenshot resized
close_and_wait "$wid" "$pid"
echo "PASS"

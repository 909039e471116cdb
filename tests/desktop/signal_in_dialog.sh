#!/usr/bin/env bash
# SIGTERM or SIGINT ends the program even while a modal dialog or a page popup (its context menu, a select's
# list) is up: the dialog or popup ends as cancelled and the window closes as its close box does, with exit
# code 0 and the contest closed.
#   signal_in_dialog.sh PROGRAM   (on a display)
set -euo pipefail
source "$(dirname "$0")/session.sh"

# wait_for_popup: until the program shows a window besides its main window.
wait_for_popup() {
  for _ in $(seq 50); do
    [ "$(xdotool search --onlyvisible --pid "$pid" 2>/dev/null | wc -l)" -gt 1 ] && return 0
    sleep 0.1
  done
  fail "no popup appeared"
}

start_program "$1"
create_in "$wid" "Print Cup"
xdotool key ctrl+p
wait_for_dialog Print
screenshot print
ends_with_success TERM "$pid"
contest_is_closed "$desktop/Print Cup/contest.db" "Print Cup"

start_program "$1"
show_open_dialog "$wid"
ends_with_success INT "$pid"

start_program "$1"
create_in "$wid" "Menu Cup"
xdotool mousemove --window "$wid" 600 400 click 3
wait_for_popup
ends_with_success TERM "$pid"
contest_is_closed "$desktop/Menu Cup/contest.db" "Menu Cup"

start_program "$1"
create_in "$wid" "List Cup"
xdotool mousemove --window "$wid" 422 17 click 1  # the Contestants link
sleep 0.5
xdotool mousemove --window "$wid" 133 142 click 1  # its team list
wait_for_popup
screenshot list
ends_with_success INT "$pid"
contest_is_closed "$desktop/List Cup/contest.db" "List Cup"
echo "PASS"

#!/usr/bin/env bash
# A contest made in one run is opened in the next through the open-file dialog, which starts on the desktop.
#   open_contest.sh PROGRAM   (on a display)
set -euo pipefail
source "$(dirname "$0")/session.sh"

start_program "$1"
create_in "$wid" "Autumn Cup"
close_and_wait "$wid" "$pid"

start_program "$1"
open_through_dialog "$wid" "$desktop/Autumn Cup/contest.db"
wait_for_title "$wid" "Autumn Cup - Pellucan"
screenshot opened
close_and_wait "$wid" "$pid"
contest_is_closed "$desktop/Autumn Cup/contest.db" "Autumn Cup"
echo "PASS"

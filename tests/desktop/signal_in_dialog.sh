#!/usr/bin/env bash
# SIGTERM or SIGINT ends the program even while a modal dialog is up: the dialog ends as cancelled and the
# window closes as its close box does, with exit code 0 and the contest closed.
#   signal_in_dialog.sh PROGRAM   (on a display)
set -euo pipefail
source "$(dirname "$0")/session.sh"

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
echo "PASS"

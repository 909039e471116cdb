#!/usr/bin/env bash
# While one running program holds a contest, a second one cannot open it: the headless host's open answers
# the probe's sentence, and a second window's open through its dialog leaves that window without a contest.
#   second_instance.sh PROGRAM HOST   (on a display)
set -euo pipefail
source "$(dirname "$0")/session.sh"

start_program "$1"
first_window=$wid first_pid=$pid
create_in "$first_window" "Held Cup"
file="$desktop/Held Cup/contest.db"

# The host's input stays open past the probe's two-second wait, or the host would stop before answering.
reply=$({ printf '15\n1:open_contest:'; sleep 5; } | timeout 30 "$2" --desktop "$desktop" --open "$file" 2>/dev/null)
expected="1:ERROR:This contest is already open in another window."
[ "$reply" = "${#expected}"$'\n'"$expected" ] || fail "the second program answered: $reply"

start_program "$1"
second_window=$wid second_pid=$pid
open_through_dialog "$second_window" "$file"
sleep 3  # past the probe's two-second wait
[ "$(xdotool getwindowname "$second_window")" = "Pellucan" ] || fail "the second window opened the held contest"
screenshot refused

close_and_wait "$second_window" "$second_pid"
close_and_wait "$first_window" "$first_pid"
contest_is_closed "$file" "Held Cup"
echo "PASS"

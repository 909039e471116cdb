#!/usr/bin/env bash
# How long find and a message take on a large Matches screen, in a web view of the window's set-up: the
# Matches screen's desktop test, given SHEETS played sheets, prints the times instead of checking. Run by
# hand: bench/find_matches.sh [SHEETS...]   (default: 254 996, the played sheets of 128 and 500 teams;
# programs from $BUILD_DIR, default build/)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
[ $# -gt 0 ] || set -- 254 996
cd "$build/tests"
for sheets in "$@"; do
  echo "$sheets sheets, load average $(cut -d' ' -f1 /proc/loadavg)"
  MATCH_SHEETS_TIMED=$sheets GSETTINGS_BACKEND=memory xvfb-run -a -s "-screen 0 1280x800x24" \
    "$build/desktop_tests" --gtest_filter='MatchSheets.*' | grep ' ms$'
done

# Helpers for the scripts that drive the real program on a virtual display; sourced, never run.
# Each script gets a fresh home whose desktop folder is "$desktop" (not the default ~/Desktop, so that the
# program is seen to ask the user's settings for it).

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
home=$(mktemp -d /tmp/pellucan-desktop-XXXXXX)
desktop="$home/Schreibtisch"
mkdir -p "$desktop" "$home/.config"
echo "XDG_DESKTOP_DIR=\"$desktop\"" >"$home/.config/user-dirs.dirs"
export HOME="$home" GSETTINGS_BACKEND=memory
unset XDG_CONFIG_HOME XDG_DATA_HOME XDG_CACHE_HOME

started=()
finish_session() {
  for pid in "${started[@]}"; do kill -KILL "$pid" 2>/dev/null || true; done
  rm -rf "$home"
}
trap finish_session EXIT

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# start_program PROGRAM: starts it; sets $pid and $wid (its visible window).
start_program() {
  "$1" &
  pid=$!
  started+=("$pid")
  wid=""
  for _ in $(seq 100); do
    wid=$(xdotool search --onlyvisible --pid "$pid" --name '^Pellucan' 2>/dev/null | head -n1 || true)
    [ -n "$wid" ] && break
    sleep 0.1
  done
  [ -n "$wid" ] || fail "no window appeared"
}

# wait_for_page WID: until the page has painted (a blank view has a single colour).
wait_for_page() {
  for _ in $(seq 100); do
    colours=$(import -window "$1" png:- 2>/dev/null | identify -format '%k' - 2>/dev/null || echo 0)
    [ "${colours:-0}" -gt 8 ] && sleep 0.3 && return 0
    sleep 0.1
  done
  fail "the page was never shown"
}

# wait_for_title WID TITLE
wait_for_title() {
  for _ in $(seq 100); do
    [ "$(xdotool getwindowname "$1")" = "$2" ] && return 0
    sleep 0.1
  done
  fail "the title is \"$(xdotool getwindowname "$1")\", not \"$2\""
}

# type_into WID TEXT...: keys go to that window's focused element.
type_into() {
  local window=$1
  shift
  xdotool windowfocus --sync "$window"
  xdotool type --delay 30 "$@"
}

# close_and_wait WID PID: closes the window as its close box does; checks the program ends with 0.
close_and_wait() {
  python3 "$here/close_window.py" "$1"
  local code=0
  wait "$2" || code=$?
  [ "$code" -eq 0 ] || fail "the program ended with exit code $code"
}

# screenshot NAME: the whole screen into $PELLUCAN_SCREENSHOTS, when that names a folder.
screenshot() {
  [ -n "${PELLUCAN_SCREENSHOTS:-}" ] || return 0
  sleep 0.3
  import -window root "$PELLUCAN_SCREENSHOTS/$1.png"
}

# contest_is_closed FILE NAME: the file is free again (no log left, no lock held) and names the contest.
contest_is_closed() {
  [ ! -e "$1-wal" ] || fail "the write-ahead log is still beside $1"
  python3 - "$1" "$2" <<'PY' || fail "the contest database is not closed and complete"
import sqlite3, sys
db = sqlite3.connect(sys.argv[1], timeout=0, isolation_level=None)
db.execute("BEGIN IMMEDIATE")
name = db.execute("SELECT name FROM contest WHERE id = 1").fetchone()[0]
db.execute("COMMIT")
sys.exit(0 if name == sys.argv[2] else 1)
PY
}

# create_in WID NAME: types the name into the first screen's focused field and presses Enter.
create_in() {
  wait_for_page "$1"
  type_into "$1" "$2"
  xdotool key Return
  wait_for_title "$1" "$2 - Pellucan"
}

# wait_for_dialog TITLE: sets $dialog to the visible window titled TITLE.
wait_for_dialog() {
  dialog=""
  for _ in $(seq 100); do
    dialog=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n1 || true)
    [ -n "$dialog" ] && return 0
    sleep 0.1
  done
  fail "no $1 dialog appeared"
}

# show_open_dialog WID: the first screen's open button; sets $dialog to the open-file dialog it shows.
show_open_dialog() {
  wait_for_page "$1"
  xdotool windowfocus --sync "$1"
  xdotool key Tab Tab Return  # from the name field past the create button to the open button
  wait_for_dialog Open
}

# choose_in_dialog FILE: FILE typed into the open-file dialog $dialog.
choose_in_dialog() {
  xdotool windowfocus --sync "$dialog"
  screenshot dialog
  xdotool type --delay 30 "$1"
  sleep 0.5
  xdotool key Return
}

# open_through_dialog WID FILE: the first screen's open button, then FILE chosen in the open-file dialog.
open_through_dialog() {
  show_open_dialog "$1"
  choose_in_dialog "$2"
}

# ends_with_success SIGNAL PID: sends the signal; the program must end within ten seconds, with exit code 0.
ends_with_success() {
  kill -s "$1" "$2"
  for _ in $(seq 100); do
    kill -0 "$2" 2>/dev/null || break
    sleep 0.1
  done
  ! kill -0 "$2" 2>/dev/null || fail "the program is still running after $1"
  local code=0
  wait "$2" || code=$?
  [ "$code" -eq 0 ] || fail "the program ended with exit code $code after $1"
}

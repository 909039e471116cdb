#!/usr/bin/env bash
# How the real window keeps up on the Matches screen of a large contest: makes the contest through the
# headless host, opens it through the open dialog, clicks Matches, and prints the time until the program
# and its web view processes are idle again, then times keys, a message, a save and a search; then the web
# view's memory over many searches, and a one-letter search and Enter on every screen. Run by hand, on a
# virtual display of its own:
#   bench/matches_screen.sh [TEAMS...]     (default: 128 500; programs from $BUILD_DIR, default build/)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
if [ "${1:-}" != --on-display ]; then
  exec xvfb-run -a -s "-screen 0 1280x800x24" bash "$0" --on-display "$@"
fi
shift
build=${BUILD_DIR:-$root/build}
[ $# -gt 0 ] || set -- 128 500
source "$root/tests/desktop/session.sh"

# make_contest TEAMS NAME PLAYED: the contest, its teams with four contestants each, started and its first
# PLAYED matches played through the headless host; team 1 wins every match, so the final ends the contest.
make_contest() {
  python3 - "$build/pellucan-host" "$desktop" "$1" "$2" "$3" <<'PY'
import random, subprocess, sys
host, desktop, teams, name, played = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4], int(sys.argv[5])
sep = "\x1f"
requests = []
def request(command, args=""):
    requests.append(f"{len(requests) + 1}:{command}:{args}")

# A played sheet: points in the open cells, computed subtotals and totals, initials; team 1 ahead.
def sheet(match, rng):
    cells = [""] * 536
    for row in range(1, 33):
        for column in range(12):
            chair = 5 - column if column < 5 else column - 6
            if 1 <= row <= 12 and column not in (0, 5, 6, 11) and chair != (row - 1) % 4 + 1:
                continue
            if row in (16, 21, 26) and column not in (5, 6):
                continue
            cells[12 * (row - 1) + column] = rng.choice(["", "", "0", "10", "20"])
    sums = [sum(int(cells[12 * r + c] or 0) for r in range(32)) for c in range(12)]
    red, white = sum(sums[:6]), sum(sums[6:])
    if red <= white:
        cells[5] = str(white - red + 10)
        sums[5] += white - red + 10
        red = white + 10
    cells[384:400] = [str(s) for s in sums] + [str(red), str(white), "AB", "CD"]
    return sep.join([str(match)] + cells)

request("create_contest", name)
for team in range(1, teams + 1):
    request("call_save_team", sep.join(["none", f"Team {team}", f"Coach {team}", ""]))
# A fresh contest numbers its teams from 1.
for team in range(1, teams + 1):
    for chair in range(1, 5):
        request("save_contestant", sep.join(["none", str(team), f"Player {team}.{chair}", str(chair)]))
request("start_contest")
rng = random.Random(teams)
for match in range(1, played + 1):
    request("load_match", sheet(match, rng))

frames = b"".join(b"%d\n%s" % (len(text.encode()), text.encode()) for text in requests)
output = subprocess.run([host, "--desktop", desktop], input=frames, capture_output=True, check=True).stdout
while output:
    length, _, output = output.partition(b"\n")
    reply, output = output[: int(length)].decode(), output[int(length):]
    if reply.split(":", 1)[1] != "":
        sys.exit(f"the host answered {reply[:200]}")
PY
}

# link_x WID N: the middle of the navigation link N (0 to 6), found in the window as a run of dark columns in
# the navigation bar.
link_x() {
  import -window "$1" -crop 1040x30+0+0 -colorspace gray -depth 8 gray:- | python3 -c '
import sys
data = sys.stdin.buffer.read()
dark = [any(data[y * 1040 + x] < 128 for y in range(30)) for x in range(1040)]
runs, start, gap = [], None, 0
for x, d in enumerate(dark + [False] * 20):
    if d:
        start = x if start is None else start
        end, gap = x, 0
    elif start is not None:
        gap += 1
        if gap > 8:
            runs.append((start + end) // 2)
            start = None
print(runs[int(sys.argv[1])] if len(runs) == 7 else sys.exit(f"found {len(runs)} links, not 7"))' "$2"
}

# What the processes under the program do: their processor time, when they last worked, the web view's memory.
cat >"$HOME/processes.py" <<'PY'
import os, sys, time

# The processes under root, root included: each one's processor time in ticks of 10 ms, name, and resident kB.
def under(root):
    parents, found = {}, {}
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            stat = open(f"/proc/{entry}/stat").read()
        except OSError:
            continue
        fields = stat.rsplit(")", 1)[1].split()
        parents[int(entry)] = int(fields[1])
        found[int(entry)] = (int(fields[11]) + int(fields[12]), stat[stat.index("(") + 1:stat.rindex(")")],
                             int(fields[21]) * os.sysconf("SC_PAGE_SIZE") // 1024)
    def under_root(pid):
        while pid > 1:
            if pid == root:
                return True
            pid = parents.get(pid, 0)
        return False
    return [process for pid, process in found.items() if under_root(pid)]

def cpu_ticks(root):
    return sum(ticks for ticks, _, _ in under(root))

def web_memory_mb(root):
    return sum(kb for _, name, kb in under(root) if name.startswith("WebKitWebProc")) // 1024

# When the processes under root last worked, once they have stayed idle for quiet seconds; the web view's
# timers take a tick or two of processor time now and then, so 50 ms count as work from 30 ms of it on.
def last_work(root, start, previous, quiet=1.0):
    last_busy = start
    while True:
        time.sleep(0.05)
        now, current = time.time(), cpu_ticks(root)
        if current - previous > 2:
            last_busy = now
        previous = current
        if now - last_busy >= quiet:
            return last_busy
        if now - start > 900:
            sys.exit(f"not idle after {round(now - start)} s")
PY
export PYTHONPATH="$HOME"

# timed PID WID UNTIL XDOTOOL-ARGS...: runs xdotool on the window and prints the milliseconds until UNTIL
# holds: "idle" (the program and every process under it last worked, once they have stayed idle for a whole
# second), "shown" or "gone" (the page's message overlay darkens the window's white left margin, or no longer
# does).
timed() {
  python3 - "$@" <<'PY'
import subprocess, sys, time
from processes import cpu_ticks, last_work
root, window, until, args = int(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4:]
def overlay_shown():
    pixel = subprocess.run(["import", "-window", window, "-crop", "1x1+8+400", "-depth", "8", "rgb:-"],
                           capture_output=True, check=True).stdout
    return pixel != b"\xff\xff\xff"
previous = cpu_ticks(root)
start = time.time()
subprocess.run(["xdotool"] + args, check=True)
if until == "idle":
    print(round((last_work(root, start, previous) - start) * 1000))
    sys.exit()
while overlay_shown() != (until == "shown"):
    if time.time() - start > 30:
        sys.exit(f"not {until} after 30 s")
print(round((time.time() - start) * 1000))
PY
}

# web_memory PID TEAMS TEXTS: types 200 texts into the find field, which has the keys, each in place of the one
# before once the program is idle again, and prints the web view's memory in MB after the 20th and after the
# last. The texts are names of teams, coaches and contestants, numbers as totals are, and single digits: TEXTS
# of them, searched in turn. With 20, every sheet that the searches bring near has been brought near once by
# the 20th; with 200, most searches bring near a sheet the web view has never laid out, which keeps about
# 0.1 MB of its own for each sheet it has laid out once, with find or without.
web_memory() {
  python3 - "$@" <<'PY'
import random, subprocess, sys, time
from processes import cpu_ticks, last_work, web_memory_mb
root, teams, count = int(sys.argv[1]), int(sys.argv[2]), int(sys.argv[3])
rng = random.Random(teams)
makers = [lambda: f"Team {rng.randint(1, teams)}", lambda: f"Coach {rng.randint(1, teams)}",
          lambda: f"Player {rng.randint(1, teams)}.{rng.randint(1, 4)}", lambda: str(rng.randint(100, 400)),
          lambda: str(rng.randint(0, 9))]
texts = [makers[k % len(makers)]() for k in range(count)]
memory = []
for k in range(1, 201):
    previous, start = cpu_ticks(root), time.time()
    subprocess.run(["xdotool", "key", "ctrl+a", "type", texts[k % count]], check=True)
    last_work(root, start, previous, quiet=0.3)
    if k in (20, 200):
        time.sleep(1)
        memory.append(web_memory_mb(root))
print(*memory)
PY
}

# keys_median PID WID KEY...: the median over the keys of the milliseconds from each key until idle.
keys_median() {
  local pid=$1 wid=$2 key
  shift 2
  for key in "$@"; do timed "$pid" "$wid" idle key "$key"; done |
    sort -n | awk '{ all[NR] = $1 } END { print all[int((NR + 1) / 2)] }'
}

# The contest lacks its last two matches: the screen shows every sheet but the last, the next match's
# open. Columns: load, seconds from the click on Matches until idle; tab, milliseconds from the first Tab
# (which goes to the open sheet past every cell of the completed ones) until idle; key, milliseconds per Tab
# on through the sheet's 384 score cells; message and dismiss, from a key that is not a number until its
# message is shown, and from Enter until it is gone; save, from Save Match until idle, the last sheet shown;
# digit, milliseconds from a key typed into a score cell of that sheet until idle (the median of five, a
# digit and a backspace in turn); find, seconds from Ctrl+F and a far sheet's total until idle; then, with
# find still open and Tab taking the keys back to a score cell, digit and message again (+digit, +message);
# last, with the keys given back to the page, milliseconds from Ctrl+A until idle (all) and from Ctrl+C
# until idle (copy).
# A caret that blinks keeps the web view busy, so here it blinks once a minute. The last column names what
# misses its target: the load within 1 s up to 128 teams and 3 s up to 500, the first Tab and a message
# within 300 ms (with find open too, up to 500 teams), find within 0.3 s up to 128 teams and 1 s up to 500,
# a key with find open within twice the same key without, Ctrl+A and Ctrl+C within 1 s together, and the
# copied text holding every sheet whole (copied). Below each row: the web view's memory over 200 searches on the
# Matches screen, 20 texts in turn (within 30 MB from the 20th search to the 200th), then 200 texts; and every
# screen, the Rankings screen also with the ranks beyond the top ten shown ("ranks"): Ctrl+F, which opens the
# field on the text before, "1", then "1" typed into the emptied field and Enter ten times, each until idle ("1"
# and every Enter within 300 ms up to 500 teams), and for comparison a key that does nothing (Shift) ten times:
# the web view's garbage collector now and then works for a moment in the second that each of these waits for,
# whatever the key.
mkdir -p "$HOME/.config/gtk-3.0"
printf '[Settings]\ngtk-cursor-blink-time=60000\n' >"$HOME/.config/gtk-3.0/settings.ini"
printf '%6s %7s %7s %6s %6s %8s %8s %6s %6s %7s %7s %9s %6s %6s  %s\n' teams sheets load tab key message dismiss \
  save digit find +digit +message all copy misses
for teams in "$@"; do
  name="Bench $teams"
  sheets=$((2 * teams - 2))
  make_contest "$teams" "$name" $((sheets - 2))
  # What find looks for: a total that stands only on a far sheet, match 3's red one (read before the
  # program takes the file).
  total=$(python3 - "$desktop/$name/contest.db" <<'PY'
import sqlite3, sys
data = sqlite3.connect(sys.argv[1]).execute("SELECT data FROM match_results WHERE match = 3").fetchone()[0]
print(data.split("\x1f")[1 + 396])
PY
)
  start_program "$build/pellucan"
  open_through_dialog "$wid" "$desktop/$name/contest.db"
  wait_for_title "$wid" "$name - Pellucan"
  sleep 1
  x=$(link_x "$wid" 4)
  load=$(timed "$pid" "$wid" idle mousemove --window "$wid" "$x" 18 click 1)
  screenshot "matches-$teams"
  xdotool windowfocus --sync "$wid"
  tab=$(timed "$pid" "$wid" idle key Tab)
  key=$(timed "$pid" "$wid" idle key --delay 0 --repeat 384 Tab)
  # Past the score cells come the initials, then Save Match; the last score cell is two back.
  xdotool type AB
  xdotool key Tab type CD
  xdotool key shift+Tab shift+Tab
  sleep 1
  message=$(timed "$pid" "$wid" shown key x)
  screenshot "message-$teams"
  dismiss=$(timed "$pid" "$wid" gone key Return)
  xdotool key BackSpace 5 Tab Tab Tab
  sleep 1
  save=$(timed "$pid" "$wid" idle key Return)
  screenshot "saved-$teams"
  # The new sheet's last score cell, three back from Save Match past the initials.
  xdotool key shift+Tab shift+Tab shift+Tab
  sleep 1
  digit=$(keys_median "$pid" "$wid" 7 BackSpace 7 BackSpace 7)
  xdotool key BackSpace
  sleep 1
  find=$(timed "$pid" "$wid" idle key ctrl+f type "$total")
  screenshot "find-$teams"
  # Find stays open; Tab takes the keys back to a score cell of the open sheet.
  xdotool key Tab
  sleep 1
  find_digit=$(keys_median "$pid" "$wid" 7 BackSpace 7 BackSpace 7)
  xdotool key BackSpace
  sleep 1
  find_message=$(timed "$pid" "$wid" shown key x)
  screenshot "find-message-$teams"
  xdotool key Return
  sleep 1
  xdotool key BackSpace Escape
  # A click in the page's left margin takes the keys from the sheet, so that Ctrl+A selects the whole page.
  xdotool mousemove --window "$wid" 8 400 click 1
  sleep 1
  all=$(timed "$pid" "$wid" idle key ctrl+a)
  copy=$(timed "$pid" "$wid" idle key ctrl+c)
  copied=yes
  /usr/bin/python3 - "$sheets" <<'PY' || copied=no
import gi, re, sys
gi.require_version("Gdk", "3.0")
gi.require_version("Gtk", "3.0")
from gi.repository import Gdk, Gtk
text = Gtk.Clipboard.get(Gdk.SELECTION_CLIPBOARD).wait_for_text() or ""
heads = [int(k) for k in re.findall(r"Match (\d+)\t", text)]
sys.exit(heads != list(range(1, int(sys.argv[1]) + 1)) or text.count("Initials") != len(heads))
PY
  # A click in the margin ends the selection, so that the field opens empty.
  xdotool mousemove --window "$wid" 8 400 click 1 key ctrl+f
  sleep 1
  read -r memory_20 memory_200 < <(web_memory "$pid" "$teams" 20)
  read -r new_20 new_200 < <(web_memory "$pid" "$teams" 200)
  screens=()
  for screen in contest teams contestants brackets matches rankings ranks about; do
    xdotool key Escape
    if [ "$screen" = ranks ]; then
      # On the Rankings screen the first control to take the keys shows the ranks beyond the top ten.
      timed "$pid" "$wid" idle key Tab Return >/dev/null
    else
      links=" contest teams contestants brackets matches rankings about "
      before=${links%% "$screen" *}
      x=$(link_x "$wid" "$(wc -w <<<"$before")")
      timed "$pid" "$wid" idle mousemove --window "$wid" "$x" 18 click 1 >/dev/null
    fi
    open=$(timed "$pid" "$wid" idle key ctrl+f)
    timed "$pid" "$wid" idle key BackSpace >/dev/null
    one=$(timed "$pid" "$wid" idle type 1)
    screenshot "one-$screen-$teams"
    enter=$(for _ in $(seq 10); do timed "$pid" "$wid" idle key Return; done | sort -n | tail -n1)
    nothing=$(for _ in $(seq 10); do timed "$pid" "$wid" idle key Shift_L; done | sort -n | tail -n1)
    screens+=("$screen $open $one $enter $nothing")
  done
  close_and_wait "$wid" "$pid"
  python3 - "$desktop/$name/contest.db" $((sheets - 1)) <<'PY' || fail "the keys did not save match $((sheets - 1))"
import sqlite3, sys
db = sqlite3.connect(sys.argv[1])
sys.exit(db.execute("SELECT count(winner_id) FROM match_results").fetchone()[0] != int(sys.argv[2]))
PY
  misses=""
  if [ "$teams" -le 128 ]; then load_target=1000; else load_target=3000; fi
  [ "$teams" -gt 500 ] || [ "$load" -le "$load_target" ] || misses+=" load"
  [ "$tab" -le 300 ] || misses+=" tab"
  [ "$message" -le 300 ] || misses+=" message"
  if [ "$teams" -le 128 ]; then find_target=300; else find_target=1000; fi
  [ "$teams" -gt 500 ] || [ "$find" -le "$find_target" ] || misses+=" find"
  [ "$find_digit" -le $((2 * digit)) ] || misses+=" +digit"
  [ "$teams" -gt 500 ] || [ "$find_message" -le 300 ] || misses+=" +message"
  [ "$teams" -gt 500 ] || [ $((all + copy)) -le 1000 ] || misses+=" copy"
  [ "$copied" = yes ] || misses+=" copied"
  printf '%6d %7d %7.2f %6d %6.1f %8d %8d %6d %6d %7.2f %7d %9d %6d %6d %s\n' "$teams" $((sheets - 1)) "${load}e-3" \
    "$tab" "$((key * 10 / 384))e-1" "$message" "$dismiss" "$save" "$digit" "${find}e-3" "$find_digit" \
    "$find_message" "$all" "$copy" "${misses:- none}"
  misses=""
  [ $((memory_200 - memory_20)) -le 30 ] || misses=" memory"
  printf '%6s web view after 20 searches %d MB, after 200 %d MB;%s (200 texts: %d MB, %d MB)\n' "" "$memory_20" \
    "$memory_200" "${misses:- none}" "$new_20" "$new_200"
  for line in "${screens[@]}"; do
    read -r screen open one enter nothing <<<"$line"
    misses=""
    [ "$teams" -gt 500 ] || [ "$one" -le 300 ] || misses+=" 1"
    [ "$teams" -gt 500 ] || [ "$enter" -le 300 ] || misses+=" Enter"
    printf '%6s %-11s Ctrl+F %4d ms, "1" %4d ms, Enter at most %4d ms (Shift %4d ms);%s\n' "" "$screen" "$open" \
      "$one" "$enter" "$nothing" "${misses:- none}"
  done
done

#!/usr/bin/env bash
# Without a display the program says so in words a Linux user understands and ends with exit code 1.
#   no_display.sh PROGRAM
set -uo pipefail
errors=$(env -u DISPLAY -u WAYLAND_DISPLAY GSETTINGS_BACKEND=memory timeout 30 "$1" 2>&1 >/dev/null)
code=$?
[ "$code" -eq 1 ] || { echo "FAIL: exit code $code" >&2; exit 1; }
grep -qx "Pellucan: cannot open a window: no display (is DISPLAY or WAYLAND_DISPLAY set?)" <<<"$errors" || { echo "FAIL: said: $errors" >&2; exit 1; }
echo "PASS"

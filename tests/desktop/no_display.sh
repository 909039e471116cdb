#!/usr/bin/env bash
# Without a display the window class cannot be registered: the program says so and ends with exit code 1.
#   no_display.sh PROGRAM
set -uo pipefail
errors=$(env -u DISPLAY -u WAYLAND_DISPLAY GSETTINGS_BACKEND=memory timeout 30 "$1" 2>&1 >/dev/null)
code=$?
[ "$code" -eq 1 ] || { echo "FAIL: exit code $code" >&2; exit 1; }
grep -qx "Pellucan: Call to RegisterClassEx failed!" <<<"$errors" || { echo "FAIL: said: $errors" >&2; exit 1; }
echo "PASS"

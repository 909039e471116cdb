#!/usr/bin/env bash
# An install into a fresh prefix carries a desktop entry and application metadata that the desktop's own
# validators accept without an error, a warning or a hint.
#   installed_metadata.sh CMAKE BUILD_DIR
set -euo pipefail
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
"$1" --install "$2" --prefix "$prefix" >/dev/null

# desktop-file-validate ends with 0 after a hint, so anything it says is a failure.
remarks=$(desktop-file-validate "$prefix/share/applications/pellucan.desktop" 2>&1) || true
[ -z "$remarks" ] || { echo "FAIL: desktop-file-validate: $remarks" >&2; exit 1; }
# The tree check also finds a metadata file named apart from its id or pointing at a missing desktop entry.
appstreamcli validate-tree --no-net --strict --explain "$prefix" || { echo "FAIL: appstreamcli" >&2; exit 1; }
echo "PASS"

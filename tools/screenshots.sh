#!/bin/sh
# Renders the pictures the README shows from the real program (build/bin/quorix, built first):
# the main window measuring on the demo camera's live micrometer in the dark and the light theme
# and the first page of the Word report it exports (LibreOffice, pdftoppm),
# into docs/images/. Runs on a private X display with openbox and the accessibility bus.
#   tools/screenshots.sh [output folder]
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
out=$(cd "$top" && mkdir -p "${1:-docs/images}" && cd "${1:-docs/images}" && pwd)
: "${QUORIX_BIN_DIR:=$top/build/bin}"
export QUORIX_BIN_DIR
XDG_RUNTIME_DIR=$(mktemp -d)
export XDG_RUNTIME_DIR
trap 'rm -rf "$XDG_RUNTIME_DIR"' EXIT
cd "$top/tests/e2e"
"$top/tools/with-xvfb.sh" "$top/tools/with-openbox.sh" \
    dbus-run-session -- /usr/bin/python3 -W ignore::DeprecationWarning screenshots.py "$out"
echo "pictures in $out"

#!/bin/sh
# Runs the acceptance suite (or the tests named) against the built quorix on a private X display
# with openbox and a private D-Bus session that carries the accessibility bus:
#   tests/e2e/run_e2e.sh [test_acceptance.Measuring ...]
# QUORIX_BIN_DIR names the folder of the program (default: build/bin of this checkout).
set -eu
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/../.." && pwd)
: "${QUORIX_BIN_DIR:=$top/build/bin}"
export QUORIX_BIN_DIR
[ $# -gt 0 ] || set -- test_acceptance
cd "$here"
# The accessibility bus puts its socket in the runtime folder (or ~/.cache): a private one keeps
# runs that happen at the same time apart.
XDG_RUNTIME_DIR=$(mktemp -d)
export XDG_RUNTIME_DIR
trap 'rm -rf "$XDG_RUNTIME_DIR"' EXIT
"$top/tools/with-xvfb.sh" "$top/tools/with-openbox.sh" \
    dbus-run-session -- /usr/bin/python3 -W ignore::DeprecationWarning -m unittest -v "$@"

#!/bin/sh
# Runs a command on a private Xvfb display and stops the server afterwards.
#   tools/with-xvfb.sh COMMAND [ARGS...]
# The server chooses its display number itself (-displayfd) and takes it with its own lock, so
# any number of these, and other X servers, can start at the same moment without two of them
# ending up on one display (xvfb-run -a probes for a free number first and can race).
# XVFB_SCREEN overrides the screen geometry (default 1920x1080x24).
set -u
. "$(dirname "$0")/stop-process.sh"
dir=$(mktemp -d)
Xvfb -displayfd 3 -screen 0 "${XVFB_SCREEN:-1920x1080x24}" -nolisten tcp -noreset \
    3>"$dir/display" >"$dir/xvfb.log" 2>&1 &
server=$!
# The number is written once the server accepts connections; wait up to 120 s on a loaded machine.
i=0
until [ -s "$dir/display" ] && grep -q '^[0-9]' "$dir/display"; do
    i=$((i + 1))
    if [ "$i" -gt 1200 ] || ! kill -0 "$server" 2>/dev/null; then
        echo "with-xvfb.sh: Xvfb did not start" >&2
        cat "$dir/xvfb.log" >&2
        kill "$server" 2>/dev/null
        rm -rf "$dir"
        exit 1
    fi
    sleep 0.1
done
DISPLAY=":$(head -n1 "$dir/display")"
export DISPLAY
"$@"
status=$?
stop_process "$server"
rm -rf "$dir"
exit "$status"

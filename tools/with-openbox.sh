#!/bin/sh
# Runs a command on the current X display with openbox as its window manager, started before the
# command so that Qt finds the window manager's features when it connects. The window manager
# keeps a work area like a desktop with panels (30 pixels at the top, 50 at the bottom) and no
# edge resistance, so that drags end exactly where the pointer does.
#   tools/with-openbox.sh COMMAND [ARGS...]   (under xvfb-run -a, for example)
set -u
. "$(dirname "$0")/stop-process.sh"
dir=$(mktemp -d)
cat > "$dir/rc.xml" <<'XML'
<?xml version="1.0"?>
<openbox_config xmlns="http://openbox.org/3.4/rc">
  <resistance><strength>0</strength><screen_edge_strength>0</screen_edge_strength></resistance>
  <margins><top>30</top><bottom>50</bottom><left>0</left><right>0</right></margins>
</openbox_config>
XML
HOME="$dir" openbox --sm-disable --config-file "$dir/rc.xml" >"$dir/openbox.log" 2>&1 &
wm=$!
# Wait (up to 60 s on a loaded machine) until the window manager answers and has published its
# work area, the last thing it sets up.
ready() {
    wmctrl -m >/dev/null 2>&1 && xprop -root _NET_WORKAREA 2>/dev/null | grep -q '= '
}
i=0
until ready; do
    i=$((i + 1))
    if [ "$i" -gt 600 ] || ! kill -0 "$wm" 2>/dev/null; then
        echo "with-openbox.sh: openbox did not start" >&2
        cat "$dir/openbox.log" >&2
        kill "$wm" 2>/dev/null
        rm -rf "$dir"
        exit 1
    fi
    sleep 0.1
done
"$@"
status=$?
stop_process "$wm"
rm -rf "$dir"
exit "$status"

# Sourced by the display wrappers: stop_process PID asks the process to end and kills it when it
# has not ended within 5 s, so that a run never hangs on a server or window manager that stays.
stop_process() {
    kill "$1" 2>/dev/null
    i=0
    while kill -0 "$1" 2>/dev/null && [ "$i" -lt 50 ]; do
        i=$((i + 1))
        sleep 0.1
    done
    kill -9 "$1" 2>/dev/null
    wait "$1" 2>/dev/null
}

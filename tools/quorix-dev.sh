#!/usr/bin/env bash
# One command for each everyday job on a Debian 12 machine:
#   tools/quorix-dev.sh run    install what is missing, build, start QUORIX
#   tools/quorix-dev.sh test   install what is missing, build, run the whole test suite
#   tools/quorix-dev.sh build  install what is missing, build
#   tools/quorix-dev.sh package  install what is missing, build the program, make the Debian
#                                package build/quorix_<version>_<arch>.deb
set -euo pipefail

top=$(cd "$(dirname "$0")/.." && pwd)
build="$top/build"
what=${1:-}

case "$what" in
run|test|build|package) ;;
*) echo "usage: $0 run|test|build|package" >&2; exit 2 ;;
esac

"$top/tools/install-deps.sh"
cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
if [ "$what" = package ]; then
    # Only what the package holds: the program, its report templates and icons.
    cmake --build "$build" -j "$(nproc)" --target quorix report_templates quorix_icons
else
    cmake --build "$build" -j "$(nproc)"
fi

case "$what" in
run)
    # Without a display, start on a virtual one so the program can still be tried.
    if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
        exec "$top/tools/with-xvfb.sh" "$build/bin/quorix"
    fi
    exec "$build/bin/quorix"
    ;;
test)
    cd "$build"
    exec ctest --output-on-failure -j "$(nproc)"
    ;;
package)
    cd "$build"
    exec cpack -G DEB
    ;;
esac

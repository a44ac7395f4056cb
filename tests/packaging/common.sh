# Shared by the packaging tests: arguments, a scratch folder removed on exit, failure reports.
# Usage of every test: test_X.sh BUILD_DIR PROJECT_VERSION
set -euo pipefail

build=$1
version=$2

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# The PNG sizes of the icon in the hicolor theme.
icon_sizes="16 24 32 48 64 128 256"

# Each rendered icon is a PNG of the size its folder names (judged by ImageMagick).
check_png_icons() {
    local theme=$1 size
    for size in $icon_sizes; do
        [ "$(identify -format '%m %wx%h' "$theme/${size}x${size}/apps/quorix.png")" = "PNG ${size}x${size}" ] ||
            fail "icon $theme/${size}x${size}/apps/quorix.png is not a ${size}x${size} PNG"
    done
}

[ -x "$build/bin/quorix" ] || fail "no $build/bin/quorix: build the quorix, report_templates and quorix_icons targets first"

work=$(mktemp -d)
# Folders made read-only by a test must be writable again to be removed.
trap 'chmod -R u+w "$work" 2>/dev/null; rm -rf "$work"' EXIT

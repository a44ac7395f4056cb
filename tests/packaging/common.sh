# Shared by the packaging tests: arguments, a scratch folder removed on exit, failure reports.
# Usage of every test: test_X.sh BUILD_DIR PROJECT_VERSION
set -euo pipefail

build=$1
version=$2

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

[ -x "$build/bin/quorix" ] || fail "no $build/bin/quorix: build the quorix and report_templates targets first"

work=$(mktemp -d)
# Folders made read-only by a test must be writable again to be removed.
trap 'chmod -R u+w "$work" 2>/dev/null; rm -rf "$work"' EXIT

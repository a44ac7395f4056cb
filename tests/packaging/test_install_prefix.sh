#!/usr/bin/env bash
# `cmake --install --prefix X` writes a desktop entry that names X, whatever prefix the build was
# configured with, and installs nothing outside X.
. "$(dirname "$0")/common.sh"

# A blank in the folder name makes the Exec key quote the path.
prefix="$work/inst dir"
cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 ||
    { cat "$work/install.log"; fail "cmake --install failed"; }

entry="$prefix/share/applications/quorix.desktop"
icon="$prefix/share/icons/hicolor/scalable/apps/quorix.svg"
expected=$({
    printf '%s\n' ./THIRD-PARTY-NOTICES.txt ./quorix ./share/applications/quorix.desktop \
        ./share/icons/hicolor/scalable/apps/quorix.svg ./template/quorix.docx ./template/quorix.xlsx
    for size in $icon_sizes; do echo "./share/icons/hicolor/${size}x${size}/apps/quorix.png"; done
} | LC_ALL=C sort)
actual=$(cd "$prefix" && find . ! -type d | LC_ALL=C sort)
[ "$actual" = "$expected" ] || fail "installed files differ: $actual"
# Every file the install wrote (the manifest) lies below the prefix.
if grep -v -F "$prefix/" "$build/install_manifest.txt"; then
    fail "files installed outside $prefix"
fi

out=$(desktop-file-validate "$entry" 2>&1) || true
[ -z "$out" ] || fail "desktop-file-validate: $out"
grep -qx "Exec=\"$prefix/quorix\"" "$entry" || fail "Exec does not name the prefix: $(grep ^Exec "$entry")"
grep -qx "Icon=$icon" "$entry" || fail "Icon does not name the prefix: $(grep ^Icon "$entry")"
[ -x "$prefix/quorix" ] || fail "the program is not executable"
grep -q "<svg" "$icon" || fail "the icon is no SVG"
check_png_icons "$prefix/share/icons/hicolor"
echo "PASS: desktop entry names $prefix"

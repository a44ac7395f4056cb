#!/usr/bin/env bash
# Builds the Debian package from the build folder and judges it: its files and control data
# (dpkg-deb), its desktop entry (desktop-file-validate) and icon, and a start of the program
# unpacked into a scratch root by a user who may not write the program folder, whose trace and log
# must land in that user's private home. Exit code 77: skipped, dpkg-deb is missing.
command -v dpkg-deb >/dev/null || { echo "dpkg-deb is missing: skipped"; exit 77; }
. "$(dirname "$0")/common.sh"

# Package into the scratch folder; cpack builds nothing, it installs what is built.
(cd "$build" && cpack -G DEB -B "$work/out") >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log"; fail "cpack failed"; }
deb=$(echo "$work"/out/quorix_*.deb)
[ -f "$deb" ] || fail "no package in $work/out: $(ls "$work/out")"

# Files: exactly these, owned by root, the command a relative link into the program folder.
listing=$(dpkg-deb -c "$deb")
expected=$({
    printf -- '-rw-r--r-- %s\n' ./opt/quorix/THIRD-PARTY-NOTICES.txt ./opt/quorix/template/quorix.docx \
        ./opt/quorix/template/quorix.xlsx ./usr/share/applications/quorix.desktop \
        ./usr/share/icons/hicolor/scalable/apps/quorix.svg
    for size in $icon_sizes; do echo "-rw-r--r-- ./usr/share/icons/hicolor/${size}x${size}/apps/quorix.png"; done
    echo "-rwxr-xr-x ./opt/quorix/quorix"
    echo "lrwxrwxrwx ./usr/bin/quorix -> ../../opt/quorix/quorix"
} | LC_ALL=C sort)
actual=$(echo "$listing" | awk '$1 !~ /^d/ { $2 = $3 = $4 = $5 = ""; print }' | tr -s ' ' | LC_ALL=C sort)
[ "$actual" = "$expected" ] || fail "package files differ:
$actual"
if echo "$listing" | awk '{ print $2 }' | grep -vx root/root; then
    fail "files not owned by root"
fi

# Control data: name, the project's version, a maintainer, a description, the libraries found by
# dpkg-shlibdeps plus the run-time plugins, and the script that cleans the program folder.
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = quorix ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$version" ] || fail "Version: $(field Version), project $version"
[[ "$(field Maintainer)" =~ ^[^\<]+\ \<[^@\>]+@[^\>]+\>$ ]] || fail "Maintainer: $(field Maintainer)"
[ -n "$(field Description | head -1)" ] || fail "no description"
depends=$(field Depends)
for dep in libc6 libqt5core5a libqt5widgets5 libqt5svg5 qt5-image-formats-plugins; do
    [[ ", $depends," == *", $dep"[\ ,]* ]] || fail "Depends lacks $dep: $depends"
done
info=$(dpkg-deb -I "$deb")
grep -qw prerm <<<"$info" || fail "no prerm script"

# Desktop entry and icon, in an unpacked copy.
root="$work/root"
dpkg -x "$deb" "$root"
entry="$root/usr/share/applications/quorix.desktop"
out=$(desktop-file-validate "$entry" 2>&1) || true
[ -z "$out" ] || fail "desktop-file-validate: $out"
grep -qx "Exec=quorix" "$entry" || fail "Exec: $(grep ^Exec "$entry")"
grep -qx "Icon=quorix" "$entry" || fail "Icon: $(grep ^Icon "$entry")"
grep -q "<svg" "$root/usr/share/icons/hicolor/scalable/apps/quorix.svg" || fail "icon is no SVG"
check_png_icons "$root/usr/share/icons/hicolor"
[ -x "$root/usr/bin/quorix" ] || fail "usr/bin/quorix does not lead to the program"

# A first start by a user who may not write the program folder: as root, the start runs as
# nobody; otherwise the program folder is made read-only.
home="$work/home"
runtime="$work/runtime"
mkdir -p "$home" "$runtime"
chmod 700 "$runtime"
as_user=()
if [ "$(id -u)" -eq 0 ]; then
    chmod 755 "$work"
    chown nobody: "$home" "$runtime"
    as_user=(setpriv --reuid=nobody --regid="$(id -g nobody)" --clear-groups)
else
    chmod -R a-w "$root/opt/quorix"
fi
timeout 120 "${as_user[@]}" env -i HOME="$home" XDG_RUNTIME_DIR="$runtime" LANG=C.UTF-8 \
    PATH="$root/usr/bin:/usr/bin:/bin" QT_QPA_PLATFORM=offscreen quorix >"$work/stdout" 2>&1 &
pid=$!

# Gate on the last start step in the user's trace; the program keeps running until stopped.
trace="$home/.local/share/Quorix/startup_diag.txt"
until grep -qx "start 9: window shown" "$trace" 2>/dev/null; do
    kill -0 "$pid" 2>/dev/null || { cat "$work/stdout"; fail "the program ended before its window showed"; }
    sleep 0.2
done
kill "$pid"
wait "$pid" || true

[ "$(wc -l <"$trace")" -eq 9 ] || fail "trace: $(cat "$trace")"
logs=("$home"/.local/share/Quorix/log/quorix_*.log)
[ ${#logs[@]} -eq 1 ] && [ -f "${logs[0]}" ] || fail "no log in the private home: $(ls -R "$home")"
grep -q "  installAppLanguage: lang = 0 (no translator)$" "${logs[0]}" ||
    fail "log lacks the language line: $(cat "${logs[0]}")"
written=$(find "$root/opt/quorix" -name log -o -name startup_diag.txt)
[ -z "$written" ] || fail "the program wrote into its folder: $written"
echo "PASS: $(basename "$deb") started as $(if [ ${#as_user[@]} -gt 0 ]; then echo nobody; else id -un; fi), log ${logs[0]#"$home"/}"

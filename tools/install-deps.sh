#!/usr/bin/env bash
# Installs with apt-get every Debian 12 package that building, running, testing and benchmarking
# QUORIX need. Quiet and quick when everything is already there.
set -euo pipefail

packages=(
    # build
    build-essential cmake ninja-build pkg-config
    qtbase5-dev qtbase5-dev-tools libqt5opengl5-dev libqt5svg5-dev
    qttools5-dev qttools5-dev-tools
    libavcodec-dev libavformat-dev libavutil-dev libswscale-dev
    libjpeg62-turbo-dev libeigen3-dev libzip-dev libudev-dev
    libbenchmark-dev
    # running: image formats (TIFF), Qt's own Chinese texts, software OpenGL, a CJK font
    qt5-image-formats-plugins qttranslations5-l10n libqt5svg5 libgl1-mesa-dri libegl-mesa0 libglx-mesa0
    fonts-noto-cjk
    # testing: a display, independent judges of our files, fuzzing
    xvfb xauth x11-utils xdotool wmctrl openbox imagemagick
    libimage-exiftool-perl ffmpeg libxml2-utils desktop-file-utils
    python3 python3-docx python3-openpyxl python3-tifffile python3-pil
    # the acceptance suite: the accessibility bus and its Python client in a private D-Bus session
    at-spi2-core dbus python3-pyatspi python3-numpy
    # tools/screenshots.sh: a report page through LibreOffice and poppler
    libreoffice-writer-nogui poppler-utils
    clang libclang-rt-14-dev
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null | grep -qx installed; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing ${#missing[@]} packages: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
# With recommends: the set the project is developed and tested with (fonts, GL drivers, plugins).
$sudo apt-get install -y -qq "${missing[@]}" >/dev/null

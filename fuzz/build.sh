#!/usr/bin/env bash
# Builds the libFuzzer targets of the EXIF container and the pixel size with clang, AddressSanitizer
# and UBSan.
# Kept out of the main build: the targets need clang. Usage:
#   fuzz/build.sh [OUTDIR]                      (default: build-fuzz beside this folder)
#   OUTDIR/fuzz_exif_write OUTDIR/corpus-write fuzz/corpus -max_total_time=600
# Run with a scratch corpus folder first so that the committed seeds in fuzz/corpus stay ours.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
out=${1:-$here/../build-fuzz}
mkdir -p "$out"
flags=(-std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined
       -Wall -Wextra -I"$here/../src")
for target in fuzz_exif_read fuzz_exif_write fuzz_pixel_size; do
    clang++ "${flags[@]}" "$here/$target.cpp" "$here/../src/metadata/ExifContainer.cpp" \
        "$here/../src/metadata/PixelSize.cpp" -o "$out/$target"
done
echo "built in $out"

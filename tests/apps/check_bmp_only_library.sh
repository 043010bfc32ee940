#!/usr/bin/env bash
# The handheld library must hold no PNG or JPEG reader and no memory entry.
# usage: check_bmp_only_library.sh LIBRARY
set -u
symbols=$(nm -C "$1" 2>/dev/null)
[ -n "$symbols" ] || { echo "no symbols read from $1"; exit 1; }
fail=0
for name in LoadPngFromFile LoadJpegFromFile DecodeImage1 DecodeBuffer DecodeToResult png_ jpeg_; do
    if echo "$symbols" | grep -E "^[0-9a-f]* *[TtUuWw] .*$name" >/dev/null; then
        echo "found $name in $1"; fail=1
    fi
done
echo "$symbols" | grep -q " T DecodeImage$" || { echo "DecodeImage missing from $1"; fail=1; }
exit $fail

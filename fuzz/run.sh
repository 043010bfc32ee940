#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, ASan, UBSan) and runs one of them.
# usage: fuzz/run.sh TARGET SECONDS
#   TARGET: decode_buffer | decode_gray | png_reader | jpeg_reader | codewords | deflate
# The working corpus grows in fuzz/build/corpus-TARGET and is kept between runs; a crashing
# input is written to fuzz/build/crashes-TARGET/ and the script fails.
set -euo pipefail
cd "$(dirname "$0")/.."
target="${1:?usage: fuzz/run.sh TARGET SECONDS}"
seconds="${2:-30}"
build=fuzz/build
case "$target" in
    decode_buffer | decode_gray | png_reader | jpeg_reader | codewords | deflate) ;;
    *) echo "unknown target $target" >&2; exit 2 ;;
esac
if [ ! -f "$build/CMakeCache.txt" ]; then
    CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DNORVALE_FUZZ=ON \
        -DNORVALE_BUILD_TESTS=OFF \
        -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined" \
        -DCMAKE_C_FLAGS="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined" \
        >/dev/null
else
    # A build configured before a target was added knows no rule for it until configured again.
    cmake "$build" >/dev/null
fi
cmake --build "$build" -j "$(nproc)" --target "fuzz_$target" >/dev/null

# Seeds: the test fixtures of the target's format, the crafted seeds in fuzz/seeds, and every
# past regression (so that a fixed crash stays fixed).
seeds="$build/seeds-$target"
corpus="$build/corpus-$target"
crashes="$build/crashes-$target"
rm -rf "$seeds"
mkdir -p "$seeds" "$corpus" "$crashes"
case "$target" in
    decode_buffer) find tests/data -iname '*.bmp' -size -100k -exec cp {} "$seeds" \; ;;
    png_reader) find tests/data -iname '*.png' -size -60k -exec cp {} "$seeds" \; ;;
    jpeg_reader) find tests/data -iname '*.jp*g' -size -60k -exec cp {} "$seeds" \; ;;
esac
[ -d "fuzz/seeds/$target" ] && cp fuzz/seeds/"$target"/* "$seeds"/
[ -d "tests/data/fuzz-regressions/$target" ] && cp tests/data/fuzz-regressions/"$target"/* "$seeds"/

"$build/bin/fuzz_$target" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=25 \
    -artifact_prefix="$crashes/" -print_final_stats=1 "$corpus" "$seeds"

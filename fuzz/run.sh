#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, ASan, UBSan) and runs one of them.
# usage: fuzz/run.sh TARGET SECONDS     TARGET: decode_buffer | png_reader | jpeg_reader | codewords
set -euo pipefail
cd "$(dirname "$0")/.."
target="${1:?target}"
seconds="${2:-30}"
build=fuzz/build
if [ ! -f "$build/CMakeCache.txt" ]; then
    CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DNORVALE_FUZZ=ON \
        -DNORVALE_BUILD_TESTS=OFF \
        -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined" \
        -DCMAKE_C_FLAGS="-fsanitize=fuzzer-no-link,address,undefined" >/dev/null
fi
cmake --build "$build" -j "$(nproc)" --target "fuzz_$target" >/dev/null

# Seeds come from the test fixtures; the working corpus grows in the build tree.
seeds="$build/seeds-$target"
corpus="$build/corpus-$target"
mkdir -p "$seeds" "$corpus"
case "$target" in
    decode_buffer) find tests/data -name '*.bmp' -size -200k -exec cp {} "$seeds" \; ;;
    png_reader) find tests/data -iname '*.png' -size -60k -exec cp {} "$seeds" \; ;;
    jpeg_reader) find tests/data -iname '*.jpg' -size -60k -exec cp {} "$seeds" \; ;;
    codewords) find tests/data/blackbox/modes -name '*.bin' -exec cp {} "$seeds" \; ;;
    *) echo "unknown target $target" >&2; exit 2 ;;
esac
exec "$build/bin/fuzz_$target" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=20 \
    -print_final_stats=1 "$corpus" "$seeds"

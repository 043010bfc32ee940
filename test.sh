#!/usr/bin/env bash
# Installs what is missing, checks that includes point down the pipeline and that the sources are
# formatted, builds with the Python module, and runs every test through CTest (the module's pytest
# suite among them); then the checks: run.sh from another folder, the whole suite under
# AddressSanitizer and UndefinedBehaviorSanitizer, the concurrency test under ThreadSanitizer, and
# a short run of every fuzz target on its seeds.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/setup.sh
norvale_install_missing "${NORVALE_PACKAGES[@]}" "${NORVALE_CHECK_PACKAGES[@]}" "${NORVALE_PYTHON_PACKAGES[@]}"

echo "== Layering and formatting" >&2
python3 scripts/check_includes.py
scripts/check_format.sh

echo "== Release build and tests, the Python module's among them" >&2
norvale_build build -DNORVALE_PYTHON=ON
ctest --test-dir build --output-on-failure -j "$(nproc)"

echo "== run.sh from another folder, with a picture named from there" >&2
expected=$(build/bin/vistrel tests/data/sample.png)
if ! got=$(cd tests/data && ../../run.sh sample.png) || [ "$got" != "$expected" ]; then
    echo "run.sh sample.png, run from tests/data: printed '${got:-}', expected '$expected'" >&2
    exit 1
fi

echo "== AddressSanitizer and UndefinedBehaviorSanitizer (build-sanitize)" >&2
# -O1 keeps the instrumented suite quick to build and to run. g++ 12 sees impossible memset
# bounds in libstdc++ once the sanitizers are in (-Wstringop-overflow false positives).
sanitize="-O1 -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
norvale_build build-sanitize -DCMAKE_BUILD_TYPE=Debug \
    -DCMAKE_C_FLAGS="$sanitize" -DCMAKE_CXX_FLAGS="$sanitize -Wno-stringop-overflow" \
    -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined"
# The install test is left to the plain build: its consumer is not linked with the sanitizers.
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir build-sanitize --output-on-failure -j "$(nproc)" -E "^Install[.]"

echo "== ThreadSanitizer: concurrency test (build-tsan)" >&2
norvale_build_target build-tsan norvale_concurrency_test -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_FLAGS="-fsanitize=thread" -DCMAKE_CXX_FLAGS="-fsanitize=thread" \
    -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=thread"
TSAN_OPTIONS=halt_on_error=1 build-tsan/bin/norvale_concurrency_test

echo "== Fuzz targets, 30 s each on their seeds" >&2
mkdir -p fuzz/build
for target in decode_buffer decode_gray png_reader jpeg_reader codewords deflate; do
    fuzz/run.sh "$target" 30 >"fuzz/build/$target.log" 2>&1 || {
        tail -n 40 "fuzz/build/$target.log" >&2
        exit 1
    }
    grep -E '^(Done|stat::number_of_executed_units)' "fuzz/build/$target.log" | sed "s/^/$target: /" >&2
done

#!/usr/bin/env bash
# Runs the end-to-end tests (blackbox pictures, both entries, oversized headers) and the two front
# ends under valgrind memcheck: any leak or invalid access fails. Slow (minutes), so not in
# test.sh, where the AddressSanitizer tree covers the same ground.
# usage: scripts/memcheck.sh [BUILD_DIR]      (a Debug or Release tree built by test.sh or cmake)
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
memcheck=(valgrind --quiet --leak-check=full --show-leak-kinds=all --errors-for-leak-kinds=all
    --error-exitcode=9 --suppressions=tests/valgrind.supp)
data=tests/data

"${memcheck[@]}" "$build/bin/norvale_tests" \
    --gtest_filter='BlackboxTest.*:EntriesTest.*:Paths/EntriesPathTest.*:OversizedPicture*:Headers/*'
for run in "vistrel $data/apps/symbol-24.bmp" "vistrel $data/sample.png" \
    "vistrel $data/blackbox/formats/jpeg-q60.jpg" "vistrel --buffer $data/apps/symbol-24.bmp" \
    "vistrel --buffer $data/apps/symbol-40-105-bytes.bmp" "vistrel $data/apps/blank.png" \
    "vistrel /nonexistent/x.bmp" "scanlet $data/apps/symbol-40-105-bytes.bmp" "scanlet $data/sample.png"; do
    read -r -a argv <<<"$run"
    status=0
    "${memcheck[@]}" "$build/bin/${argv[0]}" "${argv[@]:1}" >/dev/null 2>&1 || status=$?
    # 1 and 2 are the front ends' own "nothing decoded" and "cannot open"; 9 is memcheck's.
    if [ "$status" -eq 9 ]; then
        echo "memcheck: errors in: $run" >&2
        exit 1
    fi
done
echo "memcheck: clean" >&2

#!/usr/bin/env bash
# Checks that every C and C++ source of the project is laid out as .clang-format says; names each
# file that is not and exits 1. Run from anywhere; clang-format must be on PATH.
set -euo pipefail
cd "$(dirname "$0")/.."
status=0
while IFS= read -r -d '' file; do
    if ! clang-format --dry-run --Werror "$file" >/dev/null 2>&1; then
        echo "not formatted: $file (clang-format -i $file)"
        status=1
    fi
done < <(find apps bench decoder examples fuzz image include python tests tools \
    -path fuzz/build -prune -o \
    \( -name '*.c' -o -name '*.cpp' -o -name '*.h' -o -name '*.hpp' \) -type f -print0 2>/dev/null)
exit "$status"

#!/usr/bin/env bash
# Runs vistrel over every picture under a folder with -j 1 and with -j 4, plain and --json, and
# checks both give the same standard output, standard error and exit status (the JSON decode
# times aside), and, given a Python interpreter, that the --json lines parse.
# usage: check_parallel_output.sh VISTREL FOLDER CHECK_JSON_SCRIPT [PYTHON]
set -u
vistrel="$1"; folder="$2"; check_json="$3"; python="${4:-}"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mapfile -t pictures < <(find "$folder" -type f \( -name '*.png' -o -name '*.bmp' -o -name '*.jpg' \
    -o -name '*.jpeg' -o -name '*.PNG' -o -name '*.JPG' -o -name '*.Bmp' \) | sort)
if [ "${#pictures[@]}" -lt 2 ]; then
    echo "no pictures under $folder"; exit 1
fi
fail=0
for mode in plain json; do
    flags=()
    [ "$mode" = json ] && flags=(--json)
    for jobs in 1 4; do
        "$vistrel" "${flags[@]}" -j "$jobs" "${pictures[@]}" >"$work/$mode-$jobs.out" 2>"$work/$mode-$jobs.err"
        echo $? >"$work/$mode-$jobs.status"
        sed -i 's/"milliseconds":[0-9.]*/"milliseconds":T/' "$work/$mode-$jobs.out"
    done
    for part in out err status; do
        if ! cmp -s "$work/$mode-1.$part" "$work/$mode-4.$part"; then
            echo "$mode: -j 1 and -j 4 differ in $part"; diff "$work/$mode-1.$part" "$work/$mode-4.$part" | head -20
            fail=1
        fi
    done
    echo "$mode: ${#pictures[@]} pictures, exit status $(cat "$work/$mode-1.status"), $(wc -l <"$work/$mode-1.out") lines out"
done
if [ -n "$python" ]; then
    "$vistrel" --json -j 4 "${pictures[@]}" | "$python" "$check_json" "${pictures[@]}" || fail=1
fi
exit $fail

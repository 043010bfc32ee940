#!/usr/bin/env bash
# Runs a front end as a process and checks its exit status, standard output and standard error.
# usage: check_front_end.sh EXIT STDOUT_HEX STDERR_TEXT -- PROGRAM ARGS...
#   STDOUT_HEX: the exact bytes expected on standard output, as lowercase hex ("" for none)
#   STDERR_TEXT: text standard error must contain ("" for no check)
set -u
expected_exit="$1"; expected_out_hex="$2"; expected_err="$3"; shift 4
out_file=$(mktemp); err_file=$(mktemp)
trap 'rm -f "$out_file" "$err_file"' EXIT
"$@" >"$out_file" 2>"$err_file"
status=$?
out_hex=$(od -An -v -tx1 "$out_file" | tr -d ' \n')
fail=0
if [ "$status" != "$expected_exit" ]; then
    echo "exit status $status, expected $expected_exit"; fail=1
fi
if [ "$out_hex" != "$expected_out_hex" ]; then
    echo "stdout: $(cat "$out_file")"; echo "stdout hex $out_hex, expected $expected_out_hex"; fail=1
fi
if [ -n "$expected_err" ] && ! grep -qF -- "$expected_err" "$err_file"; then
    echo "stderr: $(cat "$err_file")"; echo "expected stderr to contain: $expected_err"; fail=1
fi
exit $fail

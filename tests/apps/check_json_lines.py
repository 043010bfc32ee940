#!/usr/bin/env python3
"""Checks vistrel --json output read from standard input: one JSON object per line and per
file named on the command line, in argument order, with every field of the right type; a
decoded file's bytes must match the non-empty .bin file beside its picture (which holds what the
load button shows: the bytes up to the first NUL, at most 999)."""
import json
import os
import sys

SYMBOL_FIELDS = {"text", "hex", "side", "startMode", "corrected", "corners", "symbologyIdentifier", "gs1", "eci",
                 "structuredAppend", "readerProgramming"}
FIELDS = SYMBOL_FIELDS | {"file", "ok", "milliseconds", "error"}
MODES = {"ascii", "c40", "text", "x12", "edifact", "base256", "upper-shift"}
ERRORS = {"open-failed", "image-not-loaded", "nothing-found", "out-of-memory", "timed-out"}
IDENTIFIERS = {"]d1", "]d2", "]d3", "]d4", "]d5", "]d6"}


def check(obj, path):
    assert set(obj) == FIELDS, f"fields {sorted(obj)}"
    assert obj["file"] == path, f"file {obj['file']!r}, expected {path!r}"
    assert isinstance(obj["milliseconds"], (int, float)) and obj["milliseconds"] >= 0
    if obj["ok"] is True:
        assert obj["error"] is None
        assert isinstance(obj["text"], str)
        assert bytes.fromhex(obj["hex"]) is not None
        assert 10 <= obj["side"] <= 144 and obj["side"] % 2 == 0
        assert obj["startMode"] in MODES
        assert isinstance(obj["corrected"], int) and obj["corrected"] >= 0
        assert len(obj["corners"]) == 4 and all(len(c) == 2 and all(isinstance(v, int) for v in c)
                                                for c in obj["corners"])
        assert obj["symbologyIdentifier"] in IDENTIFIERS
        assert obj["gs1"] is None or obj["gs1"].startswith("(")
        assert isinstance(obj["eci"], list) and all(isinstance(v, int) for v in obj["eci"])
        assert obj["structuredAppend"] is None or set(obj["structuredAppend"]) == {"position", "total", "fileId"}
        assert isinstance(obj["readerProgramming"], bool)
        expected = os.path.splitext(path)[0] + ".bin"
        # An empty .bin marks a picture the path entry refuses by its name; --json reads by content.
        if os.path.exists(expected) and os.path.getsize(expected) > 0:
            with open(expected, "rb") as f:
                data = f.read()
            # The .bin holds what the load button shows: up to the first NUL, at most 999 bytes.
            shown = bytes.fromhex(obj["hex"]).split(b"\0")[0][:999]
            assert shown == data, "hex differs from " + expected
    else:
        assert obj["ok"] is False
        assert obj["error"] in ERRORS
        for key in SYMBOL_FIELDS:
            assert obj[key] is None, key


def main():
    paths = sys.argv[1:]
    lines = sys.stdin.buffer.read().decode("utf-8").splitlines()
    if len(lines) != len(paths):
        print(f"{len(lines)} lines for {len(paths)} files")
        return 1
    decoded = 0
    for line, path in zip(lines, paths):
        try:
            obj = json.loads(line)
            check(obj, path)
        except (ValueError, AssertionError, KeyError, TypeError) as e:
            print(f"{path}: {e}\n{line}")
            return 1
        decoded += obj["ok"]
    print(f"{len(lines)} JSON lines, {decoded} decoded")
    return 0 if decoded > 0 else 1


if __name__ == "__main__":
    sys.exit(main())

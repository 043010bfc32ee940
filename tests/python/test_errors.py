# What norvale does with bad arguments, unreadable pictures, pictures without a symbol and a
# decoder that runs out of memory: a clear exception or an empty answer, never a crash, and
# nothing printed.
import subprocess
import sys
import textwrap

import numpy as np
import pytest

import norvale
from conftest import DATA

TRUNCATED_PNG = (DATA / "blackbox/formats/png-grey8.png").read_bytes()[:300]


class BytesPath:
    def __fspath__(self):
        return str(DATA / "sample.png").encode()


ERRORS = {
    "missing file": (DATA / "no-such-picture.png", {}, FileNotFoundError, "no-such-picture"),
    "directory": (DATA, {}, IsADirectoryError, "data"),
    "null byte in the path": ("label\0.png", {}, ValueError, "null byte"),
    "text file": (DATA.parent / "CMakeLists.txt", {}, ValueError, "CMakeLists.txt' is not a picture"),
    "refused format": (DATA / "blackbox/formats-refused/jpeg-greyscale.jpg", {}, ValueError, "unsupported"),
    "truncated bytes": (TRUNCATED_PNG, {}, ValueError, "the 300 bytes are not a picture"),
    "empty bytes": (b"", {}, ValueError, "the 0 bytes"),
    "strided memoryview": (memoryview(b"abcdef")[::2], {}, TypeError, "contiguous"),
    "int": (42, {}, TypeError, "cannot decode a int"),
    "None": (None, {}, TypeError, "cannot decode a NoneType"),
    "list of lists": ([[0, 255], [255, 0]], {}, TypeError, "cannot decode a list"),
    "float array": (np.zeros((20, 20)), {}, TypeError, "uint8, not float64"),
    "bool array": (np.zeros((20, 20), bool), {}, TypeError, "uint8, not bool"),
    "int16 array": (np.zeros((20, 20), np.int16), {}, TypeError, "uint8, not int16"),
    "1-D array": (np.zeros(20, np.uint8), {}, ValueError, r"not of shape \(20,\)"),
    "two channels": (np.zeros((20, 20, 2), np.uint8), {}, ValueError, "HxWx3"),
    "4-D array": (np.zeros((2, 20, 20, 3), np.uint8), {}, ValueError, "HxWx4"),
    "empty array": (np.zeros((0, 20), np.uint8), {}, ValueError, "empty"),
    "too many pixels": (np.broadcast_to(np.uint8(255), (1, 2**26 + 1)), {}, ValueError, "more pixels"),
    "zero time budget": (DATA / "sample.png", {"time_budget_ms": 0}, ValueError, "positive"),
    "negative time budget": (DATA / "sample.png", {"time_budget_ms": -5}, ValueError, "positive"),
    "NaN time budget": (DATA / "sample.png", {"time_budget_ms": float("nan")}, ValueError, "positive"),
    "max_symbols 2 for decode": (DATA / "sample.png", {"max_symbols": 2}, ValueError, "decode_all"),
    "text time budget": (DATA / "sample.png", {"time_budget_ms": "1"}, TypeError, "incompatible"),
    "unknown keyword": (DATA / "sample.png", {"timeout": 1}, TypeError, "incompatible"),
}


@pytest.mark.parametrize("argument, options, error, message", ERRORS.values(), ids=ERRORS.keys())
def test_bad_input_raises_a_clear_error(argument, options, error, message, capfd):
    with pytest.raises(error, match=message):
        norvale.decode(argument, **options)
    assert capfd.readouterr() == ("", "")


@pytest.mark.parametrize("max_symbols", [0, -1])
def test_decode_all_needs_a_positive_max_symbols(max_symbols):
    with pytest.raises(ValueError, match="at least 1"):
        norvale.decode_all(DATA / "sample.png", max_symbols=max_symbols)


def test_a_path_that_cannot_be_opened_gives_the_os_error_and_name():
    with pytest.raises(OSError) as raised:
        norvale.decode_all(str(DATA / "missing.bmp"))
    assert raised.value.filename == str(DATA / "missing.bmp") and raised.value.errno == 2


def test_a_path_like_may_give_bytes():
    assert norvale.decode(BytesPath()) == norvale.decode(DATA / "sample.png")


NOTHING = {
    "white array": np.full((120, 160), 255, np.uint8),
    "broadcast array": np.broadcast_to(np.uint8(128), (3000, 4000)),
    "one pixel": np.zeros((1, 1), np.uint8),
    "one row": np.zeros((1, 500), np.uint8),
    "QR code file": DATA / "blackbox/negatives/neg-006-qr.png",
    "symbol-like file": DATA / "results/no-symbol-dm-like.bmp",
}


@pytest.mark.parametrize("picture", NOTHING.values(), ids=NOTHING.keys())
def test_a_picture_without_a_symbol_gives_nothing(picture, capfd):
    assert norvale.decode(picture) is None
    assert norvale.decode_all(picture) == []
    assert capfd.readouterr() == ("", "")


def test_nothing_is_printed(capfd):
    norvale.decode_all(DATA / "sample.png")
    assert capfd.readouterr() == ("", "")


def test_running_out_of_memory_raises_memory_error():
    # In a child process whose address space ends a little past what it holds before the call:
    # the decoder's copy of the 64-megapixel picture cannot be allocated.
    script = textwrap.dedent(
        """
        import resource, numpy as np, norvale
        picture = np.full((8000, 8000), 255, np.uint8)
        size = int(open("/proc/self/statm").read().split()[0]) * resource.getpagesize()
        resource.setrlimit(resource.RLIMIT_AS, (size + (16 << 20), resource.RLIM_INFINITY))
        for decode in (norvale.decode, norvale.decode_all):
            try:
                decode(picture)
                print("decoded")
            except MemoryError as error:
                print("MemoryError:", error)
        """
    )
    run = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True,
                         env={"PYTHONPATH": ":".join(sys.path)}, timeout=120)
    assert run.stdout.splitlines() == ["MemoryError: norvale: out of memory while decoding"] * 2, run.stderr

# Fixtures of the Python module's tests: pictures from tests/data as files, bytes and arrays.
# The module is imported from PYTHONPATH (CTest sets build/python), else from build/python here.
import importlib.util
import pathlib
import sys

import numpy as np
from PIL import Image

REPO = pathlib.Path(__file__).resolve().parents[2]
DATA = REPO / "tests" / "data"

if importlib.util.find_spec("norvale") is None:
    sys.path.insert(0, str(REPO / "build" / "python"))


def expected_bytes(picture):
    """The bytes the picture's symbol holds, from the .bin file beside it."""
    return (DATA / picture).with_suffix(".bin").read_bytes()


def grey(picture):
    """The picture as a C-contiguous HxW uint8 array, read by Pillow."""
    return np.asarray(Image.open(DATA / picture).convert("L"))

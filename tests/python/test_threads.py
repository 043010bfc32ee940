# Decodes on eight threads at once give what the same decodes give one after another.
from concurrent.futures import ThreadPoolExecutor

import numpy as np

import norvale
from conftest import DATA, grey

PICTURES = [
    DATA / "sample.png",
    (DATA / "blackbox/formats/jpeg-q90.jpg").read_bytes(),
    grey("blackbox/rotated/rot-001.png"),
    np.rot90(grey("blackbox/inverted/inv-002.png")),
    DATA / "blackbox/large-image/large-007.jpg",
    DATA / "content/gs1.png",
    DATA / "results/no-symbol-dm-like.bmp",
]


def test_eight_threads_give_the_results_of_one():
    work = PICTURES * 4
    alone = [norvale.decode_all(picture) for picture in PICTURES] * 4
    assert sum(len(found) for found in alone) == 4 * (len(PICTURES) - 1)
    with ThreadPoolExecutor(max_workers=8) as pool:
        together = list(pool.map(norvale.decode_all, work))
    assert together == alone

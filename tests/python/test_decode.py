# norvale.decode and decode_all on each kind of picture argument, each array layout, light and
# dark symbols, several symbols in one picture, and the content metadata.

import numpy as np
import pytest
from PIL import Image

import norvale
from conftest import DATA, expected_bytes, grey

PLAIN = "blackbox/formats/png-grey8.png"


@pytest.mark.parametrize(
    "kind, argument",
    [
        ("str path", lambda p: str(DATA / p)),
        ("pathlib path", lambda p: DATA / p),
        ("bytes", lambda p: (DATA / p).read_bytes()),
        ("bytearray", lambda p: bytearray((DATA / p).read_bytes())),
        ("memoryview", lambda p: memoryview((DATA / p).read_bytes())),
        ("grey array", grey),
        ("Pillow image", lambda p: Image.open(DATA / p)),
    ],
)
@pytest.mark.parametrize(
    "picture",
    [PLAIN, "blackbox/formats/bmp-8bit-grey.bmp", "blackbox/formats/bmp-1bit.bmp",
     "blackbox/formats/png-palette8.png", "blackbox/formats/png-rgba16.png", "blackbox/formats/png-rgb8.png",
     "blackbox/formats/jpeg-q90.jpg", "blackbox/formats/jpeg-q75-upper.JPG"],
)
def test_every_kind_of_argument_decodes(kind, argument, picture):
    result = norvale.decode(argument(picture))
    assert result is not None
    assert result.bytes == expected_bytes(picture)


def test_a_16_bit_grey_pillow_image_reads_as_its_8_bit_picture():
    # 257 times each grey: the high byte is the 8-bit picture again.
    g = np.asarray(Image.open(DATA / PLAIN))
    wide = Image.fromarray(g.astype(np.uint16) * 257)
    assert wide.mode.startswith("I")
    assert norvale.decode(wide) == norvale.decode(g)


def test_a_colour_array_reads_as_its_file_does():
    # The PNG reader and the module turn RGB into grey with the same weights: same pixels, same
    # symbol, same corners.
    picture = DATA / "blackbox/formats/png-rgb8.png"
    rgb = np.asarray(Image.open(picture))
    assert rgb.ndim == 3 and not (rgb[..., 0] == rgb[..., 2]).all()
    assert norvale.decode(rgb) == norvale.decode(picture)


def canvas_slice(g):
    canvas = np.full((g.shape[0] + 20, g.shape[1] + 30), 255, np.uint8)
    canvas[7 : 7 + g.shape[0], 5 : 5 + g.shape[1]] = g
    return canvas[7 : 7 + g.shape[0], 5 : 5 + g.shape[1]]


def rgb(g):
    return np.stack([g, g, g], axis=-1)


LAYOUTS = {
    "C-contiguous": lambda g: g,
    "slice of a larger array": canvas_slice,
    "rows backwards in memory": lambda g: np.ascontiguousarray(g[::-1])[::-1],
    "rotated a quarter turn": lambda g: np.rot90(g),
    "rotated half a turn": lambda g: g[::-1, ::-1],
    "Fortran order": np.asfortranarray,
    "every other column": lambda g: np.repeat(g, 2, axis=1)[:, ::2],
    "HxWx1": lambda g: g[:, :, np.newaxis],
    "RGB": rgb,
    "BGR view of RGB": lambda g: rgb(g)[:, :, ::-1],
    "RGB in Fortran order": lambda g: np.asfortranarray(rgb(g)),
    "RGBA": lambda g: np.dstack([g, g, g, np.zeros_like(g)]),
    "read-only": lambda g: np.frombuffer(g.tobytes(), np.uint8).reshape(g.shape),
}


@pytest.mark.parametrize("layout", LAYOUTS.values(), ids=LAYOUTS.keys())
def test_every_array_layout_reads_as_its_contiguous_grey_copy(layout):
    view = layout(grey(PLAIN))
    result = norvale.decode(view)
    assert result is not None and result.bytes == expected_bytes(PLAIN)
    plane = view if view.ndim == 2 else view[..., 0]
    assert result == norvale.decode(np.ascontiguousarray(plane))


@pytest.mark.parametrize("picture", [PLAIN, "blackbox/inverted/inv-002.png"])
def test_light_and_dark_symbols(picture):
    g = grey(picture)
    for shade in (g, 255 - g):
        assert norvale.decode(shade).bytes == expected_bytes(picture)
    # Only the dark-on-light one without the inverted search.
    found = [norvale.decode(shade, inverted=False) is not None for shade in (g, 255 - g)]
    assert found.count(True) == 1


SHEET = [  # picture, top-left corner on the sheet (row, column)
    (PLAIN, (10, 20)),
    ("blackbox/sizes/s010-0.png", (30, 260)),
    ("blackbox/sizes/s026-1.png", (220, 120)),
]


def sheet():
    page = np.full((400, 420), 255, np.uint8)
    for picture, (top, left) in SHEET:
        g = grey(picture)
        page[top : top + g.shape[0], left : left + g.shape[1]] = g
    return page


def test_decode_all_finds_every_symbol_where_it_lies():
    results = norvale.decode_all(sheet())
    assert len(results) == len(SHEET)
    for picture, (top, left) in SHEET:
        (result,) = [r for r in results if r.bytes == expected_bytes(picture)]
        height, width = grey(picture).shape
        for x, y in result.corners:  # y counted down from the top row
            assert left - 2 <= x <= left + width + 1 and top - 2 <= y <= top + height + 1


def test_max_symbols_and_decode_take_the_first_symbols_found():
    everything = norvale.decode_all(sheet())
    assert norvale.decode_all(sheet(), max_symbols=2) == everything[:2]
    assert norvale.decode(sheet()) == everything[0]
    assert norvale.decode_all(np.full((300, 300), 255, np.uint8)) == []


def test_a_time_budget_returns_what_was_found_in_time():
    page = np.tile(sheet(), (2, 2))
    everything = norvale.decode_all(page)
    assert len(everything) == 4 * len(SHEET)
    hurried = norvale.decode_all(page, time_budget_ms=1)
    assert hurried == everything[: len(hurried)]
    assert norvale.decode(page, time_budget_ms=1) in (None, everything[0])


@pytest.mark.parametrize(
    "picture, identifier, gs1, eci, place, programming",
    [
        ("content/gs1.png", "]d2", "(01)09501101530003(17)250101(10)AB12", [], None, False),
        ("content/eci-26.png", "]d4", None, [26], None, False),
        ("content/eci-899.png", "]d4", None, [899], None, False),
        ("content/structured-append-2-of-3.png", "]d1", None, [], (2, 3), False),
        ("content/reader-programming.png", "]d1", None, [], None, True),
        (PLAIN, "]d1", None, [], None, False),
    ],
)
def test_content_metadata(picture, identifier, gs1, eci, place, programming):
    result = norvale.decode(DATA / picture)
    assert result.symbology_identifier == identifier
    assert result.gs1 == gs1
    assert result.eci == eci
    if place is None:
        assert result.structured_append is None
    else:
        assert isinstance(result.structured_append, norvale.StructuredAppend)
        assert result.structured_append[:2] == place
    assert result.reader_programming is programming


@pytest.mark.parametrize(
    "picture, start_mode",
    [
        ("results/00-ascii-words-14.bmp", "ascii"),
        ("results/05-c40-16.bmp", "c40"),
        ("results/10-text-12.bmp", "text"),
        ("results/16-x12-10.bmp", "x12"),
        ("results/00-edifact-unlatch1-24.bmp", "edifact"),
        ("results/20-base256-12.bmp", "base256"),
        ("blackbox/real-public/dm1-eci.png", "upper-shift"),
    ],
)
def test_start_mode_names(picture, start_mode):
    assert norvale.decode(DATA / picture).start_mode == start_mode


@pytest.mark.parametrize(
    "picture, encoding",
    [("content/eci-26.png", "utf-8"), ("blackbox/modes/02-ascii-latin1-22.png", "latin-1")],
)
def test_text_is_utf8_when_valid_else_latin1(picture, encoding):
    result = norvale.decode(DATA / picture)
    assert result.text == result.bytes.decode(encoding)
    assert any(b >= 0x80 for b in result.bytes)


def test_result_fields_and_repr():
    result = norvale.decode(DATA / "content/structured-append-2-of-3.png")
    assert (result.side, result.corrected, result.text) == (16, 0, "PART2")
    assert len(result.corners) == 4 and all(len(p) == 2 for p in result.corners)
    assert repr(result).startswith("norvale.Result(text='PART2', side=16, start_mode='ascii', corrected=0")
    assert "structured_append=StructuredAppend(position=2, total=3, file_id=" in repr(result)
    assert result == norvale.decode(DATA / "content/structured-append-2-of-3.png")
    assert result != norvale.decode(DATA / PLAIN) and result != "PART2"
    with pytest.raises(TypeError):
        norvale.Result()

"""Reads Data Matrix (ECC 200) symbols from pictures."""
import os
from typing import Any, Literal, NamedTuple, Optional, Union

__version__: str

# A path, the bytes of a BMP/PNG/JPEG file, a uint8 numpy array (HxW, HxWx3 RGB, HxWx4 RGBA) or a
# Pillow image. Typed loosely so that neither numpy nor Pillow is needed to check a caller.
Picture = Union[str, os.PathLike[str], os.PathLike[bytes], bytes, bytearray, memoryview, Any]

class StructuredAppend(NamedTuple):
    position: int
    total: int
    file_id: int

class Result:
    @property
    def bytes(self) -> bytes: ...
    @property
    def text(self) -> str: ...
    @property
    def side(self) -> int: ...
    @property
    def corners(self) -> tuple[tuple[int, int], tuple[int, int], tuple[int, int], tuple[int, int]]: ...
    @property
    def corrected(self) -> int: ...
    @property
    def start_mode(self) -> Literal["ascii", "c40", "text", "x12", "edifact", "base256", "upper-shift"]: ...
    @property
    def symbology_identifier(self) -> str: ...
    @property
    def gs1(self) -> Optional[str]: ...
    @property
    def eci(self) -> list[int]: ...
    @property
    def structured_append(self) -> Optional[StructuredAppend]: ...
    @property
    def reader_programming(self) -> bool: ...
    def __eq__(self, other: object) -> bool: ...

def decode(
    image: Picture,
    *,
    max_symbols: Literal[1] = 1,
    time_budget_ms: Optional[float] = None,
    inverted: bool = True,
) -> Optional[Result]: ...
def decode_all(
    image: Picture,
    *,
    max_symbols: Optional[int] = None,
    time_budget_ms: Optional[float] = None,
    inverted: bool = True,
) -> list[Result]: ...

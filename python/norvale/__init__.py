"""Reads Data Matrix (ECC 200) symbols from pictures.

    import norvale
    result = norvale.decode("label.png")      # a path, file bytes, a numpy array or a Pillow image
    if result is not None:
        print(result.text, result.corners)
    for symbol in norvale.decode_all(picture): # every symbol of a picture
        ...
"""
from norvale._norvale import Result, StructuredAppend, __version__, decode, decode_all

__all__ = ["Result", "StructuredAppend", "decode", "decode_all", "__version__"]

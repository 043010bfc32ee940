// The picture argument of norvale.decode: a path, the bytes of an image file, or pixels (a numpy
// array or a Pillow image), checked while the GIL is held and decoded while it is released.
#pragma once

#include <pybind11/pybind11.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "norvale/datamatrix.hpp"

namespace norvale::python {

namespace py = pybind11;

// Pixels of an 8-bit array as numpy lays them out: element (row, column, channel) is the byte at
// data + row * rowStride + column * columnStride + channel * channelStride. Strides may be zero or
// negative. One channel is grey; three are red, green, blue; a fourth (alpha) is not read.
struct PixelView
{
    const uint8_t* data = nullptr;
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t channels = 1;
    ptrdiff_t rowStride = 0;
    ptrdiff_t columnStride = 0;
    ptrdiff_t channelStride = 0;
};

// One checked picture argument. `owner` keeps alive whatever the pointers point into (the bytes
// object, the exported buffer or the array) until the decode has returned.
struct PictureArgument
{
    enum class Kind { kPath, kFileBytes, kPixels };

    Kind kind = Kind::kPath;
    std::string path;                   // kPath: in the file system's encoding
    py::object pathObject;              // kPath: the caller's path as str or bytes, for error messages
    const uint8_t* fileBytes = nullptr; // kFileBytes
    size_t fileLength = 0;
    PixelView pixels; // kPixels
    py::object owner;
    std::optional<py::buffer_info> buffer; // an exported buffer, released with the GIL held
};

// Reads the argument; raises TypeError for an object of no accepted kind, ValueError for an
// array of an unusable shape or size (TypeError for a dtype other than uint8).
PictureArgument ReadPictureArgument(const py::handle& image);

// Decodes the picture with the GIL released. Only the plain data of `picture` is touched.
DecodedAll DecodePictureArgument(const PictureArgument& picture, const Options& options);

// Raises the exception for a picture the decoder could not load: the OSError of the failing
// open or read for a path that cannot be read, else ValueError.
[[noreturn]] void RaiseNotLoaded(const PictureArgument& picture);

} // namespace norvale::python

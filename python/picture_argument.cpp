// The picture argument of norvale.decode: sorts the caller's object into a path, file bytes or
// an 8-bit pixel array, then hands it to the C++ API. Grey arrays whose rows are runs of bytes
// (a C-contiguous array, a slice of one, a vertically flipped view) are decoded where they lie;
// any other layout, and colour, is first copied into one grey plane.
#include "picture_argument.h"

#include <cerrno>
#include <cstdio>
#include <new>
#include <vector>

#include "image/gray_image.h"

namespace norvale::python {

namespace {

constexpr const char* kAcceptedKinds =
    "a path (str or os.PathLike), the bytes of a BMP, PNG or JPEG file, a uint8 numpy array "
    "(HxW grey, HxWx3 RGB, HxWx4 RGBA) or a Pillow image";

[[noreturn]] void RaiseTypeError(const py::handle& image)
{
    throw py::type_error("norvale: cannot decode a " +
                         std::string(py::str(py::type::handle_of(image).attr("__name__"))) +
                         "; the picture is " + kAcceptedKinds);
}

PictureArgument FileBytesArgument(const py::handle& image)
{
    PictureArgument picture;
    picture.kind = PictureArgument::Kind::kFileBytes;
    picture.owner = py::reinterpret_borrow<py::object>(image);
    if (PyBytes_Check(image.ptr())) {
        picture.fileBytes = reinterpret_cast<const uint8_t*>(PyBytes_AS_STRING(image.ptr()));
        picture.fileLength = static_cast<size_t>(PyBytes_GET_SIZE(image.ptr()));
        return picture;
    }
    picture.buffer = py::reinterpret_borrow<py::buffer>(image).request();
    const py::buffer_info& info = *picture.buffer;
    if (info.itemsize != 1 || info.ndim != 1 || info.strides[0] != 1) {
        throw py::type_error("norvale: the bytes of a file must be one contiguous run of bytes");
    }
    picture.fileBytes = static_cast<const uint8_t*>(info.ptr);
    picture.fileLength = static_cast<size_t>(info.size);
    return picture;
}

PictureArgument PathArgument(const py::handle& image)
{
    PictureArgument picture;
    picture.kind = PictureArgument::Kind::kPath;
    auto path = py::reinterpret_steal<py::object>(PyOS_FSPath(image.ptr()));
    if (!path) {
        throw py::error_already_set();
    }
    picture.pathObject = path;
    if (PyUnicode_Check(path.ptr())) {
        path = py::reinterpret_steal<py::object>(PyUnicode_EncodeFSDefault(path.ptr()));
        if (!path) {
            throw py::error_already_set();
        }
    }
    picture.path = std::string(py::bytes(path));
    // The C library would stop at the first NUL and open another file.
    if (picture.path.find('\0') != std::string::npos) {
        throw py::value_error("norvale: embedded null byte in the path");
    }
    return picture;
}

// The pixel array of a numpy array, a Pillow image or another object numpy reads as an array.
py::object AsArray(const py::handle& image)
{
    const py::dict modules = py::module_::import("sys").attr("modules");
    // A Pillow image can only exist once PIL.Image is loaded; modes other than grey, RGB and
    // RGBA (palette, bilevel, CMYK...) are turned into grey by Pillow itself. Pillow's own
    // conversion clips 16-bit grey (modes I and I;16...) at 255 instead of scaling it, so those
    // keep their high byte, as the PNG reader does with a 16-bit file.
    const py::object pil = modules.attr("get")("PIL.Image");
    if (!pil.is_none() && py::isinstance(image, pil.attr("Image"))) {
        py::object picture = py::reinterpret_borrow<py::object>(image);
        const std::string mode = py::str(picture.attr("mode"));
        const py::module_ numpy = py::module_::import("numpy");
        if (mode == "I" || mode.rfind("I;16", 0) == 0) {
            const py::object wide = numpy.attr("clip")(numpy.attr("asarray")(picture), 0, 65535);
            return numpy.attr("right_shift")(wide, 8).attr("astype")("uint8");
        }
        if (mode != "L" && mode != "RGB" && mode != "RGBA") {
            picture = picture.attr("convert")("L");
        }
        return numpy.attr("asarray")(picture);
    }
    if (!modules.contains("numpy")) {
        RaiseTypeError(image);
    }
    const py::module_ numpy = py::module_::import("numpy");
    if (py::isinstance(image, numpy.attr("ndarray"))) {
        return py::reinterpret_borrow<py::object>(image);
    }
    if (py::hasattr(image, "__array_interface__") || py::hasattr(image, "__array_struct__") ||
        py::hasattr(image, "__array__")) {
        return numpy.attr("asarray")(image);
    }
    RaiseTypeError(image);
}

PictureArgument PixelArgument(const py::handle& image)
{
    PictureArgument picture;
    picture.kind = PictureArgument::Kind::kPixels;
    picture.owner = AsArray(image);
    const py::object& array = picture.owner;
    const py::object dtype = array.attr("dtype");
    if (std::string(py::str(dtype.attr("kind"))) != "u" || dtype.attr("itemsize").cast<int>() != 1) {
        throw py::type_error("norvale: a pixel array must be of dtype uint8, not " +
                             std::string(py::str(dtype)));
    }
    const auto shape = [&] { return std::string(py::str(array.attr("shape"))); }; // for messages only
    picture.buffer = py::reinterpret_borrow<py::buffer>(array).request();
    const py::buffer_info& info = *picture.buffer;
    const auto ndim = info.ndim;
    const bool channelsOk = ndim == 3 && (info.shape[2] == 1 || info.shape[2] == 3 || info.shape[2] == 4);
    if (ndim != 2 && !channelsOk) {
        throw py::value_error(
            "norvale: a pixel array is HxW (grey), HxWx3 (RGB) or HxWx4 (RGBA), not of shape " + shape());
    }
    if (info.shape[0] == 0 || info.shape[1] == 0) {
        throw py::value_error("norvale: the pixel array of shape " + shape() + " is empty");
    }
    const auto height = static_cast<uint64_t>(info.shape[0]);
    const auto width = static_cast<uint64_t>(info.shape[1]);
    // Checked against the decoder's pixel limit before any of it is copied, so that a huge
    // broadcast view costs nothing.
    if (height > kMaxPicturePixels || width > kMaxPicturePixels || width * height > kMaxPicturePixels) {
        throw py::value_error("norvale: a picture of shape " + shape() +
                              " has more pixels than the decoder reads (" +
                              std::to_string(kMaxPicturePixels) + ")");
    }
    PixelView& view = picture.pixels;
    view.data = static_cast<const uint8_t*>(info.ptr);
    view.width = static_cast<uint32_t>(width);
    view.height = static_cast<uint32_t>(height);
    view.rowStride = info.strides[0];
    view.columnStride = info.strides[1];
    if (ndim == 3) {
        view.channels = info.shape[2] == 1 ? 1 : 3;
        view.channelStride = info.strides[2];
    }
    return picture;
}

// One grey plane, top row first, copied from any layout; empty when it cannot be allocated.
std::vector<uint8_t> CopyToGrey(const PixelView& view)
{
    std::vector<uint8_t> grey;
    try {
        grey.resize(size_t{view.width} * view.height);
    } catch (const std::bad_alloc&) {
        return grey;
    }
    uint8_t* out = grey.data();
    for (uint32_t y = 0; y < view.height; ++y) {
        const uint8_t* row = view.data + ptrdiff_t{y} * view.rowStride;
        if (view.channels == 1) {
            for (uint32_t x = 0; x < view.width; ++x) {
                *out++ = row[ptrdiff_t{x} * view.columnStride];
            }
        } else {
            const ptrdiff_t c = view.channelStride;
            for (uint32_t x = 0; x < view.width; ++x) {
                const uint8_t* pixel = row + ptrdiff_t{x} * view.columnStride;
                *out++ = GrayFromRgb(pixel[0], pixel[c], pixel[2 * c]);
            }
        }
    }
    return grey;
}

DecodedAll DecodePixels(const PixelView& view, const Options& options)
{
    const ptrdiff_t width = view.width;
    if (view.channels == 1 && (view.columnStride == 1 || view.width == 1)) {
        if (view.height == 1 || view.rowStride >= width) {
            const size_t stride = view.height == 1 ? view.width : static_cast<size_t>(view.rowStride);
            return DecodeAllGray(view.data, view.width, view.height, stride, RowOrder::kTopFirst, options);
        }
        if (-view.rowStride >= width) {
            // Rows run backwards in memory: the lowest address holds the bottom row.
            const uint8_t* bottom = view.data + ptrdiff_t{view.height - 1} * view.rowStride;
            return DecodeAllGray(bottom, view.width, view.height, static_cast<size_t>(-view.rowStride),
                                 RowOrder::kBottomFirst, options);
        }
    }
    const std::vector<uint8_t> grey = CopyToGrey(view);
    if (grey.empty()) {
        DecodedAll failed;
        failed.error = DecodeErrorKind::kOutOfMemory;
        return failed;
    }
    return DecodeAllGray(grey.data(), view.width, view.height, view.width, RowOrder::kTopFirst, options);
}

[[noreturn]] void RaiseFromErrno(int error, const py::object& path)
{
    errno = error;
    PyErr_SetFromErrnoWithFilenameObject(PyExc_OSError, path.ptr());
    throw py::error_already_set();
}

std::string NotReadMessage(const std::string& what)
{
    return "norvale: " + what +
           " not a picture the decoder reads: an unknown or unsupported format, a damaged file, or more "
           "than " +
           std::to_string(kMaxPicturePixels) + " pixels";
}

} // namespace

PictureArgument ReadPictureArgument(const py::handle& image)
{
    if (PyBytes_Check(image.ptr()) || PyByteArray_Check(image.ptr()) || PyMemoryView_Check(image.ptr())) {
        return FileBytesArgument(image);
    }
    if (PyUnicode_Check(image.ptr()) || py::hasattr(image, "__fspath__")) {
        return PathArgument(image);
    }
    return PixelArgument(image);
}

DecodedAll DecodePictureArgument(const PictureArgument& picture, const Options& options)
{
    switch (picture.kind) {
    case PictureArgument::Kind::kPath:
        return DecodeAllPath(picture.path, options);
    case PictureArgument::Kind::kFileBytes:
        return DecodeAllMemory(picture.fileBytes, picture.fileLength, options);
    default:
        return DecodePixels(picture.pixels, options);
    }
}

void RaiseNotLoaded(const PictureArgument& picture)
{
    switch (picture.kind) {
    case PictureArgument::Kind::kPath: {
        // The decoder says only that the picture did not load: open and read the file again to
        // report a missing, unreadable or directory path as the OSError Python's open() gives.
        std::FILE* file = std::fopen(picture.path.c_str(), "rb");
        if (file == nullptr) {
            RaiseFromErrno(errno, picture.pathObject);
        }
        char first = 0;
        const size_t got = std::fread(&first, 1, 1, file);
        const int error = got == 0 && std::ferror(file) ? errno : 0;
        std::fclose(file);
        if (error != 0) {
            RaiseFromErrno(error, picture.pathObject);
        }
        throw py::value_error(NotReadMessage(std::string(py::repr(picture.pathObject)) + " is"));
    }
    case PictureArgument::Kind::kFileBytes:
        throw py::value_error(NotReadMessage("the " + std::to_string(picture.fileLength) + " bytes are"));
    default:
        throw py::value_error("norvale: the decoder refused the " + std::to_string(picture.pixels.width) +
                              " x " + std::to_string(picture.pixels.height) + " picture");
    }
}

} // namespace norvale::python

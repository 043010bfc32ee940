// The extension module norvale._norvale: decode() and decode_all() over the C++ API. The picture
// argument is read with the GIL held, decoded with it released (threads decode in parallel), and
// each failure kind becomes a Python exception or an empty answer.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>

#include "norvale/datamatrix.hpp"
#include "picture_argument.h"
#include "symbol_result.h"

namespace norvale::python {

namespace {

constexpr uint32_t kMost = std::numeric_limits<uint32_t>::max();

Options ReadOptions(uint32_t maxSymbols, std::optional<double> timeBudgetMs, bool inverted)
{
    Options options;
    options.maxSymbols = maxSymbols;
    options.inverted = inverted;
    if (timeBudgetMs) {
        const double ms = *timeBudgetMs;
        if (!(ms > 0)) {
            throw py::value_error("norvale: time_budget_ms is a positive number of milliseconds, or None");
        }
        options.timeBudgetMs = ms >= kMost ? kMost : static_cast<uint32_t>(std::ceil(ms));
    }
    return options;
}

// The symbols found; raises for a picture that did not load or an allocation that failed. A
// search that ran out of time gives the symbols found before (often none), like one that ended.
py::list Run(const py::object& image, const Options& options)
{
    const PictureArgument picture = ReadPictureArgument(image);
    DecodedAll all;
    {
        py::gil_scoped_release release;
        all = DecodePictureArgument(picture, options);
    }
    switch (all.error) {
    case DecodeErrorKind::kImageNotLoaded:
        RaiseNotLoaded(picture);
    case DecodeErrorKind::kOutOfMemory:
        PyErr_SetString(PyExc_MemoryError, "norvale: out of memory while decoding");
        throw py::error_already_set();
    default:
        break;
    }
    py::list symbols;
    for (Decoded& symbol : all.symbols) {
        symbols.append(py::cast(std::move(symbol)));
    }
    return symbols;
}

py::object Decode(const py::object& image, int64_t maxSymbols, std::optional<double> timeBudgetMs,
                  bool inverted)
{
    if (maxSymbols != 1) {
        throw py::value_error(
            "norvale.decode returns one symbol: max_symbols is 1 (decode_all returns more)");
    }
    py::list symbols = Run(image, ReadOptions(1, timeBudgetMs, inverted));
    return symbols.empty() ? py::object(py::none()) : py::object(symbols[0]);
}

py::list DecodeAll(const py::object& image, std::optional<int64_t> maxSymbols,
                   std::optional<double> timeBudgetMs, bool inverted)
{
    uint32_t most = 0; // every symbol
    if (maxSymbols) {
        if (*maxSymbols < 1) {
            throw py::value_error("norvale: max_symbols is at least 1, or None for every symbol");
        }
        most = *maxSymbols >= kMost ? kMost : static_cast<uint32_t>(*maxSymbols);
    }
    return Run(image, ReadOptions(most, timeBudgetMs, inverted));
}

constexpr const char* kDecodeDoc = R"(Decodes the first Data Matrix symbol found in a picture.

image: a path (str or os.PathLike) of a BMP, PNG or JPEG file (recognised by content); the
bytes of such a file (bytes, bytearray, memoryview); a uint8 numpy array, HxW grey, HxWx3 RGB
or HxWx4 RGBA (alpha ignored), of any strides; or a Pillow image.
max_symbols: 1 (decode_all takes more).
time_budget_ms: stop looking after about this long; None looks as long as it takes.
inverted: also look for light symbols on a dark ground.

Returns a Result, or None when no symbol decoded or the time budget ran out first.
Raises OSError (FileNotFoundError...) for a path that cannot be read, ValueError for a file or
bytes that are not a picture the decoder reads and for an array of an unusable shape, TypeError
for an object of another kind or an array of another dtype, MemoryError when the decoder runs
out of memory. The GIL is released while the picture decodes.)";

constexpr const char* kDecodeAllDoc = R"(Decodes every distinct symbol of a picture, in the order found.

The arguments are those of decode(); max_symbols: the most symbols returned, None for every
one. Returns a list of Result, empty when none decoded; when the time budget runs out, the
symbols found until then. Raises as decode() does.)";

} // namespace

} // namespace norvale::python

PYBIND11_MODULE(_norvale, module)
{
    namespace py = pybind11;
    using namespace norvale::python;
    module.doc() =
        "Reads Data Matrix (ECC 200) symbols from pictures: paths, file bytes, numpy arrays, Pillow images.";
    module.attr("__version__") = NorvaleVersion();
    BindSymbolResult(module);
    module.def("decode", &Decode, kDecodeDoc, py::arg("image"), py::kw_only(), py::arg("max_symbols") = 1,
               py::arg("time_budget_ms") = py::none(), py::arg("inverted") = true);
    module.def("decode_all", &DecodeAll, kDecodeAllDoc, py::arg("image"), py::kw_only(),
               py::arg("max_symbols") = py::none(), py::arg("time_budget_ms") = py::none(),
               py::arg("inverted") = true);
}

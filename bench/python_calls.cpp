// Timing helper of bench/python_overhead.py: the C++ API's calls on the very pixels or path a
// Python caller hands to norvale, each timed inside C++, so that what the module adds shows as
// the difference.
#include <pybind11/pybind11.h>

#include <chrono>
#include <string>
#include <utility>

#include "norvale/datamatrix.hpp"

namespace {

namespace py = pybind11;
using Clock = std::chrono::steady_clock;

// Seconds of one call, and whether it decoded a symbol.
template <typename Call> std::pair<double, bool> Timed(Call call)
{
    const Clock::time_point start = Clock::now();
    const norvale::Decoded decoded = call();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return {seconds, decoded.ok()};
}

// DecodeGray on a C-contiguous HxW uint8 array.
std::pair<double, bool> DecodeGraySeconds(const py::buffer& pixels)
{
    const py::buffer_info info = pixels.request();
    if (info.ndim != 2 || info.itemsize != 1 || info.strides[1] != 1) {
        throw py::value_error("a C-contiguous HxW uint8 array");
    }
    const auto* data = static_cast<const uint8_t*>(info.ptr);
    const auto width = static_cast<uint32_t>(info.shape[1]);
    const auto height = static_cast<uint32_t>(info.shape[0]);
    const auto stride = static_cast<size_t>(info.strides[0]);
    py::gil_scoped_release release;
    return Timed(
        [&] { return norvale::DecodeGray(data, width, height, stride, norvale::RowOrder::kTopFirst); });
}

std::pair<double, bool> DecodePathSeconds(const std::string& path)
{
    py::gil_scoped_release release;
    return Timed([&] { return norvale::DecodePath(path); });
}

} // namespace

PYBIND11_MODULE(norvale_bench_calls, module)
{
    module.doc() = "The C++ API's decode calls, timed in C++: (seconds, decoded).";
    module.def("decode_gray_seconds", &DecodeGraySeconds, pybind11::arg("pixels"));
    module.def("decode_path_seconds", &DecodePathSeconds, pybind11::arg("path"));
}

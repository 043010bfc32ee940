// norvale.Result: read-only properties over a Decoded value, in Python's own types: the bytes
// as bytes, the text as str, corners as (x, y) tuples with y counted down from the top row.
#include "symbol_result.h"

#include <string>

#include "norvale/datamatrix.hpp"

namespace norvale::python {

namespace {

// The longest text a repr shows whole; a longer one is cut and marked with "...".
constexpr Py_ssize_t kReprTextLength = 48;

// The named tuple type, made once when the module loads and kept for the process's life.
PyObject* structuredAppendType = nullptr;

py::bytes BytesOf(const Decoded& d)
{
    return py::bytes(reinterpret_cast<const char*>(d.bytes.data()), d.bytes.size());
}

// UTF-8 when the bytes are valid UTF-8, else ISO 8859-1 (each byte the code point of its value).
py::str TextOf(const Decoded& d)
{
    const auto* data = reinterpret_cast<const char*>(d.bytes.data());
    const auto length = static_cast<Py_ssize_t>(d.bytes.size());
    PyObject* text = PyUnicode_DecodeUTF8(data, length, "strict");
    if (text == nullptr) {
        PyErr_Clear();
        text = PyUnicode_DecodeLatin1(data, length, "strict");
    }
    if (text == nullptr) {
        throw py::error_already_set();
    }
    return py::reinterpret_steal<py::str>(text);
}

py::tuple CornersOf(const Decoded& d)
{
    const auto corners = d.cornersFromTop();
    py::tuple points(corners.size());
    for (size_t k = 0; k < corners.size(); ++k) {
        points[k] = py::make_tuple(corners[k].x, corners[k].y);
    }
    return points;
}

py::object Gs1Of(const Decoded& d)
{
    return d.gs1.empty() ? py::object(py::none()) : py::object(py::str(d.gs1));
}

py::list EciOf(const Decoded& d)
{
    py::list designators;
    for (const uint32_t eci : d.eci) {
        designators.append(eci);
    }
    return designators;
}

py::object StructuredAppendOf(const Decoded& d)
{
    const StructuredAppend& place = d.structuredAppend;
    if (place.total == 0) {
        return py::none();
    }
    return py::reinterpret_borrow<py::object>(structuredAppendType)(place.position, place.total,
                                                                    place.fileId);
}

bool SameSymbol(const Decoded& a, const Decoded& b)
{
    const auto cornersA = a.cornersFromTop();
    const auto cornersB = b.cornersFromTop();
    for (size_t k = 0; k < cornersA.size(); ++k) {
        if (cornersA[k].x != cornersB[k].x || cornersA[k].y != cornersB[k].y) {
            return false;
        }
    }
    return a.bytes == b.bytes && a.side == b.side && a.startMode == b.startMode &&
           a.correctedCount == b.correctedCount && a.symbologyIdentifier == b.symbologyIdentifier &&
           a.gs1 == b.gs1 && a.eci == b.eci && a.structuredAppend.position == b.structuredAppend.position &&
           a.structuredAppend.total == b.structuredAppend.total &&
           a.structuredAppend.fileId == b.structuredAppend.fileId &&
           a.readerProgramming == b.readerProgramming;
}

// norvale.Result(text='Hello', side=12, start_mode='ascii', corrected=0, corners=(...)), then the
// content fields that say more than a plain symbol's.
std::string ReprOf(const Decoded& d)
{
    py::str text = TextOf(d);
    std::string shown;
    if (py::len(text) > static_cast<size_t>(kReprTextLength)) {
        shown = std::string(py::repr(text[py::slice(0, kReprTextLength, 1)])) + "...";
    } else {
        shown = py::repr(text);
    }
    std::string repr = "norvale.Result(text=" + shown + ", side=" + std::to_string(d.side) +
                       ", start_mode='" + StartModeName(d.startMode) +
                       "', corrected=" + std::to_string(d.correctedCount) +
                       ", corners=" + std::string(py::repr(CornersOf(d)));
    if (d.symbologyIdentifier != "]d1") {
        repr += ", symbology_identifier=" + std::string(py::repr(py::str(d.symbologyIdentifier)));
    }
    if (!d.gs1.empty()) {
        repr += ", gs1=" + std::string(py::repr(py::str(d.gs1)));
    }
    if (!d.eci.empty()) {
        repr += ", eci=" + std::string(py::repr(EciOf(d)));
    }
    if (d.structuredAppend.total != 0) {
        repr += ", structured_append=" + std::string(py::repr(StructuredAppendOf(d)));
    }
    if (d.readerProgramming) {
        repr += ", reader_programming=True";
    }
    return repr + ")";
}

} // namespace

void BindSymbolResult(py::module_& module)
{
    py::object place =
        py::module_::import("collections")
            .attr("namedtuple")("StructuredAppend", "position total file_id", py::arg("module") = "norvale");
    place.attr("__doc__") =
        "Place of a symbol in a structured-append sequence: position (1 to total), total "
        "(2 to 16 symbols) and file_id (the two identification codewords, the first in the "
        "high byte).";
    module.attr("StructuredAppend") = place;
    structuredAppendType = place.release().ptr();

    py::class_<Decoded> result(
        module, "Result", "One decoded Data Matrix symbol. Made by norvale.decode and norvale.decode_all.");
    result.attr("__module__") = "norvale";
    result.def_property_readonly("bytes", &BytesOf, "The decoded bytes, NUL bytes included.")
        .def_property_readonly("text", &TextOf,
                               "The bytes as text: UTF-8 when they are valid UTF-8, else ISO 8859-1.")
        .def_property_readonly(
            "side", [](const Decoded& d) { return d.side; }, "Modules per side (10 to 144).")
        .def_property_readonly(
            "corners", &CornersOf,
            "Four (x, y) pixel points, x to the right and y down from the top row: the "
            "finder's vertex, the far end of the leg along the symbol's left side, the far "
            "end of the bottom leg, the corner opposite the vertex.")
        .def_property_readonly(
            "corrected", [](const Decoded& d) { return d.correctedCount; },
            "Codewords fixed by error correction.")
        .def_property_readonly(
            "start_mode", [](const Decoded& d) { return StartModeName(d.startMode); },
            "Mode of the first codeword: 'ascii', 'c40', 'text', 'x12', 'edifact', 'base256' or "
            "'upper-shift'.")
        .def_property_readonly(
            "symbology_identifier", [](const Decoded& d) { return d.symbologyIdentifier; },
            "The ISO/IEC 15424 symbology identifier: ']d1' plain, ']d2' GS1, ']d3' AIM, ']d4' to ']d6' the "
            "same "
            "with ECI designators.")
        .def_property_readonly("gs1", &Gs1Of,
                               "For a GS1 symbol, the element string with each application identifier in "
                               "parentheses; None for other symbols.")
        .def_property_readonly("eci", &EciOf,
                               "The ECI designators met, in order (the first four); the bytes are not "
                               "converted.")
        .def_property_readonly("structured_append", &StructuredAppendOf,
                               "A StructuredAppend for a symbol of a structured-append sequence, else None.")
        .def_property_readonly(
            "reader_programming", [](const Decoded& d) { return d.readerProgramming; },
            "True when the symbol programs the reader rather than carrying data.")
        .def("__eq__", [](const Decoded& a, const Decoded& b) { return SameSymbol(a, b); })
        .def("__eq__",
             [](const Decoded&, const py::object&) {
                 return py::reinterpret_borrow<py::object>(Py_NotImplemented);
             })
        .def("__repr__", &ReprOf);
}

} // namespace norvale::python

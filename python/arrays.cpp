#include "arrays.h"

#include <pybind11/numpy.h>

#include <cmath>
#include <cstddef>
#include <limits>
#include <new>
#include <string>
#include <vector>

namespace py = pybind11;

namespace orvopy {

namespace {

// The values missing from a record, as the columns spell them.
constexpr std::int64_t NO_PARENT = -1;
constexpr double NO_PRECURSOR = std::numeric_limits<double>::quiet_NaN();

std::int64_t parent_of(const orvoeng::ScanRecord& scan) {
    return scan.parent_label == orvoeng::NO_LABEL ? NO_PARENT
                                                  : static_cast<std::int64_t>(scan.parent_label);
}

double precursor_of(const orvoeng::ScanRecord& scan) {
    return scan.scan_type.ms_level >= 2 ? scan.precursor_mz : NO_PRECURSOR;
}

std::int32_t charge_of(const orvoeng::ScanRecord& scan) {
    return scan.precursor_charge == orvoeng::NO_CHARGE ? 0 : scan.precursor_charge;
}

const char* polarity_of(const orvoeng::ScanRecord& scan) {
    switch (scan.scan_type.polarity) {
    case 0:
        return "+";
    case 1:
        return "-";
    default:
        return "";
    }
}

template <class T, class Value>
py::array_t<T> column(const std::vector<orvoeng::ScanRecord>& scans, Value value) {
    py::array_t<T> out(static_cast<py::ssize_t>(scans.size()));
    T* data = out.mutable_data();
    for (std::size_t i = 0; i < scans.size(); ++i)
        data[i] = static_cast<T>(value(scans[i]));
    return out;
}

py::array polarity_column(const std::vector<orvoeng::ScanRecord>& scans) {
    // One character a scan, "" where the file gives none.
    py::array out(py::dtype("<U1"),
                  std::vector<py::ssize_t>{static_cast<py::ssize_t>(scans.size())});
    auto* data = static_cast<char32_t*>(out.mutable_data());
    for (std::size_t i = 0; i < scans.size(); ++i)
        data[i] = static_cast<char32_t>(polarity_of(scans[i])[0]);
    return out;
}

} // namespace

py::dict scan_columns(const Run& run) {
    const auto& scans = run.scans();
    using Scan = orvoeng::ScanRecord;
    py::dict out;
    out["label"] = column<std::uint32_t>(scans, [](const Scan& s) { return s.label; });
    out["parent_label"] = column<std::int64_t>(scans, parent_of);
    out["ms_level"] =
        column<std::int32_t>(scans, [](const Scan& s) { return s.scan_type.ms_level; });
    out["polarity"] = polarity_column(scans);
    out["retention_time"] = column<double>(scans, [](const Scan& s) { return s.retention_time; });
    out["precursor_mz"] = column<double>(scans, precursor_of);
    out["precursor_charge"] = column<std::int32_t>(scans, charge_of);
    out["total_ion_current"] =
        column<double>(scans, [](const Scan& s) { return s.total_ion_current; });
    out["position"] = column<std::uint32_t>(scans, [](const Scan& s) { return s.file_position; });
    return out;
}

py::dict scan_dict(const orvoeng::ScanRecord& scan) {
    py::dict out;
    out["label"] = scan.label;
    out["parent_label"] = parent_of(scan);
    out["ms_level"] = scan.scan_type.ms_level;
    out["polarity"] = polarity_of(scan);
    out["retention_time"] = scan.retention_time;
    out["precursor_mz"] = precursor_of(scan);
    out["precursor_charge"] = charge_of(scan);
    out["total_ion_current"] = scan.total_ion_current;
    out["position"] = scan.file_position;
    return out;
}

namespace {

using Peaks = PAL::SmartPtr<std::vector<orvoeng::Peak>>;

// The base object of the two arrays over one peak list: it holds one
// reference to the list, dropped when the last array over it goes. A type
// of its own rather than a capsule, which would need a second allocation
// for the reference and saves and restores the error state as it dies;
// this runs for every spectrum.
struct PeakOwner {
    PyObject_HEAD Peaks peaks;
};

void owner_dealloc(PyObject* self) {
    PyTypeObject* type = Py_TYPE(self);
    reinterpret_cast<PeakOwner*>(self)->peaks.~Peaks();
    PyObject_Free(self);
    Py_DECREF(type); // an instance of a heap type holds a reference to it
}

PyTypeObject* owner_type() {
    static PyTypeObject* const type = [] {
        static PyType_Slot slots[] = {
            {Py_tp_dealloc, reinterpret_cast<void*>(&owner_dealloc)},
            {Py_tp_doc, const_cast<char*>("Keeps the peak list of a spectrum's arrays alive.")},
            {0, nullptr}};
        static PyType_Spec spec = {"orvo._PeakOwner", static_cast<int>(sizeof(PeakOwner)), 0,
                                   Py_TPFLAGS_DEFAULT, slots};
        PyObject* made = PyType_FromSpec(&spec);
        if (made == nullptr)
            throw py::error_already_set();
        return reinterpret_cast<PyTypeObject*>(made);
    }();
    return type;
}

py::object owner_of(const Peaks& peaks) {
    PeakOwner* owner = PyObject_New(PeakOwner, owner_type());
    if (owner == nullptr)
        throw py::error_already_set();
    new (&owner->peaks) Peaks(peaks);
    return py::reinterpret_steal<py::object>(reinterpret_cast<PyObject*>(owner));
}

// A float64 view of `count` values `stride` bytes apart, owned by `base`.
// Made through numpy's own call rather than py::array, which builds its
// shape and strides in vectors: this runs twice for every spectrum.
PyObject* double_view(const double* first, py::ssize_t count, py::ssize_t stride,
                      const py::object& base) {
    auto& api = py::detail::npy_api::get();
    Py_intptr_t shape[1] = {count};
    Py_intptr_t strides[1] = {stride};
    PyObject* view = api.PyArray_NewFromDescr_(
        api.PyArray_Type_, api.PyArray_DescrFromType_(py::detail::npy_api::NPY_DOUBLE_), 1, shape,
        strides, const_cast<double*>(first), py::detail::npy_api::NPY_ARRAY_WRITEABLE_, nullptr);
    if (view == nullptr)
        throw py::error_already_set();
    if (api.PyArray_SetBaseObject_(view, base.inc_ref().ptr()) != 0) {
        Py_DECREF(view);
        throw py::error_already_set();
    }
    return view;
}

} // namespace

py::tuple peak_arrays(const PAL::SmartPtr<orvoeng::Spectrum>& spectrum) {
    const Peaks* peaks = spectrum ? &spectrum->peaks : nullptr;
    if (peaks == nullptr || !*peaks || (*peaks)->empty())
        return py::make_tuple(py::array_t<double>(0), py::array_t<double>(0));
    const auto count = static_cast<py::ssize_t>((*peaks)->size());
    const orvoeng::Peak* first = (*peaks)->data();
    const py::object owner = owner_of(*peaks);
    constexpr auto stride = static_cast<py::ssize_t>(sizeof(orvoeng::Peak));
    auto out = py::reinterpret_steal<py::tuple>(PyTuple_New(2));
    if (!out)
        throw py::error_already_set();
    PyTuple_SET_ITEM(out.ptr(), 0, double_view(&first->mz, count, stride, owner));
    PyTuple_SET_ITEM(out.ptr(), 1, double_view(&first->intensity, count, stride, owner));
    return out;
}

py::object utc_datetime(std::int64_t seconds) {
    const py::module_ datetime = py::module_::import("datetime");
    const py::object utc = datetime.attr("timezone").attr("utc");
    return datetime.attr("datetime").attr("fromtimestamp")(seconds, utc);
}

} // namespace orvopy

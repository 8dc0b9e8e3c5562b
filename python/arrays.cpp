#include "arrays.h"

#include <host/session/record_values.h>

#include <pal/memory.h>

#include <pybind11/numpy.h>

#include <array>
#include <cmath>
#include <cstddef>
#include <limits>
#include <memory>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace py = pybind11;

namespace orvopy {

namespace {

// The values of a record, with what the file does not give as nothing:
// the columns mask it (NaN in float columns), a scan's dict holds None.
std::optional<std::uint32_t> parent_of(const orvoeng::ScanRecord& scan) {
    return orvohost::known_parent(scan);
}

std::optional<double> precursor_of(const orvoeng::ScanRecord& scan) {
    if (scan.scan_type.ms_level < 2)
        return std::nullopt;
    return scan.precursor_mz;
}

std::optional<std::int32_t> charge_of(const orvoeng::ScanRecord& scan) {
    return orvohost::known_charge(scan);
}

const char* polarity_of(const orvoeng::ScanRecord& scan) {
    switch (scan.scan_type.polarity) {
    case 0:
        return "+";
    case 1:
        return "-";
    default:
        return nullptr;
    }
}

template <class T>
py::object or_none(const std::optional<T>& value) {
    return value ? py::cast(*value) : py::none();
}

constexpr double NOTHING = std::numeric_limits<double>::quiet_NaN();

// The nine columns of a scan list share one block: for a large file each
// is megabytes, and nine separate numpy allocations would each be filled
// one 4 KiB page fault at a time. The block may come in large pages; the
// arrays over it keep it alive through a capsule.
class ColumnBlock {
public:
    ColumnBlock(std::size_t rows, std::size_t row_bytes) : count(rows), left(rows * row_bytes) {
        const std::size_t bytes = left;
        auto memory = std::make_unique<unsigned char[]>(bytes);
        PAL::advise_large_pages(memory.get(), bytes);
        owner = py::capsule(memory.get(), [](void* data) {
            std::default_delete<unsigned char[]>()(static_cast<unsigned char*>(data));
        });
        next = memory.release(); // the capsule frees it now
    }

    // The next column, `value` of every record, as a numpy array of `dtype`.
    template <class T, class Value>
    py::array column(const py::dtype& dtype, const std::vector<orvoeng::ScanRecord>& scans,
                     Value value) {
        if (count * sizeof(T) > left)
            throw std::logic_error("orvo: the scan columns outgrew their block");
        auto* data = reinterpret_cast<T*>(next);
        next += count * sizeof(T);
        left -= count * sizeof(T);
        for (std::size_t i = 0; i < count; ++i)
            data[i] = static_cast<T>(value(scans[i]));
        return py::array(dtype, {static_cast<py::ssize_t>(count)},
                         {static_cast<py::ssize_t>(sizeof(T))}, data, owner);
    }

    template <class T, class Value>
    py::array column(const std::vector<orvoeng::ScanRecord>& scans, Value value) {
        return column<T>(py::dtype::of<T>(), scans, value);
    }

private:
    std::size_t count;
    std::size_t left; // bytes of the block no column has
    py::capsule owner;
    unsigned char* next = nullptr;
};

} // namespace

namespace {

// A numpy masked array over `data`, masked where `given` is false.
template <class Given>
py::object masked(const py::array& data, const std::vector<orvoeng::ScanRecord>& scans,
                  Given given) {
    py::array_t<bool> mask(static_cast<py::ssize_t>(scans.size()));
    bool* flags = mask.mutable_data();
    for (std::size_t i = 0; i < scans.size(); ++i)
        flags[i] = !given(scans[i]);
    // Never freed, as the module's other static objects: it would outlive
    // the interpreter.
    static const py::handle masked_array =
        py::object(py::module_::import("numpy.ma").attr("masked_array")).release();
    return masked_array(data, py::arg("mask") = mask);
}

// The columns of what the scan tags state: the peak count masked where a
// tag gives none, numbers NaN, filter lines str or None.
void add_tag_columns(py::dict& out, const std::vector<orvoeng::ScanRecord>& scans,
                     const orvohost::ScanTags& tags) {
    const auto rows = static_cast<py::ssize_t>(scans.size());
    py::array_t<std::int64_t> count(rows);
    py::array_t<bool> no_count(rows);
    py::list lines(scans.size());
    for (std::size_t i = 0; i < scans.size(); ++i) {
        const auto& given = tags.of(scans[i].file_position);
        count.mutable_data()[i] = given.peaks_count.value_or(0);
        no_count.mutable_data()[i] = !given.peaks_count;
        lines[i] = or_none(given.filter_line);
    }
    static const py::handle masked_array =
        py::object(py::module_::import("numpy.ma").attr("masked_array")).release();
    out["peaks_count"] = masked_array(count, py::arg("mask") = no_count);
    using Number = std::optional<double> orvohost::ScanTagValues::*;
    for (const auto& [name, member] :
         {std::pair<const char*, Number>{"base_peak_mz", &orvohost::ScanTagValues::base_peak_mz},
          {"base_peak_intensity", &orvohost::ScanTagValues::base_peak_intensity},
          {"precursor_intensity", &orvohost::ScanTagValues::precursor_intensity},
          {"collision_energy", &orvohost::ScanTagValues::collision_energy}}) {
        py::array_t<double> column(rows);
        for (std::size_t i = 0; i < scans.size(); ++i)
            column.mutable_data()[i] = (tags.of(scans[i].file_position).*member).value_or(NOTHING);
        out[name] = column;
    }
    static const py::handle as_array =
        py::object(py::module_::import("numpy").attr("array")).release();
    out["filter_line"] = as_array(lines, py::arg("dtype") = "O");
}

} // namespace

py::dict scan_columns(Run& run) {
    const auto& scans = run.scans();
    using Scan = orvoeng::ScanRecord;
    // Widest columns first, so each starts aligned to its values.
    const orvohost::ScanNumbers numbers = run.scan_numbers();
    const auto number_of = [&numbers](const Scan& s) { return numbers.of(s.file_position); };
    ColumnBlock block(scans.size(), 5 * sizeof(double) + 5 * sizeof(std::uint32_t));
    py::array parent = block.column<std::int64_t>(
        scans, [](const Scan& s) { return static_cast<std::int64_t>(parent_of(s).value_or(0)); });
    py::array retention =
        block.column<double>(scans, [](const Scan& s) { return s.retention_time; });
    py::array precursor = block.column<double>(
        scans, [](const Scan& s) { return precursor_of(s).value_or(NOTHING); });
    py::array number =
        block.column<std::int64_t>(scans, [&](const Scan& s) { return number_of(s).value_or(0); });
    py::array current = block.column<double>(
        scans, [](const Scan& s) { return orvohost::known_tic(s).value_or(NOTHING); });
    py::array label = block.column<std::uint32_t>(scans, [](const Scan& s) { return s.label; });
    py::array level =
        block.column<std::int32_t>(scans, [](const Scan& s) { return s.scan_type.ms_level; });
    // One character a scan, "" under the mask where the file gives none.
    py::array polarity = block.column<char32_t>(py::dtype("<U1"), scans, [](const Scan& s) {
        const char* sign = polarity_of(s);
        return static_cast<char32_t>(sign ? sign[0] : 0);
    });
    py::array charge =
        block.column<std::int32_t>(scans, [](const Scan& s) { return charge_of(s).value_or(0); });
    py::array position =
        block.column<std::uint32_t>(scans, [](const Scan& s) { return s.file_position; });
    py::dict out;
    out["label"] = label;
    out["parent_label"] =
        masked(parent, scans, [](const Scan& s) { return parent_of(s).has_value(); });
    out["ms_level"] = level;
    out["polarity"] =
        masked(polarity, scans, [](const Scan& s) { return polarity_of(s) != nullptr; });
    out["rt_seconds"] = retention;
    out["precursor_mz"] = precursor;
    out["charge"] = masked(charge, scans, [](const Scan& s) { return charge_of(s).has_value(); });
    out["tic"] = current;
    out["position"] = position;
    out["scan_number"] =
        masked(number, scans, [&](const Scan& s) { return number_of(s).has_value(); });
    add_tag_columns(out, scans, run.scan_tags());
    return out;
}

py::dict scan_dict(const orvoeng::ScanRecord& scan, std::optional<std::int64_t> number,
                   const orvohost::ScanTagValues& tags, const py::tuple& arrays) {
    // The keys are interned once: an iteration makes a dict a scan. Never
    // freed, as the module's other static objects.
    enum Key {
        LABEL,
        PARENT,
        LEVEL,
        POLARITY,
        TIME,
        PRECURSOR,
        CHARGE,
        CURRENT,
        POSITION,
        NUMBER,
        PEAKS_COUNT,
        BASE_MZ,
        BASE_INTENSITY,
        PRECURSOR_INTENSITY,
        ENERGY,
        FILTER,
        MZ,
        INTENSITY,
        KEYS
    };
    static const std::array<PyObject*, KEYS> keys = [] {
        constexpr const char* names[KEYS] = {"label",
                                             "parent_label",
                                             "ms_level",
                                             "polarity",
                                             "rt_seconds",
                                             "precursor_mz",
                                             "charge",
                                             "tic",
                                             "position",
                                             "scan_number",
                                             "peaks_count",
                                             "base_peak_mz",
                                             "base_peak_intensity",
                                             "precursor_intensity",
                                             "collision_energy",
                                             "filter_line",
                                             "mz",
                                             "intensity"};
        std::array<PyObject*, KEYS> made{};
        for (std::size_t i = 0; i < KEYS; ++i)
            if ((made[i] = PyUnicode_InternFromString(names[i])) == nullptr)
                throw py::error_already_set();
        return made;
    }();
    const auto key = [](Key k) { return py::handle(keys[k]); };
    py::dict out;
    out[key(LABEL)] = scan.label;
    out[key(PARENT)] = or_none(parent_of(scan));
    out[key(LEVEL)] = scan.scan_type.ms_level;
    const char* sign = polarity_of(scan);
    out[key(POLARITY)] = sign ? py::object(py::str(sign)) : py::none();
    out[key(TIME)] = scan.retention_time;
    out[key(PRECURSOR)] = or_none(precursor_of(scan));
    out[key(CHARGE)] = or_none(charge_of(scan));
    out[key(CURRENT)] = or_none(orvohost::known_tic(scan));
    out[key(POSITION)] = scan.file_position;
    out[key(NUMBER)] = or_none(number);
    out[key(PEAKS_COUNT)] = or_none(tags.peaks_count);
    out[key(BASE_MZ)] = or_none(tags.base_peak_mz);
    out[key(BASE_INTENSITY)] = or_none(tags.base_peak_intensity);
    out[key(PRECURSOR_INTENSITY)] = or_none(tags.precursor_intensity);
    out[key(ENERGY)] = or_none(tags.collision_energy);
    out[key(FILTER)] = or_none(tags.filter_line);
    out[key(MZ)] = arrays[0];
    out[key(INTENSITY)] = arrays[1];
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

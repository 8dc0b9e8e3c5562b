// The orvo module: mzXML files read through the data-source plug-in, with
// scan tables as numpy columns and peaks as numpy arrays over the plug-in's
// own peak lists.
#include "arrays.h"
#include "errors.h"
#include "run.h"
#include "session.h"
#ifdef ORVO_HOST_MZML
#include "to_mzml.h"
#endif

#include <host/repair/repair.h>
#include <host/repair/repair_error.h>
#include <host/session/read_failure.h>
#include <host/session/record_values.h>
#include <host/session/utf8_text.h>

#include <pybind11/pybind11.h>
#include <pybind11/stl.h>
#include <pybind11/stl/filesystem.h>

#include <cstdint>
#include <exception>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

namespace py = pybind11;

namespace orvopy {

namespace {

// Any integer is a label to look up: one the run does not have, however
// large or negative, is a KeyError like any missing key.
const orvoeng::ScanRecord& scan_of(const Run& run, long long label) {
    const orvoeng::ScanRecord* scan = label < 0 || label > orvoeng::MAX_LABEL
                                          ? nullptr
                                          : run.find(static_cast<std::uint32_t>(label));
    if (scan == nullptr)
        throw py::key_error("no scan has the label " + std::to_string(label));
    return *scan;
}

// Whether another thread could take the interpreter lock: another thread
// state of this interpreter, or another interpreter. Handing the lock over
// and back costs about as much as reading a small spectrum, and a script
// reading one file on one thread would pay it for every spectrum to no
// one's gain. A thread made meanwhile waits for one fetch at most: the lock
// is released again at the next call.
bool lock_is_shared() {
    PyThreadState* self = PyThreadState_Get();
    PyInterpreterState* interpreter = PyThreadState_GetInterpreter(self);
    return PyInterpreterState_ThreadHead(interpreter) != self ||
           PyThreadState_Next(self) != nullptr ||
           PyInterpreterState_Next(PyInterpreterState_Head()) != nullptr;
}

// Releases the interpreter lock for its lifetime when it is shared.
class UnlockedIfShared {
public:
    explicit UnlockedIfShared(bool shared = lock_is_shared()) {
        if (shared)
            saved = PyEval_SaveThread();
    }
    UnlockedIfShared(const UnlockedIfShared&) = delete;
    UnlockedIfShared& operator=(const UnlockedIfShared&) = delete;
    ~UnlockedIfShared() {
        if (saved != nullptr)
            PyEval_RestoreThread(saved);
    }

private:
    PyThreadState* saved = nullptr;
};

py::tuple peaks_of(Run& run, long long label) {
    // Copied while the interpreter lock is held: another thread may close
    // the run once it is released.
    const std::uint32_t known = scan_of(run, label).label;
    // Made by the fetch itself: an empty SmartPtr would allocate a record
    // only to drop it.
    const PAL::SmartPtr<orvoeng::Spectrum> spectrum = [&] {
        const UnlockedIfShared unlocked;
        return run.spectrum(known);
    }();
    return peak_arrays(spectrum);
}

// What an iteration does with a spectrum that cannot be read: raise its
// error, leave the scan out, or give it with empty arrays. The labels of
// the last two are kept on the run.
enum class OnError { RAISE, SKIP, EMPTY };

OnError on_error(const std::string& text) {
    if (text == "raise")
        return OnError::RAISE;
    if (text == "skip")
        return OnError::SKIP;
    if (text == "empty")
        return OnError::EMPTY;
    throw py::value_error("errors must be 'raise', 'skip' or 'empty', not '" + text + "'");
}

// Yields the scans of one run in label order, optionally of one MS level,
// each a dict of its header values with its arrays. When the interpreter
// lock is shared, spectra are fetched BATCH at a time with the lock released
// once: handing it over costs more than fetching a small spectrum, so
// threads reading files side by side would otherwise spend their time
// waiting for it. A thread alone fetches one at a time, which keeps one
// peak list alive rather than a batch of them.
class ScanIterator {
public:
    ScanIterator(py::object owner, Run& listed, std::optional<int> level,
                 OnError errors = OnError::RAISE)
        : keep(std::move(owner)), run(listed), ms_level(level), on_failure(errors),
          numbers(listed.scan_numbers()), tags(listed.scan_tags()) {}

    // The next scan's dict; an empty object after the last.
    py::object next() {
        for (;;) {
            if (taken == batch.size())
                fetch_batch();
            if (taken == batch.size())
                return {};
            Fetched item = std::move(batch[taken++]);
            if (item.failure) {
                if (on_failure == OnError::RAISE)
                    std::rethrow_exception(item.failure);
                run.skipped_labels.insert(item.scan.label);
                if (on_failure == OnError::SKIP)
                    continue;
            }
            return scan_dict(item.scan, numbers.of(item.scan.file_position),
                             tags.of(item.scan.file_position), peak_arrays(item.spectrum));
        }
    }

private:
    static constexpr std::size_t BATCH = 64;

    struct Fetched {
        orvoeng::ScanRecord scan;
        std::size_t position; // in the scan list
        PAL::SmartPtr<orvoeng::Spectrum> spectrum;
        std::exception_ptr failure;
    };

    void fetch_batch() {
        batch.clear();
        taken = 0;
        // The list is asked anew each time: a run closed meanwhile raises.
        const auto& scans = run.scans();
        const bool shared = lock_is_shared();
        const std::size_t most = shared ? BATCH : 1;
        for (; index < scans.size() && batch.size() < most; ++index)
            if (!ms_level || scans[index].scan_type.ms_level == *ms_level)
                batch.push_back(Fetched{scans[index], index, {}, {}});
        const UnlockedIfShared unlocked(shared);
        for (std::size_t i = 0; i < batch.size(); ++i) {
            try {
                batch[i].spectrum = run.spectrum(batch[i].scan.label);
            } catch (...) {
                // Raised in its place; the scans after it are fetched anew.
                batch[i].failure = std::current_exception();
                index = batch[i].position + 1;
                batch.resize(i + 1);
            }
        }
    }

    py::object keep; // the Run, alive while its iterator is
    Run& run;
    std::optional<int> ms_level;
    OnError on_failure;
    orvohost::ScanNumbers numbers;
    orvohost::ScanTags tags;
    std::size_t index = 0; // the next scan of the list to look at
    std::vector<Fetched> batch;
    std::size_t taken = 0;
};

// The exception being handled as the Python error pybind11 would raise for
// it: for the methods below, which CPython calls without pybind11.
void set_python_error() {
    try {
        throw;
    } catch (py::error_already_set& e) {
        e.restore();
    } catch (const py::builtin_exception& e) {
        e.set_error();
    } catch (...) {
        if (!py::detail::apply_exception_translators(
                py::detail::get_internals().registered_exception_translators))
            PyErr_SetString(PyExc_SystemError, "orvo: an unknown failure");
    }
}

// The C++ object of an instance of a bound class. CPython has checked that
// `self` is an instance of it; pybind11's own cast would look the class's
// record up by name on every call.
template <class T>
T* bound_object(PyObject* self) {
    static const py::detail::type_info* const record = py::detail::get_type_info(typeid(T));
    auto* instance = reinterpret_cast<py::detail::instance*>(self);
    return instance->get_value_and_holder(record).value_ptr<T>();
}

// The Run a method was called on.
Run& run_of(PyObject* self) {
    Run* run = bound_object<Run>(self);
    if (run == nullptr)
        throw py::type_error("this orvo.Run was never opened");
    return *run;
}

// ScanIterator's next as the type's own slot: a loop over a run calls it
// once a scan, and pybind11's general dispatch of __next__ costs about as
// much as building the scan's dict. The end is no exception here.
PyObject* scan_iternext(PyObject* self) {
    try {
        ScanIterator* scans = bound_object<ScanIterator>(self);
        if (scans == nullptr)
            throw py::type_error("this orvo.ScanIterator was never made");
        return scans->next().release().ptr();
    } catch (...) {
        set_python_error();
    }
    return nullptr;
}

// Run.spectrum as a plain CPython method: it is called once per spectrum,
// and pybind11's general dispatch costs a fifth of what reading the
// spectrum does.
PyObject* spectrum_method(PyObject* self, PyObject* const* args, Py_ssize_t count,
                          PyObject* names) {
    const Py_ssize_t named = names == nullptr ? 0 : PyTuple_GET_SIZE(names);
    const bool by_name = named == 1 && count == 0 &&
                         PyUnicode_CompareWithASCIIString(PyTuple_GET_ITEM(names, 0), "label") == 0;
    if (!(count == 1 && named == 0) && !by_name) {
        PyErr_SetString(PyExc_TypeError, "spectrum() takes one argument, the label");
        return nullptr;
    }
    // Any integer, numpy's too: a label taken from run.scans is a numpy.uint32.
    PyObject* label = args[0];
    if (!PyIndex_Check(label)) {
        PyErr_Format(PyExc_TypeError, "spectrum(): the label must be an int, not %s",
                     Py_TYPE(label)->tp_name);
        return nullptr;
    }
    const auto integer = py::reinterpret_steal<py::object>(PyNumber_Index(label));
    if (!integer)
        return nullptr;
    int overflow = 0;
    long long value = PyLong_AsLongLongAndOverflow(integer.ptr(), &overflow);
    if (overflow != 0)
        value = -1; // no scan has it
    try {
        return peaks_of(run_of(self), value).release().ptr();
    } catch (...) {
        set_python_error();
    }
    return nullptr;
}

void add_spectrum_method(py::class_<Run>& run_class) {
    static PyMethodDef definition = {
        "spectrum", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&spectrum_method)),
        METH_FASTCALL | METH_KEYWORDS,
        "spectrum(label) -> (mz, intensity)\n\n"
        "The scan's peaks as two float64 numpy arrays over the plug-in's peak list,\n"
        "without a copy; they keep the peaks alive. KeyError for a label the run\n"
        "does not have."};
    PyObject* method =
        PyDescr_NewMethod(reinterpret_cast<PyTypeObject*>(run_class.ptr()), &definition);
    if (method == nullptr)
        throw py::error_already_set();
    run_class.attr("spectrum") = py::reinterpret_steal<py::object>(method);
}

py::dict info_dict(Run& run) {
    const Run::Info* facts = nullptr;
    {
        const py::gil_scoped_release unlocked;
        facts = &run.info();
    }
    py::dict info;
    const orvohost::RunFacts& run_facts = facts->run;
    info["file_name"] = run_facts.file_name;
    info["operator"] = run_facts.operator_name;
    info["instrument"] = run_facts.instrument;
    info["mass_analyzer"] = run_facts.mass_analyzer;
    // One detail as a text, several as a list, as orvo-host info gives them.
    if (run_facts.details.size() == 1)
        info["detail"] = run_facts.details.front();
    else if (run_facts.details.empty())
        info["detail"] = py::none();
    else
        info["detail"] = run_facts.details;
    info["completion_time"] =
        facts->peeked.completion_time ? utc_datetime(*facts->peeked.completion_time) : py::none();
    info["centroided"] = facts->centroided;
    info["centroiding_stated"] = facts->centroiding_stated;
    info["scan_count"] = facts->scan_count;
    info["scan_mix"] = orvohost::scan_mix_text(facts->scan_mix);
    return info;
}

py::list event_list(const Run& run) {
    orvohost::HostCatalog& catalog = Session::get().catalog();
    py::list out;
    for (const LoggedEvent& event : run.events())
        out.append(py::make_tuple(event.level, event.message.id,
                                  orvohost::message_sentence(catalog, event.message)));
    return out;
}

std::unique_ptr<Run> open_run(const std::filesystem::path& path, std::optional<bool> centroided,
                              std::uint32_t first_label, bool strict,
                              std::optional<std::filesystem::path> temp_dir) {
    orvohost::ReadOptions options;
    options.centroided = centroided;
    options.first_label = first_label;
    std::string mended;
    if (!strict) {
        orvohost::CopyPolicy policy;
        policy.folder = temp_dir.value_or(std::filesystem::path());
        policy.threads = std::max(1U, std::thread::hardware_concurrency());
        options.repaired_copy = policy;
        // Called without the interpreter lock: the warning waits for it.
        options.on_repaired = [&mended](const std::filesystem::path&, const std::string& what) {
            mended = what;
        };
    }
    std::unique_ptr<Run> run;
    {
        const py::gil_scoped_release unlocked;
        run = std::make_unique<Run>(path, options);
    }
    if (!mended.empty()) {
        const std::string note = path.string() + ": read through a repaired copy: " + mended +
                                 " (pass strict=True to orvo.open to refuse instead)";
        if (PyErr_WarnEx(PyExc_UserWarning, note.c_str(), 2) != 0)
            throw py::error_already_set();
    }
    if (run->profile_assumed()) {
        const std::string note =
            path.filename().string() +
            ": the file does not state whether its spectra are centroided; they are read as "
            "profile spectra (pass centroided=True or False to orvo.open to choose)";
        if (PyErr_WarnEx(PyExc_UserWarning, note.c_str(), 2) != 0)
            throw py::error_already_set();
    }
    return run;
}

// Writes a copy of `source` that the plug-in opens, into `target` (renamed
// into place only when whole), and returns what was mended.
std::string repair_to(const std::filesystem::path& source, const std::filesystem::path& target) {
    const py::gil_scoped_release unlocked;
    namespace repair = orvohost::repair;
    try {
        repair::CopyWriter out(target);
        const repair::RepairReport report =
            repair::repair_file(source, out, {}, std::max(1U, std::thread::hardware_concurrency()));
        out.commit();
        return repair::describe(report);
    } catch (const repair::RepairRefused& refusal) {
        throw orvohost::HostError(source.string() + ": cannot be repaired: it " + refusal.what());
    } catch (const repair::RepairIoError& failure) {
        throw orvohost::HostError(failure.what());
    }
}

} // namespace

} // namespace orvopy

PYBIND11_MODULE(_orvo, m) {
    using namespace orvopy;
    m.doc() = R"(Read mzXML 2.0 and 2.1 peak-list files at the speed of the orvo plug-in.

    with orvo.open("run.mzXML") as run:
        table = pandas.DataFrame(run.scans)   # one row per scan
        mz, intensity = run.spectrum(1)       # float64 numpy arrays
        for scan in run.spectra(ms_level=2):  # header values with mz, intensity
            ...

Every failure the plug-in reports raises orvo.Error, whose text names the
cause; a path that does not exist also is a FileNotFoundError, a folder an
IsADirectoryError. A file that does not state whether its spectra are
centroided is read as profile spectra, with a UserWarning, unless
centroided= says otherwise. The file is read with
the interpreter lock released whenever another thread could take it, so
threads reading files run in parallel.)";

    register_errors(m);
    m.attr("__version__") = ORVO_VERSION;

    py::class_<ScanIterator> iterator_class(m, "ScanIterator",
                                            "Iterates over the scans of a Run in label order.");
    iterator_class.def("__iter__", [](py::object self) { return self; })
        .def("__next__", [](ScanIterator& scans) {
            py::object scan = scans.next();
            if (!scan)
                throw py::stop_iteration();
            return scan;
        });
    auto* iterator_type = reinterpret_cast<PyTypeObject*>(iterator_class.ptr());
    iterator_type->tp_iternext = &scan_iternext;
    PyType_Modified(iterator_type);

    py::class_<Run> run_class(m, "Run", R"(An open mzXML file; make one with orvo.open().

Usable in a with statement; close() frees the plug-in's data source and any
later call raises ValueError. Arrays already handed out stay valid.)");
    run_class.def("__enter__", [](py::object self) { return self; })
        .def(
            "__exit__", [](Run& run, const py::args&) { run.close(); }, "Closes the run.")
        .def("close", &Run::close, "Frees the data source; arrays handed out stay valid.")
        .def_property_readonly("closed", &Run::closed, "True once close() has been called.")
        .def_property_readonly(
            "path", [](const Run& run) { return run.path(); }, "The file's path.")
        .def_property_readonly("info", &info_dict, R"(The run's facts as a dict.

file_name (the file the run was converted from, its first parentFile),
operator, instrument, mass_analyzer, detail (a list when the file gives
several), completion_time (a datetime in UTC), centroided (None where each
scan states its own), centroiding_stated (False when the file does not say
and it was read as profile), scan_count and scan_mix: the names orvo-host
info gives. What the file does not give is None.)")
        .def_property_readonly("scans", &scan_columns, R"(The scan list as a dict of numpy columns.

The columns of orvo-host scans: label, parent_label, ms_level, polarity ("+"
or "-"), rt_seconds, precursor_mz, charge, tic (total ion current), position
(1-based, in the file), scan_number, and what the scan's tags state:
peaks_count (as the file declares it, before the reader's m/z floor),
base_peak_mz, base_peak_intensity, precursor_intensity, collision_energy and
filter_line. What the file does not give is masked (parent_label, polarity,
charge, scan_number, peaks_count: numpy masked arrays), NaN (precursor_mz,
tic, and the other numbers; the plug-in hands 0 for a scan without
totIonCurrent, which is taken as not given) or None (filter_line); so
pandas.DataFrame(run.scans) is the scan table, with NaN where a value is
missing.)")
        .def(
            "spectrum_info",
            [](Run& run, long long label) {
                const std::uint32_t known = scan_of(run, label).label;
                orvoeng::RawSpecInfo info;
                {
                    const py::gil_scoped_release unlocked;
                    info = run.spectrum_info(known);
                }
                py::dict out;
                out["kind"] = info.centroided ? "centroided" : "profile";
                out["peak_count"] = info.peak_count;
                return out;
            },
            py::arg("label"), "{'kind': 'centroided' or 'profile', 'peak_count': n} of a scan.")
        .def(
            "__iter__",
            [](py::object self) {
                return std::make_unique<ScanIterator>(self, self.cast<Run&>(), std::nullopt);
            },
            "Each scan's header values with its mz and intensity arrays, in label order.\n\n"
            "While other threads could take the interpreter lock, spectra are fetched\n"
            "64 at a time with the lock released, so threads iterating over different\n"
            "files run side by side; the run's events may then run up to 64 spectra\n"
            "ahead of the loop.")
        .def(
            "spectra",
            [](py::object self, std::optional<int> ms_level, const std::string& errors) {
                return std::make_unique<ScanIterator>(self, self.cast<Run&>(), ms_level,
                                                      on_error(errors));
            },
            py::arg("ms_level") = py::none(), py::kw_only(), py::arg("errors") = "raise",
            R"(Like iterating over the run, optionally for the scans of one MS level only.

errors: what a spectrum that cannot be read does. "raise" (the default)
raises its orvo.Error and ends the loop; "skip" leaves the scan out; "empty"
gives the scan with empty mz and intensity arrays. The labels of the scans
skipped or emptied are added to run.skipped_labels.)")
        .def_property_readonly(
            "skipped_labels",
            [](const Run& run) {
                return std::vector<std::uint32_t>(run.skipped_labels.begin(),
                                                  run.skipped_labels.end());
            },
            "The labels whose spectra spectra(errors=\"skip\" or \"empty\") could not read, "
            "ascending, each once.")
        .def("__len__", [](const Run& run) { return run.scans().size(); })
        .def_property_readonly("events", &event_list, R"(The plug-in's events so far.

A list of (level, message_id, text) tuples, the text from the host's catalog.
The first 100000 events of a run are kept; events_dropped counts the rest.
Once the log is full, spectra are read without listening to their events,
which the plug-in then does not make: reading is faster, and those events
are neither kept nor counted.)")
        .def_property_readonly("events_dropped", &Run::events_dropped,
                               "Events posted after the log was full, while the run listened.")
        .def("__repr__", [](const Run& run) {
            return "<orvo.Run " + run.path().string() + (run.closed() ? " (closed)>" : ">");
        });
    add_spectrum_method(run_class);

    m.def("open", &open_run, py::arg("path"), py::kw_only(), py::arg("centroided") = py::none(),
          py::arg("first_label") = 1, py::arg("strict") = false, py::arg("temp_dir") = py::none(),
          R"(Opens and lists an mzXML file; returns a Run.

centroided: for files that do not say whether their spectra are centroided
(default: read them as profile spectra, with a UserWarning).
first_label: the label of the first scan (labels count up from it).
strict: refuse a file the plug-in refuses, as an engine would. By default a
file refused for a cause orvo.repair mends (mzXML 3.x, scans not numbered
1, 2, 3, a wrong scanCount...) is read through a repaired temporary copy,
with a UserWarning saying what was mended; the copy is removed when the Run
is closed or collected, and at exit.
temp_dir: the folder of that copy (default: the system's temporary folder).
Raises orvo.Error naming the cause when the file cannot be read:
FileNotFoundError, IsADirectoryError or PermissionError (each also an
orvo.Error) when the path is no readable file.)");
    m.def("repair", &repair_to, py::arg("source"), py::arg("target"),
          R"(Writes a copy of source that the reader opens and lists completely:
scans numbered by position, the declared scan count made true, a fresh
index, peaks attributes completed, mzXML 3.x brought to 2.1; every other
byte as it was. Returns what was mended, in words. The copy takes the
target's name only once it is whole; source is never changed. Raises
orvo.Error when the file cannot be repaired or the copy not written.)");
#ifdef ORVO_HOST_MZML
    add_to_mzml(m);
#endif
}

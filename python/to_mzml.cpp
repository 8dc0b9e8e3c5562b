#include "to_mzml.h"

#include "session.h"

#include <host/mzml/conversion.h>
#include <host/select/range_text.h>

#include <pybind11/stl.h>
#include <pybind11/stl/filesystem.h>

#include <algorithm>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace py = pybind11;

namespace orvopy {

namespace {

namespace mzml = orvohost::mzml;

// "linear", "slof", "linear,pic" or a list of such names, as --numpress
// takes them.
std::vector<std::string> numpress_names(const py::object& numpress) {
    std::vector<std::string> names;
    if (numpress.is_none())
        return names;
    std::vector<std::string> given;
    if (py::isinstance<py::str>(numpress))
        given.push_back(numpress.cast<std::string>());
    else
        given = numpress.cast<std::vector<std::string>>();
    for (const std::string& text : given) {
        std::size_t start = 0;
        while (start <= text.size()) {
            const std::size_t comma = std::min(text.find(',', start), text.size());
            names.push_back(text.substr(start, comma - start));
            start = comma + 1;
        }
    }
    return names;
}

mzml::ArrayOptions array_options(bool zlib, const py::object& numpress,
                                 std::optional<int> mz_precision) {
    mzml::ArrayOptions arrays;
    arrays.zlib = zlib;
    if (mz_precision && *mz_precision != 64)
        throw py::value_error("mz_precision must be 64 (m/z as 64-bit floats) or None (as the "
                              "file), not " +
                              std::to_string(*mz_precision));
    arrays.mz_wide = mz_precision.has_value();
    for (const std::string& name : numpress_names(numpress)) {
        if (name == "linear") {
            arrays.mz_numpress = mzml::Numpress::LINEAR;
            continue;
        }
        if (name != "pic" && name != "slof")
            throw py::value_error("numpress takes linear, pic and slof, not '" + name + "'");
        const auto wanted = name == "pic" ? mzml::Numpress::PIC : mzml::Numpress::SLOF;
        if (arrays.intensity_numpress != mzml::Numpress::NONE &&
            arrays.intensity_numpress != wanted)
            throw py::value_error("numpress: pic and slof both pack intensities; give one of them");
        arrays.intensity_numpress = wanted;
    }
    return arrays;
}

// An int or ints, as spectra(ms_level=) takes one.
orvohost::WholeRanges ms_levels(const py::object& ms_level) {
    orvohost::WholeRanges ranges;
    if (ms_level.is_none())
        return ranges;
    std::vector<long long> levels;
    if (py::isinstance<py::int_>(ms_level))
        levels.push_back(ms_level.cast<long long>());
    else
        levels = ms_level.cast<std::vector<long long>>();
    if (levels.empty())
        throw py::value_error("ms_level: give a level or some levels, not none");
    for (const long long level : levels) {
        if (level < 1 || level > 16)
            throw py::value_error("ms_level: " + std::to_string(level) +
                                  " is outside the range 1 to 16");
        const auto value = static_cast<std::uint32_t>(level);
        ranges.emplace_back(value, value);
    }
    return ranges;
}

py::dict to_mzml(const std::filesystem::path& source, const std::filesystem::path& target,
                 bool zlib, const py::object& numpress, std::optional<int> mz_precision,
                 bool verify, const py::object& ms_level, std::optional<bool> centroided,
                 bool strict, std::optional<std::filesystem::path> temp_dir,
                 std::optional<unsigned> threads) {
    if (target.empty() || target == "-")
        throw py::value_error("to_mzml writes a file: give its path");
    mzml::ConversionOptions options;
    options.arrays = array_options(zlib, numpress, mz_precision);
    options.filter.ms_levels = ms_levels(ms_level);
    options.verify = verify;
    options.hash_output = true;
    const unsigned cores = std::max(1U, std::thread::hardware_concurrency());
    if (threads && *threads == 0)
        throw py::value_error("threads must be 1 or more");
    // One thread fetches; the others format.
    options.format_threads = threads.value_or(cores) - 1;
    options.reading.centroided = centroided;
    std::string mended;
    if (!strict) {
        orvohost::CopyPolicy policy;
        policy.folder = temp_dir.value_or(std::filesystem::path());
        policy.threads = cores;
        options.reading.repaired_copy = policy;
        options.reading.on_repaired = [&mended](const std::filesystem::path&,
                                                const std::string& what) { mended = what; };
    }
    mzml::ConversionResult result;
    bool profile_assumed = false;
    {
        const py::gil_scoped_release unlocked;
        // The plug-in's events are not kept: a failure carries its own.
        orvohost::DataFile data(Session::get().plugin(), source, [](const PAL::Event&) {});
        result = mzml::convert_to_mzml(
            data, target, options,
            [&options](orvohost::DataFile& file, const PAL::SmartPtr<PAL::Progress>& parent)
                -> const std::vector<orvoeng::ScanRecord>& {
                return file.open(options.reading, parent);
            });
        profile_assumed = data.profile_assumed();
    }
    if (!mended.empty()) {
        const std::string note = source.string() + ": read through a repaired copy: " + mended +
                                 " (pass strict=True to refuse instead)";
        if (PyErr_WarnEx(PyExc_UserWarning, note.c_str(), 2) != 0)
            throw py::error_already_set();
    }
    if (profile_assumed) {
        const std::string note =
            source.filename().string() +
            ": the file does not state whether its spectra are centroided; they are written as "
            "profile spectra (pass centroided=True or False to choose)";
        if (PyErr_WarnEx(PyExc_UserWarning, note.c_str(), 2) != 0)
            throw py::error_already_set();
    }
    py::dict out;
    out["path"] = target;
    out["scans"] = result.scans_listed;
    out["spectra"] = result.spectra;
    out["bytes"] = result.bytes;
    out["sha1"] = result.sha1.value_or("");
    out["checksum"] = result.checksum;
    out["source_sha1"] = result.source_sha1;
    out["verified"] = result.verified;
    return out;
}

} // namespace

void add_to_mzml(py::module_& module) {
    module.def("to_mzml", &to_mzml, py::arg("source"), py::arg("target"), py::kw_only(),
               py::arg("zlib") = false, py::arg("numpress") = py::none(),
               py::arg("mz_precision") = py::none(), py::arg("verify") = false,
               py::arg("ms_level") = py::none(), py::arg("centroided") = py::none(),
               py::arg("strict") = false, py::arg("temp_dir") = py::none(),
               py::arg("threads") = py::none(),
               R"(Writes an mzXML file as indexed mzML 1.1, as orvo-host mzml does; returns a dict.

The same bytes as `orvo-host mzml SOURCE -o TARGET` with the same options:
every spectrum with its MS level, polarity, centroiding, total ion current,
base peak, m/z range, scan start time and filter string, each precursor
with its spectrum's id, the selected ion's m/z, charge and intensity and the
activation (collision energy, dissociation method), the arrays in the
file's precision, a total ion current chromatogram, the offset index and
the file's checksum. The file is written beside target and takes its name
only once whole (and, with verify, found equal to the source).

zlib: compress the arrays with zlib.
numpress: MS-Numpress, lossy: "linear" for m/z and times, "pic" or "slof"
    for intensities; a list or a comma-separated text of them.
mz_precision: 64 writes m/z as 64-bit floats where the file's are 32-bit
    (default None: as the file).
verify: read the written file back and hold every spectrum, index offset
    and the checksum against the source.
ms_level: an int or ints: write only the spectra of these MS levels.
centroided, strict, temp_dir: as orvo.open takes them.
threads: threads to use (default: every core); the output is the same.

Returns {"path", "scans" (listed), "spectra" (written), "bytes", "sha1" (of
the whole written file), "checksum" (the fileChecksum it states: the SHA-1
of its bytes up to that element), "source_sha1", "verified"}. Raises
orvo.Error naming the cause when the file cannot be read or written, or
when verification finds a difference; target is then left as it was.)");
}

} // namespace orvopy

#include "verify.h"

#include "array_encoding.h"
#include "cv_terms.h"
#include "mzml_document.h"
#include "mzml_error.h"
#include "native_id.h"
#include "precursor_facts.h"
#include "read_back.h"
#include "spectrum_facts.h"

#include <host/output/number_text.h>
#include <host/session/record_values.h>

#include <fmt/format.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

namespace orvohost::mzml {

namespace {

// A difference found, as a sentence; the caller adds where.
struct Mismatch {
    std::string what;
};

[[noreturn]] void differs(std::string what) {
    throw Mismatch{std::move(what)};
}

std::string_view acc(Cv term) {
    return cv(term).accession;
}

// Whether a written number stands for `expected`: the same double, or for
// a value that is exactly a float, the same float (it is written with the
// float's digits).
bool same_number(const std::string& text, double expected) {
    char* end = nullptr;
    const double read = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0')
        return false;
    if (read == expected || (std::isnan(read) && std::isnan(expected)))
        return true;
    return is_single(expected) && static_cast<float>(read) == static_cast<float>(expected);
}

void expect_number(const ReadElement& e, Cv term, double expected, ParamPlace place,
                   std::optional<Cv> unit = std::nullopt) {
    const ReadParam* p = e.param(acc(term), place);
    if (!p)
        differs(fmt::format("has no {} ({})", cv(term).name, cv(term).accession));
    if (!same_number(p->value, expected)) {
        std::string want;
        append_number(want, expected);
        differs(
            fmt::format("states {} {} where the source gives {}", cv(term).name, p->value, want));
    }
    if (unit && p->unit != acc(*unit))
        differs(fmt::format("gives {} in '{}', not in {}", cv(term).name, p->unit, cv(*unit).name));
}

void expect_text(const ReadElement& e, Cv term, const std::string& expected, ParamPlace place) {
    const ReadParam* p = e.param(acc(term), place);
    if (!p)
        differs(fmt::format("has no {} ({})", cv(term).name, cv(term).accession));
    if (p->value != expected)
        differs(fmt::format("states the {} '{}' where the source gives '{}'", cv(term).name,
                            p->value, expected));
}

void expect_term(const ReadElement& e, Cv term, bool present,
                 ParamPlace place = ParamPlace::ELEMENT) {
    const bool found = e.param(acc(term), place) != nullptr;
    if (found != present)
        differs(fmt::format("{} {} ({}), which the source {}", found ? "states" : "lacks",
                            cv(term).name, cv(term).accession, found ? "does not say" : "gives"));
}

// The array of kind `term`, exactly one.
const ReadArray& array_of(const ReadElement& e, Cv term) {
    const ReadArray* found = nullptr;
    for (const ReadArray& a : e.arrays)
        for (const ReadParam& p : a.params)
            if (p.accession == acc(term)) {
                if (found)
                    differs(fmt::format("has two arrays of {}", cv(term).name));
                found = &a;
            }
    if (!found)
        differs(fmt::format("has no {}", cv(term).name));
    return *found;
}

// The values an array must hold for `source`, in the format it states:
// the same doubles, the same floats (only for values that are floats), or
// what numpress keeps of them.
void expect_values(const ReadArray& array, const std::vector<double>& source, Cv term) {
    if (array.values.size() != source.size())
        differs(fmt::format("has {} values in its {} where the source has {}", array.values.size(),
                            cv(term).name, source.size()));
    const std::vector<double> expected = array.format.numpress == Numpress::NONE
                                             ? source
                                             : numpress_round_trip(source, array.format.numpress);
    for (std::size_t i = 0; i < source.size(); ++i) {
        const double want = expected[i];
        const double got = array.values[i];
        if (got == want || (std::isnan(got) && std::isnan(want)))
            continue;
        std::string text;
        append_number(text, want);
        std::string read;
        append_number(read, got);
        differs(fmt::format("holds {} at position {} of its {} where the source gives {}{}", read,
                            i, cv(term).name, text,
                            !array.format.wide && !is_single(want)
                                ? " (a 32-bit array for values that are not 32-bit floats)"
                                : ""));
    }
}

std::vector<double> member_values(const std::vector<orvoeng::Peak>& peaks,
                                  double orvoeng::Peak::*member) {
    std::vector<double> values;
    values.reserve(peaks.size());
    for (const auto& peak : peaks)
        values.push_back(peak.*member);
    return values;
}

// The selected ion and the activation, as the source's record and tags give them.
void check_precursor(const ReadElement& e, const PrecursorFacts& facts) {
    expect_term(e, Cv::SELECTED_ION_MZ, facts.mz.has_value(), ParamPlace::SELECTED_ION);
    if (facts.mz)
        expect_number(e, Cv::SELECTED_ION_MZ, *facts.mz, ParamPlace::SELECTED_ION, Cv::MZ_UNIT);
    expect_term(e, Cv::CHARGE_STATE, facts.charge.has_value(), ParamPlace::SELECTED_ION);
    if (facts.charge)
        expect_number(e, Cv::CHARGE_STATE, *facts.charge, ParamPlace::SELECTED_ION);
    expect_term(e, Cv::PEAK_INTENSITY, facts.intensity.has_value(), ParamPlace::SELECTED_ION);
    if (facts.intensity)
        expect_number(e, Cv::PEAK_INTENSITY, *facts.intensity, ParamPlace::SELECTED_ION,
                      Cv::DETECTOR_COUNTS);
    expect_term(e, Cv::COLLISION_ENERGY, facts.collision_energy.has_value(),
                ParamPlace::ACTIVATION);
    if (facts.collision_energy)
        expect_number(e, Cv::COLLISION_ENERGY, *facts.collision_energy, ParamPlace::ACTIVATION,
                      Cv::ELECTRONVOLT);
    for (const Cv method : {Cv::CID, Cv::BEAM_TYPE_CID, Cv::ETD, Cv::ECD})
        expect_term(e, method,
                    std::find(facts.dissociation.begin(), facts.dissociation.end(), method) !=
                        facts.dissociation.end(),
                    ParamPlace::ACTIVATION);
}

class Verifier {
public:
    Verifier(const std::filesystem::path& path, const VerifySource& from)
        : file(path), source(from) {
        spectrum_at.reserve(source.selection.size());
    }

    std::size_t run();

private:
    void spectrum(const ReadElement& e);
    void check_spectrum(const ReadElement& e, std::size_t index);
    void chromatogram(const ReadElement& e);
    void index_entry(const ReadIndexEntry& entry);

    [[noreturn]] void fail(const std::string& what) const { throw MzmlVerifyError(file, what); }

    std::filesystem::path file;
    const VerifySource& source;
    std::vector<std::uint64_t> spectrum_at; // offset of each spectrum read
    std::vector<double> times;              // the chromatogram's points, as the source gives them
    std::vector<double> currents;
    std::optional<std::uint64_t> chromatogram_at;
    std::size_t spectrum_entries = 0;
    std::size_t chromatogram_entries = 0;
};

void Verifier::spectrum(const ReadElement& e) {
    const std::size_t index = spectrum_at.size();
    if (index >= source.selection.size())
        fail(fmt::format("holds more spectra than the {} written", source.selection.size()));
    try {
        check_spectrum(e, index);
    } catch (const Mismatch& m) {
        fail(fmt::format("spectrum {} ({}) {}", index, e.id, m.what));
    }
    spectrum_at.push_back(e.offset);
}

void Verifier::check_spectrum(const ReadElement& e, std::size_t index) {
    const orvoeng::ScanRecord& scan = source.selection.scan(index);
    const std::string id = native_id(source.selection.native_number(scan));
    if (e.id != id)
        differs(fmt::format("has the id '{}' where '{}' is due", e.id, id));
    if (e.index != std::to_string(index))
        differs(fmt::format("carries index=\"{}\"", e.index));
    const PAL::SmartPtr<orvoeng::Spectrum> fetched = source.fetch(index);
    const auto& peaks = *fetched->peaks;
    if (e.length != peaks.size())
        differs(fmt::format("states {} peaks where the source has {}", e.length, peaks.size()));
    const SpectrumFacts facts = spectrum_facts(scan, peaks, source.peaks_filtered);
    const int level = scan.scan_type.ms_level;

    expect_number(e, Cv::MS_LEVEL, level, ParamPlace::ELEMENT);
    expect_term(e, Cv::MS1_SPECTRUM, level == 1);
    expect_term(e, Cv::MSN_SPECTRUM, level != 1);
    expect_term(e, Cv::POSITIVE_SCAN, scan.scan_type.polarity == 0);
    expect_term(e, Cv::NEGATIVE_SCAN, scan.scan_type.polarity == 1);
    expect_term(e, Cv::CENTROID_SPECTRUM, fetched->peak_kind == 0);
    expect_term(e, Cv::PROFILE_SPECTRUM, fetched->peak_kind != 0);
    expect_number(e, Cv::TOTAL_ION_CURRENT, facts.tic, ParamPlace::ELEMENT);
    expect_term(e, Cv::BASE_PEAK_MZ, facts.base_peak.has_value());
    if (facts.base_peak) {
        expect_number(e, Cv::BASE_PEAK_MZ, facts.base_peak->mz, ParamPlace::ELEMENT, Cv::MZ_UNIT);
        expect_number(e, Cv::BASE_PEAK_INTENSITY, facts.base_peak->intensity, ParamPlace::ELEMENT);
        expect_number(e, Cv::LOWEST_OBSERVED_MZ, facts.lowest_mz, ParamPlace::ELEMENT, Cv::MZ_UNIT);
        expect_number(e, Cv::HIGHEST_OBSERVED_MZ, facts.highest_mz, ParamPlace::ELEMENT,
                      Cv::MZ_UNIT);
    }
    expect_term(e, Cv::NO_COMBINATION, true, ParamPlace::SCAN_LIST);
    expect_number(e, Cv::SCAN_START_TIME, scan.retention_time, ParamPlace::SCAN, Cv::SECOND);
    const auto& filter = source.selection.tags(scan).filter_line;
    expect_term(e, Cv::FILTER_STRING, filter.has_value(), ParamPlace::SCAN);
    if (filter)
        expect_text(e, Cv::FILTER_STRING, *filter, ParamPlace::SCAN);

    if (e.has_precursor != (level >= 2))
        differs(level >= 2 ? "has no precursor" : "has a precursor, but is an MS1 spectrum");
    if (level >= 2) {
        const orvoeng::ScanRecord* parent = source.selection.parent(scan);
        const bool local = parent && source.selection.index_of(*parent);
        const std::string parent_id =
            parent ? native_id(source.selection.native_number(*parent)) : "";
        if (e.spectrum_ref != (local ? parent_id : ""))
            differs(fmt::format("refers to the precursor spectrum '{}' where '{}' is due",
                                e.spectrum_ref, local ? parent_id : ""));
        if (e.external_id != (parent && !local ? parent_id : ""))
            differs(fmt::format("names the external precursor '{}' where '{}' is due",
                                e.external_id, parent && !local ? parent_id : ""));
        check_precursor(e, precursor_facts(scan, source.selection.tags(scan)));
    }

    if (e.arrays.size() != 2)
        differs(fmt::format("has {} arrays, not an m/z and an intensity array", e.arrays.size()));
    expect_values(array_of(e, Cv::MZ_ARRAY), member_values(peaks, &orvoeng::Peak::mz),
                  Cv::MZ_ARRAY);
    expect_values(array_of(e, Cv::INTENSITY_ARRAY), member_values(peaks, &orvoeng::Peak::intensity),
                  Cv::INTENSITY_ARRAY);

    if (source.selection.in_chromatogram(index)) {
        times.push_back(scan.retention_time);
        currents.push_back(facts.tic);
    }
}

void Verifier::chromatogram(const ReadElement& e) {
    if (chromatogram_at)
        fail("holds more than the one chromatogram written");
    chromatogram_at = e.offset;
    try {
        if (e.id != TIC_CHROMATOGRAM_ID)
            differs(fmt::format("has the id '{}'", e.id));
        if (spectrum_at.size() != source.selection.size())
            differs(fmt::format("follows {} spectra where {} were written", spectrum_at.size(),
                                source.selection.size()));
        expect_term(e, Cv::TIC_CHROMATOGRAM, true);
        if (e.length != times.size())
            differs(
                fmt::format("states {} points where the spectra give {}", e.length, times.size()));
        if (e.arrays.size() != 2)
            differs(
                fmt::format("has {} arrays, not a time and an intensity array", e.arrays.size()));
        expect_values(array_of(e, Cv::TIME_ARRAY), times, Cv::TIME_ARRAY);
        expect_values(array_of(e, Cv::INTENSITY_ARRAY), currents, Cv::INTENSITY_ARRAY);
    } catch (const Mismatch& m) {
        fail(fmt::format("the chromatogram {} {}", e.id, m.what));
    }
}

void Verifier::index_entry(const ReadIndexEntry& entry) {
    std::uint64_t offset = 0;
    const auto [end, error] =
        std::from_chars(entry.offset.data(), entry.offset.data() + entry.offset.size(), offset);
    if (error != std::errc() || end != entry.offset.data() + entry.offset.size())
        fail(fmt::format("its index gives '{}' as the offset of {}", entry.offset, entry.id));
    std::optional<std::uint64_t> due;
    if (entry.index == "spectrum") {
        const std::size_t k = spectrum_entries++;
        if (k >= spectrum_at.size())
            fail(fmt::format("its spectrum index has more entries than the {} spectra",
                             spectrum_at.size()));
        const std::string id = native_id(source.selection.native_number(source.selection.scan(k)));
        if (entry.id != id)
            fail(fmt::format("entry {} of its spectrum index names '{}' where '{}' is due", k,
                             entry.id, id));
        due = spectrum_at[k];
    } else if (entry.index == "chromatogram") {
        ++chromatogram_entries;
        if (entry.id == TIC_CHROMATOGRAM_ID)
            due = chromatogram_at;
    } else {
        fail(fmt::format("has an index named '{}'", entry.index));
    }
    if (!due)
        fail(fmt::format("its {} index names '{}', which the file does not hold", entry.index,
                         entry.id));
    if (offset != *due)
        fail(fmt::format("its index gives {} as the offset of {}, whose start tag is at {}", offset,
                         entry.id, *due));
}

std::size_t Verifier::run() {
    ReadBackHandlers handlers;
    handlers.spectrum = [this](const ReadElement& e) { spectrum(e); };
    handlers.chromatogram = [this](const ReadElement& e) { chromatogram(e); };
    handlers.index_entry = [this](const ReadIndexEntry& entry) { index_entry(entry); };
    const ReadBackResult result = read_back(file, handlers);

    if (result.spectrum_list_count != source.selection.size())
        fail(fmt::format("its spectrum list states {} spectra where {} were written",
                         result.spectrum_list_count, source.selection.size()));
    if (spectrum_at.size() != source.selection.size())
        fail(fmt::format("holds {} spectra where {} were written", spectrum_at.size(),
                         source.selection.size()));
    if (!chromatogram_at)
        fail("holds no chromatogram");
    if (spectrum_entries != spectrum_at.size())
        fail(fmt::format("its spectrum index has {} entries for {} spectra", spectrum_entries,
                         spectrum_at.size()));
    if (chromatogram_entries != 1)
        fail(fmt::format("its chromatogram index has {} entries for one chromatogram",
                         chromatogram_entries));
    if (!result.index_list_at)
        fail("has no index list");
    if (result.index_list_offset != std::to_string(*result.index_list_at))
        fail(fmt::format("states its index list at {} where it starts at {}",
                         result.index_list_offset, *result.index_list_at));
    if (!result.digest)
        fail("has no checksum");
    if (result.checksum != *result.digest)
        fail(fmt::format("states the checksum {} where its bytes give {}", result.checksum,
                         *result.digest));
    return spectrum_at.size();
}

} // namespace

std::size_t verify_mzml(const std::filesystem::path& written, const VerifySource& source) {
    return Verifier(written, source).run();
}

} // namespace orvohost::mzml

// The instrument configuration of an mzML file, from the run information
// the plug-in gives: the model as the file names it and, when the file's
// ionisation, mass analyzer and detector each name a known kind, the
// component list with their vocabulary terms.
#pragma once

#include "cv_terms.h"

#include <ds/data_source_intf.h>

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace orvohost::mzml {

// The id of the one configuration, which the run names as its default.
constexpr const char* INSTRUMENT_CONFIGURATION_ID = "IC1";

struct InstrumentDescription {
    std::string model; // manufacturer and model, as the file gives them
    std::optional<Cv> source;
    std::optional<Cv> analyzer;
    std::optional<Cv> detector;

    // A component list has a source, an analyzer and a detector, or is left out.
    bool has_components() const { return source && analyzer && detector; }
};

// The term of an mzXML msIonisation, msMassAnalyzer or msDetector value:
// its name in the vocabulary or a usual abbreviation ("ESI", "TOF",
// "EMT"), in any case; none for a value not known here.
std::optional<Cv> ionisation_term(std::string_view text);
std::optional<Cv> analyzer_term(std::string_view text);
std::optional<Cv> detector_term(std::string_view text);

InstrumentDescription describe_instrument(const orvoeng::InstrumentInfo& info);

// <instrumentConfigurationList> with its one configuration, at `level`.
void append_instrument_configurations(std::string& out, std::size_t level,
                                      const InstrumentDescription& instrument);

} // namespace orvohost::mzml

// What a run's instrument information means to a person: the plug-in's
// entries with its placeholders (the path it was given, a lone blank for
// an instrument it was not told, empty texts) turned into absent values,
// and completed by what the file says of itself (run_head). Every output
// form, the Python module's too, names and fills the fields so.
#pragma once

#include "run_head.h"

#include <ds/data_source_intf.h>

#include <optional>
#include <string>
#include <vector>

namespace orvohost {

struct RunFacts {
    // The file the run was converted from (the first parentFile's
    // fileName); the file's own path is the person's already.
    std::optional<std::string> file_name;
    // The plug-in's operator, else the one of the schema's <operator>.
    std::optional<std::string> operator_name;
    // Manufacturer and model, either alone where the other is not given.
    std::optional<std::string> instrument;
    std::optional<std::string> mass_analyzer;
    // "Ionisation|ESI", "Detector|..." as the plug-in gives them.
    std::vector<std::string> details;
};

RunFacts run_facts(const orvoeng::InstrumentInfo& info, const RunHead& head);

// Whether the listed spectra are centroided, as one answer for the run:
// what the run states, or what it was read as when the file states nothing
// (profile, or the person's choice); unknown where each scan states its
// own, which only its spectra tell. `listed` is the data source's
// is_centroided().
std::optional<bool> listed_centroiding(bool listed, const RunHead& head, bool chosen,
                                       bool profile_assumed);

} // namespace orvohost

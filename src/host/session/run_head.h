// What a file says of its run before its first scan that the plug-in does
// not hand over, read by the host itself: the file the run was converted
// from, the operator of the schema's lower-case <operator> element (the
// plug-in's rule reads only <Operator>), and whether the data processing
// states the run's centroiding. It never reads past the first scan.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace orvohost {

struct RunHead {
    // The fileName of the first parentFile: the file the run was acquired
    // as, where converters name it; unset when absent or empty.
    std::optional<std::string> parent_file;
    // The msInstrument's operator: the first and the last name, joined by a
    // blank where both are given; unset where neither is.
    std::optional<std::string> operator_name;
    // The dataProcessing's centroided attribute, as the plug-in reads it
    // ("1", "true" or "TRUE" is true); unset when the element has none.
    std::optional<bool> centroided;
};

// From the text before the first scan.
RunHead run_head_of(std::string_view head);
// From the file's start; an unreadable file gives an empty RunHead, since
// the plug-in's own refusal is what the person needs to read.
RunHead read_run_head(const std::filesystem::path& path);

} // namespace orvohost

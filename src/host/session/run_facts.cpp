#include "run_facts.h"

#include "utf8_text.h"

namespace orvohost {

namespace {

// The text without its outer blanks; nothing when only blanks are left.
std::optional<std::string> given(const std::wstring& value) {
    std::string text = utf8(value);
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return std::nullopt;
    return text.substr(first, text.find_last_not_of(" \t") + 1 - first);
}

} // namespace

RunFacts run_facts(const orvoeng::InstrumentInfo& info, const RunHead& head) {
    RunFacts facts;
    facts.file_name = head.parent_file;
    for (const auto& [key, value] : info) {
        switch (key) {
        case orvoeng::Operator:
            facts.operator_name = given(value);
            break;
        case orvoeng::Instrument:
            facts.instrument = given(value);
            break;
        case orvoeng::MassAnalyzer:
            facts.mass_analyzer = given(value);
            break;
        case orvoeng::Detail:
            if (auto detail = given(value))
                facts.details.push_back(std::move(*detail));
            break;
        default:
            break;
        }
    }
    if (!facts.operator_name)
        facts.operator_name = head.operator_name;
    return facts;
}

std::optional<bool> listed_centroiding(bool listed, const RunHead& head, bool chosen,
                                       bool profile_assumed) {
    if (head.centroided || chosen || profile_assumed)
        return listed;
    return std::nullopt;
}

} // namespace orvohost

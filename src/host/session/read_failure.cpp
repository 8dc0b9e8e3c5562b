#include "read_failure.h"

#include "file_probe.h"
#include "utf8_text.h"

#include <ds/messages.h>

#include <fmt/format.h>

#include <algorithm>
#include <optional>

namespace orvohost {

namespace msg = orvoeng::msg;

ReadFailure::ReadFailure(const PAL::AppError& error, std::filesystem::path path,
                         std::vector<PAL::Message> posted)
    : PAL::AppError(error), file(std::move(path)), events(std::move(posted)) {}

ReadFailure::~ReadFailure() = default;

namespace {

std::optional<std::uint64_t> number_argument(const PAL::Message& message, std::size_t index) {
    if (index >= message.args.size() || message.args[index].empty())
        return std::nullopt;
    std::uint64_t value = 0;
    for (const wchar_t c : message.args[index]) {
        if (c < L'0' || c > L'9')
            return std::nullopt;
        value = value * 10 + static_cast<std::uint64_t>(c - L'0');
    }
    return value;
}

const PAL::Message* find_event(const ReadFailure& failure, const msg::MessageDef& def) {
    const auto found = std::find_if(failure.events.begin(), failure.events.end(),
                                    [&](const PAL::Message& m) { return m.id == def.id; });
    return found == failure.events.end() ? nullptr : &*found;
}

// A sentence as the reason inside another: without its final full stop.
std::string as_reason(std::string sentence) {
    while (!sentence.empty() && (sentence.back() == '.' || sentence.back() == ' '))
        sentence.pop_back();
    return sentence;
}

std::string refused_because(HostCatalog& catalog, const std::filesystem::path& file,
                            const std::string& reason) {
    return catalog.sentence(PAL::Message(msg::FILE_REFUSED_BECAUSE.id)
                                .add(from_utf8(file.string()))
                                .add(from_utf8(reason)));
}

// Why the plug-in refused to open the file, from its events and a look at
// the file; empty when neither says more than the error itself.
std::string refusal_cause(HostCatalog& catalog, const ReadFailure& failure) {
    // A failing disk or share is no fault of the file's: say what the
    // system said.
    if (const PAL::Message* read = find_event(failure, msg::READ_FAILED);
        read && read->args.size() >= 3)
        return fmt::format("reading it failed: {} (system error {})", utf8(read->args[1]),
                           utf8(read->args[2]));
    if (find_event(failure, msg::FILE_CHANGED))
        return "it changed while it was being read";
    if (const auto problem = path_problem(failure.file))
        return problem->text;
    const DocumentStart start = read_document_start(failure.file);
    if (!start.any_tag)
        return "it is not XML: no tag stands in its first 26 lines";
    if (start.mzml_tag && !start.mzxml_tag)
        return "it is an mzML file, not mzXML: only mzXML 2.0 and 2.1 are read";
    const bool other_schema = !start.schema_version.empty() && start.schema_version != "2.0" &&
                              start.schema_version != "2.1";
    if (find_event(failure, msg::NO_SCHEMA) && start.schema_version.starts_with("1."))
        return fmt::format("it is mzXML {}, and mzXML 1.x is not read", start.schema_version);
    if (find_event(failure, msg::NO_SCHEMA) && other_schema)
        return fmt::format("it is mzXML {}: only 2.0 and 2.1 are read", start.schema_version);
    for (const auto* def : {&msg::SCANS_FOUND_DIFFER, &msg::NO_SCHEMA, &msg::MISSING_START_TAG})
        if (const PAL::Message* event = find_event(failure, *def))
            return as_reason(message_sentence(catalog, *event));
    // The plug-in said nothing more: name the start tag it did not find.
    if (!start.xml_declaration)
        return "no <?xml declaration stands in its first 26 lines, so it is not taken for mzXML";
    if (!start.mzxml_tag)
        return "no <mzXML start tag stands in its first 26 lines, so it is not taken for mzXML";
    if (!start.msrun_tag && start.bare_msrun_tag)
        return "its <msRun> start tag has no attributes (no scanCount), and a <msRun start tag "
               "with them must stand in its first 26 lines";
    if (!start.msrun_tag)
        return "no <msRun start tag stands in its first 26 lines, so it is not taken for mzXML";
    return {};
}

// The header of a scan failed: say which num the scan element carries
// where the position's num was expected.
std::string scan_header_cause(const ReadFailure& failure) {
    const auto position = number_argument(failure.message, 0);
    if (!position)
        return {};
    const auto num = scan_num_at(failure.file, static_cast<std::uint32_t>(*position));
    if (!num || *num == std::to_string(*position))
        return {};
    return fmt::format("{}: the header of the scan at position {} cannot be read: its scan element "
                       "carries num=\"{}\" where num=\"{}\" is expected (scans must be numbered "
                       "1, 2, 3 in file order)",
                       failure.file.string(), *position, *num, *position);
}

} // namespace

std::string message_sentence(HostCatalog& catalog, const PAL::Message& message) {
    if (message.id == msg::SCANS_FOUND_DIFFER.id) {
        const auto found = number_argument(message, 0);
        const auto declared = number_argument(message, 1);
        if (found && declared && *found == *declared + 1) {
            PAL::Message more = message;
            more.args[0] = L"more than " + message.args[1];
            return catalog.sentence(more);
        }
    }
    return catalog.sentence(message);
}

std::string failure_sentence(HostCatalog& catalog, const PAL::AppError& error,
                             const std::filesystem::path& file) {
    std::string sentence;
    std::filesystem::path about = file;
    if (const auto* failure = dynamic_cast<const ReadFailure*>(&error)) {
        about = failure->file;
        if (error.code == msg::FILE_REFUSED.code) {
            const std::string cause = refusal_cause(catalog, *failure);
            if (!cause.empty())
                sentence = refused_because(catalog, failure->file, cause);
        } else if (error.code == msg::BAD_SCAN_HEADER.code) {
            sentence = scan_header_cause(*failure);
        }
    }
    if (sentence.empty()) {
        sentence = message_sentence(catalog, error.message);
        // The sentence names the file where the catalog text has the path.
        const std::string name = about.string();
        if (!name.empty() && sentence.find(name) == std::string::npos)
            sentence = name + ": " + sentence;
    }
    return fmt::format("{} (status 0x{:08X})", sentence, error.code);
}

bool read_failed(const PAL::AppError& error) {
    const auto* failure = dynamic_cast<const ReadFailure*>(&error);
    return failure && find_event(*failure, msg::READ_FAILED) != nullptr;
}

bool repair_may_mend(const ReadFailure& failure) {
    if (failure.code != msg::FILE_REFUSED.code && failure.code != msg::BAD_SCAN_HEADER.code &&
        failure.code != msg::BAD_PEAKS.code)
        return false;
    if (read_failed(failure) || find_event(failure, msg::FILE_CHANGED) ||
        path_problem(failure.file))
        return false;
    const DocumentStart start = read_document_start(failure.file);
    return start.mzxml_tag && !start.schema_version.starts_with("1.");
}

std::string message_name(std::uint32_t id) {
    if (const msg::MessageDef* def = msg::find(id))
        return std::string(def->name);
    return fmt::format("0x{:08X}", id);
}

} // namespace orvohost

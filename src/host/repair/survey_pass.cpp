#include "survey_pass.h"

#include "repair_error.h"

#include <host/markup/start_tag.h>

#include <limits>

namespace orvohost::repair {

namespace {

bool is_blank(std::string_view text) {
    return text.find_first_not_of(" \t\r\n") == text.npos;
}

// "2.1" from "...mzXML_2.1" or "...mzXML_idx_2.1.xsd"; empty when the tag
// names no version.
std::string schema_version(std::string_view tag) {
    for (std::size_t at = tag.find("mzXML_"); at != tag.npos; at = tag.find("mzXML_", at + 1)) {
        std::string_view rest = tag.substr(at + 6);
        if (rest.starts_with("idx_"))
            rest.remove_prefix(4);
        std::size_t length = 0;
        while (length < rest.size() &&
               ((rest[length] >= '0' && rest[length] <= '9') || rest[length] == '.'))
            ++length;
        while (length > 0 && rest[length - 1] == '.')
            --length;
        if (length > 0)
            return std::string(rest.substr(0, length));
    }
    return {};
}

std::string shown(std::string_view text) {
    constexpr std::size_t LIMIT = 40;
    std::string out;
    for (const char c : text.substr(0, LIMIT))
        out += (c >= 32 && c < 127) ? c : '.';
    return out;
}

} // namespace

bool SurveyPass::run(TagReader& reader, std::uint64_t stop_at, const std::atomic<bool>* cancel) {
    for (Token token = reader.next(); token.kind != Token::END; token = reader.next()) {
        if (token.offset >= stop_at)
            return token.offset == stop_at && token.kind == Token::TAG;
        if (cancel && cancel->load(std::memory_order_relaxed))
            return false;
        take(token);
    }
    return stop_at == std::numeric_limits<std::uint64_t>::max();
}

void SurveyPass::join(SurveyPass&& after) {
    // The copy ends with the first run: scans after it are not the file's.
    if (!run_closed)
        survey.nums.insert(survey.nums.end(), after.survey.nums.begin(), after.survey.nums.end());
    survey.has_index |= after.survey.has_index;
    survey.has_index_offset |= after.survey.has_index_offset;
    survey.has_sha1 |= after.survey.has_sha1;
    if (!have_line_end && after.have_line_end)
        survey.line_end = after.survey.line_end;
    have_line_end |= after.have_line_end;
    have_run |= after.have_run;
    run_closed |= after.run_closed;
}

Survey SurveyPass::finish() && {
    if (!have_root)
        throw RepairRefused("is not XML: it holds no element");
    if (!have_run)
        throw RepairRefused("has no msRun element");
    if (!run_closed)
        throw RepairRefused("ends before </msRun> (it was cut short)");
    return std::move(survey);
}

void SurveyPass::take(const Token& token) {
    if (token.kind == Token::TEXT) {
        std::string_view text = token.bytes;
        if (!have_line_end) {
            if (const auto at = text.find('\n'); at != text.npos) {
                have_line_end = true;
                if (at > 0 ? text[at - 1] == '\r' : carriage_return)
                    survey.line_end = "\r\n";
            }
            carriage_return = text.ends_with('\r');
        }
        if (token.offset == 0 && (text.starts_with("\xFF\xFE") || text.starts_with("\xFE\xFF")))
            throw RepairRefused("is UTF-16 text; only files of 8-bit characters can be "
                                "repaired");
        if (!have_root && token.offset == 0 && text.starts_with("\xEF\xBB\xBF"))
            text.remove_prefix(3);
        if (!have_root && !is_blank(text))
            throw RepairRefused("is not XML: it begins with \"" + shown(text) + "\"");
        return;
    }
    carriage_return = false;
    const std::string_view name = tag_name(token.bytes);
    if (name.empty())
        return;
    if (!have_root) {
        if (name == "msRun")
            throw RepairRefused("is mzXML 1.x (its root element is msRun); only files of "
                                "schema 2.x and 3.x can be repaired");
        if (name != "mzXML")
            throw RepairRefused("is not an mzXML file: its root element is " + std::string(name));
        have_root = true;
        survey.version = schema_version(token.bytes);
        if (survey.version.empty())
            throw RepairRefused("names no mzXML schema version in its mzXML start tag");
        if (!survey.version.starts_with("2.") && !survey.version.starts_with("3."))
            throw RepairRefused("is of mzXML schema " + survey.version +
                                "; only files of schema 2.x and 3.x can be repaired");
    } else if (run_closed && name != "index" && name != "indexOffset" && name != "sha1") {
        // After the run the copy has only its own index and digest: what
        // else stands there is left out, not judged.
        return;
    } else if (name == "scan") {
        const StartTag tag(token.bytes);
        const auto num = tag.value("num");
        survey.nums.push_back(num ? to_number(*num) : std::nullopt);
    } else if (name == "peaks") {
        const StartTag tag(token.bytes);
        if (const auto content = tag.value("contentType"); content && *content != "m/z-int")
            throw RepairRefused("holds peaks of contentType \"" + std::string(*content) +
                                "\" (scan " + std::to_string(survey.nums.size()) +
                                "); only m/z-intensity pairs can be repaired");
        if (const auto packing = tag.value("compressionType");
            packing && *packing != "none" && *packing != "zlib")
            throw RepairRefused("holds peaks compressed with \"" + std::string(*packing) +
                                "\" (scan " + std::to_string(survey.nums.size()) +
                                "); only zlib compression can be undone");
    } else if (name == "msRun") {
        have_run = true;
    } else if (name == "/msRun") {
        run_closed = true;
    } else if (name == "index") {
        survey.has_index = true;
    } else if (name == "indexOffset") {
        survey.has_index_offset = true;
    } else if (name == "sha1") {
        survey.has_sha1 = true;
    }
}

} // namespace orvohost::repair

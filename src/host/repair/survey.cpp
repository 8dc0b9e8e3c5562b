#include "survey.h"

#include "repair_error.h"
#include "tag_reader.h"

#include <host/markup/start_tag.h>

#include <atomic>
#include <charconv>
#include <future>
#include <limits>
#include <system_error>

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

bool Survey::renumbers() const {
    for (std::size_t i = 0; i < nums.size(); ++i)
        if (nums[i] && *nums[i] != static_cast<std::int64_t>(i + 1))
            return true;
    return false;
}

std::optional<std::int64_t> to_number(std::string_view text) {
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

namespace {

// One pass of the survey over the tokens from where its reader starts. A
// pass that starts inside the file takes the root as seen: whatever lies
// before it is another pass's.
class SurveyPass {
public:
    explicit SurveyPass(bool after_root) : have_root(after_root) {}

    // Takes tokens until the end of the file, or until one at or past
    // `stop_at`; returns whether it stopped on a tag that starts there, so
    // that a pass from there has seen every token after this one's.
    // Stops early, returning false, once `cancel` is set.
    bool run(TagReader& reader, std::uint64_t stop_at, const std::atomic<bool>* cancel) {
        for (Token token = reader.next(); token.kind != Token::END; token = reader.next()) {
            if (token.offset >= stop_at)
                return token.offset == stop_at && token.kind == Token::TAG;
            if (cancel && cancel->load(std::memory_order_relaxed))
                return false;
            take(token);
        }
        return stop_at == std::numeric_limits<std::uint64_t>::max();
    }

    // Adds what the pass after this one found.
    void join(SurveyPass&& after) {
        // The copy ends with the first run: scans after it are not the file's.
        if (!run_closed)
            survey.nums.insert(survey.nums.end(), after.survey.nums.begin(),
                               after.survey.nums.end());
        survey.has_index |= after.survey.has_index;
        survey.has_index_offset |= after.survey.has_index_offset;
        survey.has_sha1 |= after.survey.has_sha1;
        if (!have_line_end && after.have_line_end)
            survey.line_end = after.survey.line_end;
        have_line_end |= after.have_line_end;
        have_run |= after.have_run;
        run_closed |= after.run_closed;
    }

    bool rooted() const { return have_root; }

    Survey finish() && {
        if (!have_root)
            throw RepairRefused("is not XML: it holds no element");
        if (!have_run)
            throw RepairRefused("has no msRun element");
        if (!run_closed)
            throw RepairRefused("ends before </msRun> (it was cut short)");
        return std::move(survey);
    }

private:
    void take(const Token& token) {
        if (token.kind == Token::TEXT) {
            std::string_view text = token.bytes;
            if (!have_line_end) {
                if (const auto at = text.find('\n'); at != text.npos) {
                    have_line_end = true;
                    if (at > 0 && text[at - 1] == '\r')
                        survey.line_end = "\r\n";
                }
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
        const std::string_view name = tag_name(token.bytes);
        if (name.empty())
            return;
        if (!have_root) {
            if (name == "msRun")
                throw RepairRefused("is mzXML 1.x (its root element is msRun); only files of "
                                    "schema 2.x and 3.x can be repaired");
            if (name != "mzXML")
                throw RepairRefused("is not an mzXML file: its root element is " +
                                    std::string(name));
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

    Survey survey;
    bool have_root;
    bool have_run = false;
    bool run_closed = false;
    bool have_line_end = false;
};

constexpr auto WHOLE_FILE = std::numeric_limits<std::uint64_t>::max();

Survey survey_in_one(const std::filesystem::path& path) {
    TagReader reader(path);
    SurveyPass pass(false);
    pass.run(reader, WHOLE_FILE, nullptr);
    return std::move(pass).finish();
}

// Where a second pass may start: the first '<' from the middle on, or
// nothing when the file is smaller than `worth_splitting`.
std::optional<std::uint64_t> second_start(const std::filesystem::path& path,
                                          std::uint64_t worth_splitting) {
    std::error_code error;
    const std::uint64_t size = std::filesystem::file_size(path, error);
    if (error || size < worth_splitting)
        return std::nullopt;
    try {
        TagReader reader(path, size / 2);
        for (Token token = reader.next(); token.kind != Token::END; token = reader.next())
            if (token.kind == Token::TAG)
                return token.offset;
    } catch (const RepairRefused&) {
        // The pass in one says what is wrong, and where.
    }
    return std::nullopt;
}

} // namespace

Survey survey_file(const std::filesystem::path& path, unsigned threads,
                   std::uint64_t worth_splitting) {
    const auto split = threads > 1 ? second_start(path, worth_splitting) : std::nullopt;
    if (!split)
        return survey_in_one(path);
    // The second half on a thread of its own. Its start is a guess: a '<'
    // inside a comment or a CDATA section is no tag. The first half says
    // whether it guessed right, by stopping on a tag that starts there;
    // anything else (or a refusal in the second half, whose message must
    // count the scans before it) and the file is surveyed again in one pass.
    std::atomic<bool> cancel{false};
    auto second = std::async(std::launch::async, [&] {
        TagReader reader(path, *split);
        SurveyPass pass(true);
        pass.run(reader, WHOLE_FILE, &cancel);
        return pass;
    });
    bool met = false;
    SurveyPass first(false);
    try {
        TagReader reader(path);
        met = first.run(reader, *split, nullptr) && first.rooted();
    } catch (...) {
        cancel = true;
        second.wait();
        throw;
    }
    if (!met)
        cancel = true;
    try {
        SurveyPass after = second.get();
        if (met) {
            first.join(std::move(after));
            return std::move(first).finish();
        }
    } catch (const RepairRefused&) {
    }
    return survey_in_one(path);
}

} // namespace orvohost::repair

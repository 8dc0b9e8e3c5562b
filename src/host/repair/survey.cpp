#include "survey.h"

#include "repair_error.h"
#include "survey_pass.h"
#include "tag_reader.h"

#include <atomic>
#include <charconv>
#include <future>
#include <limits>
#include <system_error>

namespace orvohost::repair {

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

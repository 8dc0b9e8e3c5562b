// One pass of the survey over the tokens from where its reader starts, or
// over tokens another reader of the file hands it one by one. A pass that
// starts inside the file takes the root as seen: whatever lies before it is
// another pass's.
#pragma once

#include "survey.h"
#include "tag_reader.h"

#include <atomic>
#include <cstdint>

namespace orvohost::repair {

class SurveyPass {
public:
    explicit SurveyPass(bool after_root) : have_root(after_root) {}

    // Takes tokens until the end of the file, or until one at or past
    // `stop_at`; returns whether it stopped on a tag that starts there, so
    // that a pass from there has seen every token after this one's.
    // Stops early, returning false, once `cancel` is set.
    bool run(TagReader& reader, std::uint64_t stop_at, const std::atomic<bool>* cancel);

    // Takes the file's next token; raises RepairRefused as survey_file does.
    void take(const Token& token);

    // Adds what the pass after this one found.
    void join(SurveyPass&& after);

    // Room for the numbers of `scans` scans, taken at once.
    void expect(std::uint64_t scans) { survey.nums.reserve(scans); }

    bool rooted() const { return have_root; }
    // What the tokens so far tell: the version once the root is taken.
    const Survey& so_far() const { return survey; }

    // Raises RepairRefused when the file lacks what every file needs.
    Survey finish() &&;

private:
    Survey survey;
    bool have_root;
    bool have_run = false;
    bool run_closed = false;
    bool have_line_end = false;
    // The last text ended with "\r": a text that starts with "\n" ends a
    // "\r\n" that the reader's block cut in two.
    bool carriage_return = false;
};

} // namespace orvohost::repair

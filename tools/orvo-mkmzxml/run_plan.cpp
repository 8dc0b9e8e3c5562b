#include "run_plan.h"

#include "base64.h"
#include "random.h"

#include <limits>

namespace mkmzxml {

std::uint64_t ScanClock::advance(int level) {
    std::uint64_t state = seed ^ (0xD1B54A32D192ED03ULL * ++scans);
    const std::uint64_t jitter = splitmix64(state) % 40;
    if (last_level == 0)
        now = 500 + jitter;
    else
        now += (last_level == 1 ? 300 : 100) + jitter;
    last_level = level;
    return now;
}

namespace {

// Bytes of a scan besides its base64 text (MS1, MS2) in each layout, of an
// index line besides its two numbers, and of the document around the scans,
// as the writer lays them out (measured averages: the numbers in a start tag
// vary in length).
struct TagBytes {
    std::uint64_t ms1;
    std::uint64_t ms2;
};
constexpr TagBytes tag_bytes(Layout layout) {
    switch (layout) {
    case Layout::converter:
        return {436, 558};
    case Layout::readw:
        return {422, 541};
    case Layout::msconvert:
        return {618, 803};
    case Layout::compact:
        break;
    }
    return {300, 409};
}
constexpr std::uint64_t INDEX_LINE = 28;
constexpr std::uint64_t DOCUMENT = 1350;

std::uint64_t digits(std::uint64_t value) {
    std::uint64_t count = 1;
    for (; value >= 10; value /= 10)
        ++count;
    return count;
}

// Bytes that scan `num` adds to a file of `before` bytes so far.
std::uint64_t scan_bytes(const Options& options, std::uint32_t num, std::uint64_t before) {
    const int level = scan_level(num, options.ms1_every);
    const std::uint32_t peaks = level == 1 ? options.ms1_peaks : options.ms2_peaks;
    const std::uint64_t values =
        std::uint64_t{peaks} * 2 * static_cast<std::uint64_t>(options.precision / 8);
    const std::uint64_t index = options.index ? INDEX_LINE + digits(num) + digits(before) : 0;
    const TagBytes tags = tag_bytes(options.layout);
    return (level == 1 ? tags.ms1 : tags.ms2) + base64_length(values) + index;
}

} // namespace

RunPlan plan_run(const Options& options) {
    constexpr std::uint32_t most = std::numeric_limits<std::int32_t>::max();
    RunPlan plan;
    ScanClock clock(options.seed);
    std::uint64_t bytes = DOCUMENT;
    for (std::uint32_t num = 1;; ++num) {
        const std::uint64_t at = clock.advance(scan_level(num, options.ms1_every));
        if (num == 1)
            plan.start_ms = at;
        plan.end_ms = at;
        plan.scans = num;
        bytes += scan_bytes(options, num, bytes);
        if (options.size ? bytes >= *options.size : num >= options.scans)
            break;
        if (num == most)
            throw UsageError("--size would need more than " + std::to_string(most) + " scans");
    }
    return plan;
}

} // namespace mkmzxml

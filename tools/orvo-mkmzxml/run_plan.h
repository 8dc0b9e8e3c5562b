// The shape of a run, known before any peak is drawn: how many scans, which
// of them are MS1, and when each was taken. The header states the scan count
// and the run's start and end times, so the shape is settled first and then
// replayed, scan by scan, while the scans are written.
#pragma once

#include "options.h"

#include <cstdint>

namespace mkmzxml {

// Level of scan `num` (1-based): the first of every `ms1_every` scans is a
// survey scan, the others fragment its ions.
constexpr int scan_level(std::uint32_t num, std::uint32_t ms1_every) {
    return (num - 1) % ms1_every == 0 ? 1 : 2;
}

// Retention times in milliseconds: a survey scan takes longer than a
// fragment scan, with a little jitter that depends on the seed only.
class ScanClock {
public:
    explicit ScanClock(std::uint64_t start_seed) : seed(start_seed) {}

    // Time of the next scan, which is of the given level.
    std::uint64_t advance(int level);

private:
    std::uint64_t seed;
    std::uint64_t now = 0;
    std::uint32_t scans = 0;
    int last_level = 0;
};

struct RunPlan {
    std::uint32_t scans = 0;
    std::uint64_t start_ms = 0;
    std::uint64_t end_ms = 0;
};

// With --size, as many scans as make the file reach about that size.
// Raises UsageError when that would be more scans than a file may hold.
RunPlan plan_run(const Options& options);

} // namespace mkmzxml

// The num each scan carries in the file a person gave. The plug-in lists
// only files numbered 1, 2, 3 in file order, so there it is the position;
// a file read through a repaired copy keeps the numbers of the original.
// Cheap to copy and safe to read from many threads.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace orvohost {

class ScanNumbers {
public:
    // Numbered by position.
    ScanNumbers() = default;
    // `by_position[i]` of the scan at position i + 1; NONE where it had none.
    explicit ScanNumbers(std::vector<std::int64_t> by_position)
        : numbers(std::make_shared<const std::vector<std::int64_t>>(std::move(by_position))) {}

    static constexpr std::int64_t NONE = INT64_MIN;

    // The number of the scan at 1-based `position`, when it has one.
    std::optional<std::int64_t> of(std::uint64_t position) const {
        if (!numbers)
            return static_cast<std::int64_t>(position);
        if (position == 0 || position > numbers->size() || (*numbers)[position - 1] == NONE)
            return std::nullopt;
        return (*numbers)[position - 1];
    }

private:
    std::shared_ptr<const std::vector<std::int64_t>> numbers;
};

} // namespace orvohost

// Where the reader's text logic gets its bytes: spans of a file by offset.
// The line cursor, the tag search and the peak decoding see only spans, so
// they are tested on bytes in memory; the file behind them is the reading
// layer's business (file_view.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace orvoeng {

class ByteSource {
public:
    virtual ~ByteSource() = default;

    // Up to `count` bytes at `offset`; fewer only at the end of the bytes (or
    // where a read failed), none past it. The span stays valid until the next
    // call.
    virtual std::string_view bytes(std::int64_t offset, std::size_t count) = 0;
};

// Bytes held in memory: what the text logic is tested on.
class MemoryBytes final : public ByteSource {
public:
    explicit MemoryBytes(std::string_view content) : text(content) {}

    std::string_view bytes(std::int64_t offset, std::size_t count) override {
        const auto at = static_cast<std::size_t>(offset);
        if (offset < 0 || at >= text.size())
            return {};
        return text.substr(at, count);
    }

private:
    std::string_view text;
};

} // namespace orvoeng

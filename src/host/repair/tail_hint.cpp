#include "tail_hint.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

namespace orvohost::repair {

namespace {

// An index and what follows it end a file within this much.
constexpr std::uint64_t TAIL_BYTES = std::uint64_t{64} << 10;
constexpr std::size_t BLOCK_BYTES = std::size_t{64} << 10;

class File {
public:
    explicit File(const std::filesystem::path& path)
        : file(std::fopen(path.string().c_str(), "rb")) {}
    ~File() {
        if (file)
            std::fclose(file);
    }
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    bool open() const { return file != nullptr; }

    // Up to `size` bytes from `offset` on, appended to `into`.
    bool read(std::uint64_t offset, std::size_t size, std::string& into) {
#ifdef _WIN32
        if (_fseeki64(file, static_cast<__int64>(offset), SEEK_SET) != 0)
            return false;
#else
        if (fseeko(file, static_cast<off_t>(offset), SEEK_SET) != 0)
            return false;
#endif
        const std::size_t at = into.size();
        into.resize(at + size);
        into.resize(at + std::fread(into.data() + at, 1, size, file));
        return !std::ferror(file);
    }

private:
    std::FILE* file;
};

std::optional<std::uint64_t> offset_named(std::string_view tail) {
    constexpr std::string_view OPEN = "<indexOffset>";
    const std::size_t at = tail.rfind(OPEN);
    if (at == tail.npos)
        return std::nullopt;
    std::uint64_t offset = 0;
    const char* first = tail.data() + at + OPEN.size();
    const auto [end, error] = std::from_chars(first, tail.data() + tail.size(), offset);
    if (error != std::errc() || end == tail.data() + tail.size() || *end != '<')
        return std::nullopt;
    return offset;
}

} // namespace

TailHint read_tail_hint(const std::filesystem::path& path) {
    TailHint hint;
    std::error_code error;
    const std::uint64_t size = std::filesystem::file_size(path, error);
    File file(path);
    if (error || !file.open())
        return hint;
    const std::uint64_t tail_at = size > TAIL_BYTES ? size - TAIL_BYTES : 0;
    std::string tail;
    if (!file.read(tail_at, static_cast<std::size_t>(size - tail_at), tail))
        return hint;
    hint.sha1 = tail.find("<sha1") != tail.npos;
    const auto index_at = offset_named(tail);
    if (!index_at || *index_at >= size)
        return hint;
    // The offsets counted from the index's start tag to its end tag, read
    // in blocks, each after the last bytes of the one before: a name may
    // stand across two. A name wholly in those bytes was counted already.
    constexpr std::string_view OFFSET = "<offset";
    constexpr std::string_view END = "</index>";
    constexpr std::size_t CARRIED = OFFSET.size();
    std::string carried;
    std::string text;
    std::uint64_t offsets = 0;
    for (std::uint64_t at = *index_at; at < size;) {
        text = carried;
        const std::size_t kept = text.size();
        if (!file.read(at, BLOCK_BYTES, text) || text.size() == kept)
            return hint;
        if (at == *index_at && !text.starts_with("<index"))
            return hint;
        at += text.size() - kept;
        const std::size_t end = text.find(END);
        const std::string_view counted = std::string_view(text).substr(0, end);
        for (std::size_t found = counted.find(OFFSET); found != counted.npos;
             found = counted.find(OFFSET, found + 1))
            if (found + OFFSET.size() > kept)
                ++offsets;
        if (end != text.npos) {
            hint.indexed = offsets;
            return hint;
        }
        carried = text.substr(text.size() - std::min(text.size(), CARRIED));
    }
    return hint;
}

} // namespace orvohost::repair

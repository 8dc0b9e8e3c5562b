#include "tag_reader.h"

#include "repair_error.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

namespace orvohost::repair {

namespace {

// Small enough that a block is still in the processor's cache when it is
// taken apart: reading 4 MiB at a time was slower.
constexpr std::size_t BLOCK_BYTES = std::size_t{256} << 10;
// Enough to tell "<![CDATA[" from other markup before looking for an end.
constexpr std::size_t LONGEST_OPENING = 9;

std::string describe(const std::filesystem::path& path, int error) {
    return path.string() + ": " + std::strerror(error);
}

// End of the markup that starts at text[0] ('<'), as an index one past its
// last byte, or 0 when it does not end within `text`.
std::size_t markup_end(std::string_view text) {
    const auto after = [&](std::string_view closing, std::size_t from) -> std::size_t {
        const std::size_t at = text.find(closing, from);
        return at == text.npos ? 0 : at + closing.size();
    };
    if (text.starts_with("<!--"))
        return after("-->", 4);
    if (text.starts_with("<![CDATA["))
        return after("]]>", 9);
    if (text.starts_with("<?"))
        return after("?>", 2);
    // Start and end tags, and declarations: a '>' within a quoted value does
    // not end them. Most often the first '>' ends the tag: no single quote
    // before it and an even count of double quotes say so, counted in a
    // loop the compiler makes wide.
    const void* found = std::memchr(text.data(), '>', text.size());
    if (found) {
        const auto length = static_cast<std::size_t>(static_cast<const char*>(found) - text.data());
        // Byte-wide counters, emptied every 255 bytes, let the compiler
        // test a register's width of bytes at a time.
        std::size_t doubles = 0;
        std::size_t singles = 0;
        for (std::size_t at = 0; at < length;) {
            const std::size_t block = std::min<std::size_t>(length - at, 255);
            unsigned char double_count = 0;
            unsigned char single_count = 0;
            for (std::size_t i = at; i < at + block; ++i) {
                double_count = static_cast<unsigned char>(double_count + (text[i] == '"'));
                single_count = static_cast<unsigned char>(single_count + (text[i] == '\''));
            }
            doubles += double_count;
            singles += single_count;
            at += block;
        }
        if (singles == 0 && doubles % 2 == 0)
            return length + 1;
    }
    // A '<' cannot stand in a quoted value: one met there shows the quotes
    // broken (a stray or missing quote), and the tag then ends at its first
    // '>', where the plug-in ends it, rather than swallowing the tags after
    // it up to the next quote that happens to balance.
    const std::size_t first_end =
        found ? static_cast<std::size_t>(static_cast<const char*>(found) - text.data()) + 1 : 0;
    char quote = 0;
    for (std::size_t i = 1; i < text.size(); ++i) {
        const char c = text[i];
        if (quote) {
            if (c == quote)
                quote = 0;
            else if (c == '<')
                return first_end;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '>') {
            return i + 1;
        }
    }
    return 0;
}

bool seek_to(std::FILE* file, std::uint64_t offset) {
#ifdef _WIN32
    return _fseeki64(file, static_cast<__int64>(offset), SEEK_SET) == 0;
#else
    return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
#endif
}

} // namespace

TagReader::TagReader(const std::filesystem::path& file_path, std::uint64_t from)
    : path(file_path), buffer(std::make_unique_for_overwrite<char[]>(BLOCK_BYTES)),
      capacity(BLOCK_BYTES), base(from) {
    file = std::fopen(path.string().c_str(), "rb");
    if (!file)
        throw RepairIoError("cannot read " + describe(path, errno));
    if (from > 0 && !seek_to(file, from)) {
        const int error = errno;
        std::fclose(file);
        throw RepairIoError("cannot read " + describe(path, error));
    }
}

TagReader::~TagReader() {
    if (file)
        std::fclose(file);
}

bool TagReader::fill() {
    if (at_eof)
        return false;
    if (begin > 0) {
        std::memmove(buffer.get(), buffer.get() + begin, end - begin);
        end -= begin;
        base += begin;
        begin = 0;
    }
    if (end == capacity) {
        if (capacity >= MAX_TAG_BYTES)
            return false;
        const std::size_t larger = std::min(capacity * 2, MAX_TAG_BYTES);
        auto grown = std::make_unique_for_overwrite<char[]>(larger);
        std::memcpy(grown.get(), buffer.get(), end);
        buffer = std::move(grown);
        capacity = larger;
    }
    const std::size_t got = std::fread(buffer.get() + end, 1, capacity - end, file);
    if (got == 0) {
        if (std::ferror(file))
            throw RepairIoError("cannot read " + describe(path, errno));
        at_eof = true;
        return false;
    }
    end += got;
    return true;
}

std::size_t TagReader::tag_length() const {
    return markup_end(std::string_view(buffer.get() + begin, end - begin));
}

Token TagReader::next() {
    if (begin == end && !fill())
        return {};
    Token token;
    token.offset = base + begin;
    const char* start = buffer.get() + begin;
    if (*start != '<') {
        const void* lt = std::memchr(start, '<', end - begin);
        const std::size_t length =
            lt ? static_cast<std::size_t>(static_cast<const char*>(lt) - start) : end - begin;
        token.kind = Token::TEXT;
        token.bytes = std::string_view(start, length);
        begin += length;
        return token;
    }
    if (end - begin < LONGEST_OPENING)
        fill();
    std::size_t length = tag_length();
    while (length == 0) {
        const std::uint64_t at = base + begin;
        if (!fill()) {
            if (end - begin >= MAX_TAG_BYTES)
                throw RepairRefused("a tag at byte " + std::to_string(at) +
                                    " runs on for more than " +
                                    std::to_string(MAX_TAG_BYTES >> 20) + " MiB");
            throw RepairRefused("ends inside the tag that starts at byte " + std::to_string(at) +
                                " (it was cut short)");
        }
        length = tag_length();
    }
    token.kind = Token::TAG;
    token.offset = base + begin;
    token.bytes = std::string_view(buffer.get() + begin, length);
    begin += length;
    return token;
}

std::string_view tag_name(std::string_view tag) {
    if (tag.size() < 2 || tag[0] != '<' || tag[1] == '!' || tag[1] == '?')
        return {};
    std::size_t i = 1;
    if (tag[i] == '/')
        ++i;
    while (i < tag.size()) {
        const char c = tag[i];
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '/' || c == '>')
            break;
        ++i;
    }
    return tag.substr(1, i - 1);
}

} // namespace orvohost::repair

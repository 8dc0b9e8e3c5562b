// An mzXML file as a stream of tags and the text between them, read in
// large blocks. Every byte of the file belongs to exactly one token, in
// order, so a writer that copies the tokens it does not change copies the
// file. Text may come in several pieces; a tag (with comments, processing
// instructions and CDATA sections counted as tags) always comes whole.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string_view>

namespace orvohost::repair {

struct Token {
    enum Kind { TEXT, TAG, END };
    Kind kind = END;
    std::string_view bytes; // valid until the next call of next()
    std::uint64_t offset = 0;
};

// The longest tag accepted; a longer one is taken for a broken file rather
// than held in memory.
inline constexpr std::size_t MAX_TAG_BYTES = std::size_t{64} << 20;

class TagReader {
public:
    // Raises RepairIoError when the file cannot be opened.
    // Reads from byte `from` on: a reader that starts inside the file.
    explicit TagReader(const std::filesystem::path& path, std::uint64_t from = 0);
    ~TagReader();
    TagReader(const TagReader&) = delete;
    TagReader& operator=(const TagReader&) = delete;

    // Raises RepairRefused for a file that ends inside a tag, RepairIoError
    // for a failed read.
    Token next();

private:
    // Moves the unread bytes to the front and reads after them; false at the
    // end of the file.
    bool fill();
    // The length of the tag at `begin`, or 0 when its end is not yet read.
    std::size_t tag_length() const;

    std::filesystem::path path;
    std::FILE* file = nullptr;
    // Not zeroed: a repair of a small file makes several readers.
    std::unique_ptr<char[]> buffer;
    std::size_t capacity = 0;
    std::size_t begin = 0;
    std::size_t end = 0;
    std::uint64_t base = 0; // file offset of buffer[0]
    bool at_eof = false;
};

// The element name of a tag ("scan" for "<scan num=...>", "/scan" for an
// end tag); empty for comments, declarations and processing instructions.
std::string_view tag_name(std::string_view tag);

} // namespace orvohost::repair

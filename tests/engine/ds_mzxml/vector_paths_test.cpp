#include "tag_marks.h"
#include "tag_search.h"
#include "vector_path.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#endif

using orvoeng::VectorPath;

namespace {

// Every path the machine can take, named for the failure messages.
std::vector<std::pair<VectorPath, const char*>> usable_paths() {
    std::vector<std::pair<VectorPath, const char*>> paths;
    for (const auto& [path, name] :
         {std::pair{VectorPath::BASE, "base"}, std::pair{VectorPath::AVX2, "avx2"},
          std::pair{VectorPath::AVX512, "avx512"}})
        if (orvoeng::can_take(path))
            paths.emplace_back(path, name);
    return paths;
}

// Bytes drawn mostly from those the searches look for, so that every block
// holds several of them, next to each other and at both of its ends.
std::string marked_text(std::size_t size, std::mt19937& random) {
    static constexpr char BYTES[] = {'\n', '=', '<', '>', '\0', '"', 'a', ' ', '\r', '\x80'};
    std::uniform_int_distribution<std::size_t> pick(0, sizeof BYTES - 1);
    std::string text(size, ' ');
    for (char& c : text)
        c = BYTES[pick(random)];
    return text;
}

} // namespace

// Each path notes the same bytes as a look at one byte at a time.
TEST(VectorPaths, TagMarksAreTheBytesLookedFor) {
    std::mt19937 random(7);
    const std::string text = marked_text(64 * 9, random);
    for (const auto& [path, name] : usable_paths()) {
        std::vector<orvoeng::TagMarks> found(9);
        orvoeng::find_tag_marks(path, text.data(), found.size(), found.data());
        for (std::size_t b = 0; b < found.size(); ++b) {
            std::uint64_t marks = 0, ends = 0;
            for (unsigned i = 0; i < 64; ++i) {
                const char c = text[b * 64 + i];
                if (c == '\n' || c == '=' || c == '<' || c == '>' || c == '\0')
                    marks |= std::uint64_t{1} << i;
                if (c == '"' || c == '\n')
                    ends |= std::uint64_t{1} << i;
            }
            EXPECT_EQ(found[b].marks, marks) << name << ", block " << b;
            EXPECT_EQ(found[b].value_ends, ends) << name << ", block " << b;
        }
    }
}

// From every start, in texts of every length around the steps' sizes, with
// the first match anywhere or nowhere; a NUL looked for never matches past
// the text's end. The one-byte search with its last-16-bytes step too.
TEST(VectorPaths, FindEitherFindsTheFirstOfTwoBytes) {
    for (std::size_t size = 0; size <= 200; ++size) {
        for (const std::size_t match : {std::size_t{0}, size / 3, size - 1, size}) {
            std::string text(size, 'x');
            if (match < size)
                text[match] = match % 2 ? '>' : '\0';
            const std::string_view view(text);
            for (std::size_t from = 0; from <= size + 1; ++from)
                ASSERT_EQ(orvoeng::next_byte(view, '\0', from), view.find('\0', from))
                    << size << " bytes, from " << from;
            for (const auto& [path, name] : usable_paths())
                for (std::size_t from = 0; from <= size + 1; ++from) {
                    const std::size_t want = match < size && match >= from ? match : view.npos;
                    ASSERT_EQ(orvoeng::find_either(view, '>', '\0', from, path), want)
                        << name << ", " << size << " bytes, from " << from;
                }
        }
    }
}

#if defined(__linux__)
// A text that ends where readable memory ends: no path reads past it.
TEST(VectorPaths, FindEitherStopsAtTheEndOfReadableMemory) {
    const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    void* pages =
        ::mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(pages, MAP_FAILED);
    ASSERT_EQ(::mprotect(static_cast<char*>(pages) + page, page, PROT_NONE), 0);
    for (const std::size_t size : {std::size_t{1}, std::size_t{63}, std::size_t{100}}) {
        char* start = static_cast<char*>(pages) + page - size;
        std::fill(start, start + size, 'x');
        for (const auto& [path, name] : usable_paths())
            EXPECT_EQ(orvoeng::find_either({start, size}, '>', '<', 0, path),
                      std::string_view::npos)
                << name << ", " << size << " bytes";
    }
    ::munmap(pages, 2 * page);
}
#endif

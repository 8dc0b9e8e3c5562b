#include "one_pass_header.h"

#include "line_cursor.h"
#include "tag_lines.h"
#include "text_number.h"

#include <array>
#include <cstdint>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace orvoeng {

namespace {

constexpr std::size_t npos = std::string_view::npos;
static_assert(ONE_PASS_HEADER_SPAN <= TAG_LINES_REACH, "a header's start tag is read in one pass");

// Where the marks of one line are: its line feed, and its "<", ">" and NUL
// bytes, found in one pass of sixteen bytes at a time that ends at the line
// feed, where a search for each would read the line again. The pass ends
// sooner at the end of the line's first peaks tag: what follows it, the
// peak data, is never looked at.
class LineMarks {
public:
    // The marks of the line at the start of `window`, at most PIECE bytes.
    explicit LineMarks(std::string_view window) : text(window) {
        std::size_t at = 0;
#if defined(__SSE2__)
        const __m128i feed_byte = _mm_set1_epi8('\n');
        const __m128i open_byte = _mm_set1_epi8('<');
        const __m128i close_byte = _mm_set1_epi8('>');
        const __m128i nul_byte = _mm_setzero_si128();
        for (; at + 16 <= text.size(); at += 16) {
            const __m128i bytes =
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + at));
            const auto feeds = mask(_mm_cmpeq_epi8(bytes, feed_byte));
            note(at, mask(_mm_cmpeq_epi8(bytes, open_byte)),
                 mask(_mm_cmpeq_epi8(bytes, close_byte)), mask(_mm_cmpeq_epi8(bytes, nul_byte)),
                 feeds);
            if (feeds != 0 || peaks_closed)
                return;
        }
#endif
        for (; at < text.size(); at += 16) {
            std::uint32_t open_bits = 0, close_bits = 0, nul_bits = 0, feeds = 0;
            for (std::size_t i = 0; i < 16 && at + i < text.size(); ++i) {
                const char c = text[at + i];
                open_bits |= std::uint32_t{c == '<'} << i;
                close_bits |= std::uint32_t{c == '>'} << i;
                nul_bits |= std::uint32_t{c == '\0'} << i;
                feeds |= std::uint32_t{c == '\n'} << i;
            }
            note(at, open_bits, close_bits, nul_bits, feeds);
            if (feeds != 0 || peaks_closed)
                return;
        }
    }

    // The first line feed, or npos when the window holds none or the pass
    // ended at a peaks tag's end before it.
    std::size_t feed() const {
        return feed_at;
    }
    // The first "<" + `name` wholly within the first `size` bytes, or npos.
    std::size_t tag(std::string_view name, std::size_t size) const {
        for (std::size_t i = 0; i < opens_count; ++i) {
            const std::size_t at = open_at[i];
            if (at + name.size() > size)
                break;
            if (text.substr(at + 1, name.size() - 1) == name.substr(1))
                return at;
        }
        return npos;
    }
    // The first "<peaks" wholly within the first `size` bytes, or npos: the
    // pass noted it as it went.
    std::size_t peaks_tag(std::size_t size) const {
        return peaks_at != npos && peaks_at + PEAKS.size() <= size ? peaks_at : npos;
    }
    // The first ">" from `from`, or npos.
    std::size_t close_from(std::size_t from) const {
        for (std::size_t i = 0; i < closes_count; ++i)
            if (close_at[i] >= from)
                return close_at[i];
        return npos;
    }
    // Whether a NUL stands in the first `size` bytes.
    bool nul_before(std::size_t size) const {
        return first_nul < size;
    }
    // Whether more marks stood in the line than were kept: its marks are
    // then looked for the other way.
    bool overflowed() const {
        return overflow;
    }

private:
    static constexpr std::size_t MOST = 16;
    static constexpr std::string_view PEAKS = "<peaks";

#if defined(__SSE2__)
    static std::uint32_t mask(__m128i hits) {
        return static_cast<std::uint32_t>(_mm_movemask_epi8(hits));
    }
#endif

    // Notes the marks of the sixteen bytes at `at`, up to the first feed.
    void note(std::size_t at, std::uint32_t open_bits, std::uint32_t close_bits,
              std::uint32_t nul_bits, std::uint32_t feeds) {
        if (feeds != 0) {
            const auto in = static_cast<unsigned>(__builtin_ctz(feeds));
            feed_at = at + in;
            // Nothing after the line feed is the line's (`in` is below 16).
            const std::uint32_t keep = (2u << in) - 1;
            open_bits &= keep;
            close_bits &= keep;
            nul_bits &= keep;
        }
        if (nul_bits != 0 && first_nul == npos)
            first_nul = at + static_cast<std::size_t>(__builtin_ctz(nul_bits));
        const std::size_t opens_before = opens_count;
        keep_all(at, open_bits, open_at, opens_count);
        keep_all(at, close_bits, close_at, closes_count);
        for (std::size_t i = opens_before; i < opens_count && peaks_at == npos; ++i)
            if (text.substr(open_at[i], PEAKS.size()) == PEAKS)
                peaks_at = open_at[i];
        if (peaks_at != npos && close_bits != 0)
            peaks_closed = close_from(peaks_at + PEAKS.size()) != npos;
    }

    void keep_all(std::size_t at, std::uint32_t bits, std::size_t (&kept)[MOST],
                  std::size_t& count) {
        for (; bits != 0; bits &= bits - 1) {
            if (count == MOST) {
                overflow = true;
                return;
            }
            kept[count++] = at + static_cast<std::size_t>(__builtin_ctz(bits));
        }
    }

    std::string_view text;
    std::size_t feed_at = npos;
    std::size_t first_nul = npos;
    std::size_t open_at[MOST];
    std::size_t close_at[MOST];
    std::size_t opens_count = 0;
    std::size_t closes_count = 0;
    std::size_t peaks_at = npos; // the first "<peaks"
    bool peaks_closed = false;   // and a ">" after it
    bool overflow = false;
};

// What the lines after a start tag give, up to and including the first
// that holds "<peaks", when every one of them is plain: whole in the bytes
// at hand, shorter than a line read (or a peaks line whose tag ends within
// one), without NUL, and any precursor closed on its own line. The values
// are those the exact reader would take, in its order; nothing is taken
// before all the lines are known to be plain.
class PlainLines {
public:
    // From `from` in `bytes`, the scan's first bytes. False when a line is
    // not plain.
    bool read(std::string_view bytes, std::size_t from) {
        // The most a line read gives: a longer line comes in pieces.
        constexpr std::size_t PIECE = LineCursor::LINE_BUFFER_SIZE - 1;
        for (std::size_t at = from; at < bytes.size();) {
            const std::string_view window = bytes.substr(at, PIECE);
            const LineMarks marks(window);
            // A line of many tags is left to the exact reader.
            if (marks.overflowed())
                return false;
            const std::size_t feed = marks.feed();
            const std::string_view line = feed != npos ? window.substr(0, feed + 1) : window;
            // The peaks line is examined up to its tag's end, which the
            // first piece of a line holds, so that line may be cut.
            const std::size_t tag = marks.peaks_tag(line.size());
            const std::size_t gt = tag == npos ? npos : marks.close_from(tag + 6);
            std::string_view examined = line;
            if (gt != npos)
                examined = line.substr(0, gt + 1);
            else if (feed == npos)
                return false;
            if (marks.nul_before(examined.size()))
                return false;
            if (!take_line(examined, marks, tag != npos))
                return false;
            if (tag != npos)
                return true;
            at += line.size();
        }
        return false;
    }

    // Gives the values to the header, as the exact reader would have; false
    // when a num names another scan.
    bool apply(HeaderValues& values, std::uint32_t scan_number) const {
        for (std::size_t i = 0; i < count; ++i)
            if (!values.take(taken[i].name, std::string_view(taken[i].data, taken[i].size),
                             scan_number))
                return false;
        if (precursor_mz_given)
            values.header.precursorMz = precursor_mz;
        if (precursor_charge_given)
            values.header.precursorCharge = precursor_charge;
        return true;
    }

private:
    bool take_line(std::string_view line, const LineMarks& marks, bool peaks) {
        std::array<std::string_view, HEADER_ATTRIBUTES> values;
        bool found[HEADER_ATTRIBUTES];
        attribute_views(line, line.size(), HEADER_NAMES, values.data(), found);
        for (std::size_t name = 0; name < HEADER_ATTRIBUTES; ++name) {
            if (!found[name])
                continue;
            if (count == std::size(taken))
                return false;
            taken[count++] = {name, values[name].data(), values[name].size()};
        }
        if (marks.tag("<precursorMz", line.size()) != npos) {
            // An element the line does not close is gathered over lines by
            // the exact reader, unless the peaks begin on this one.
            if (!peaks && marks.tag("</precursorMz>", line.size()) == npos)
                return false;
            std::string_view value;
            if (element_text_view(line, "precursorMz", value)) {
                precursor_mz = text_to_double(value);
                precursor_mz_given = true;
            }
            if (attribute_view(line, "precursorCharge", value)) {
                precursor_charge = text_to_int32(value);
                precursor_charge_given = true;
            }
        }
        return true;
    }

    // Filled before it is read: not set up for each header.
    struct Taken {
        std::size_t name;
        const char* data;
        std::size_t size;
    };
    Taken taken[4 * HEADER_ATTRIBUTES];
    std::size_t count = 0;
    double precursor_mz = 0.0;
    std::int32_t precursor_charge = 0;
    bool precursor_mz_given = false;
    bool precursor_charge_given = false;
};

} // namespace

OnePassHeader read_header_in_one_pass(std::string_view bytes, std::uint32_t scan_number) {
    OnePassHeader out;
    TagLines tag;
    // Only a scan's own tag: bytes that no longer start with one (a file
    // rewritten since the listing) may start with a tag whose line the
    // exact reader treats otherwise.
    if (!bytes.starts_with("<scan") ||
        !read_tag_lines(bytes, HEADER_NAMES, LineCursor::LINE_BUFFER_SIZE - 1, tag))
        return out;
    for (std::size_t i = 0; i < tag.count; ++i)
        if (!out.values.take(tag.values[i].name, tag.values[i].value, scan_number))
            // A num that names another scan: the exact reader says which
            // values were read before it.
            return OnePassHeader();
    PlainLines rest;
    if (!rest.read(bytes, tag.length)) {
        out.read = OnePassHeader::Read::START_TAG;
        out.tag_length = tag.length;
        return out;
    }
    if (!rest.apply(out.values, scan_number))
        return OnePassHeader();
    out.read = OnePassHeader::Read::WHOLE;
    return out;
}

} // namespace orvoeng

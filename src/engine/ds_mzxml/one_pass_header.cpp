#include "one_pass_header.h"

#include "line_cursor.h"
#include "tag_lines.h"
#include "text_number.h"

#include <array>
#include <utility>

namespace orvoeng {

namespace {

constexpr std::size_t npos = std::string_view::npos;

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
            const std::size_t feed = window.find('\n');
            const std::string_view line = feed != npos ? window.substr(0, feed + 1) : window;
            // The peaks line is examined up to its tag's end, which the
            // first piece of a line holds, so that line may be cut.
            const std::size_t tag = find_text(line, "<peaks");
            const std::size_t gt = tag == npos ? npos : line.find('>', tag + 6);
            std::string_view examined = line;
            if (gt != npos)
                examined = line.substr(0, gt + 1);
            else if (feed == npos)
                return false;
            if (examined.find('\0') != npos || (tag == npos && line.find('\0') != npos))
                return false;
            if (!take_line(examined, tag != npos))
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
    bool take_line(std::string_view line, bool peaks) {
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
        if (occurs_before(line, line.size(), "<precursorMz")) {
            // An element the line does not close is gathered over lines by
            // the exact reader, unless the peaks begin on this one.
            if (!peaks && find_text(line, "</precursorMz>") == npos)
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

#include "mzXMLReader.h"

#include <ds/messages.h>

#include "scan_notes.h"
#include "tag_lines.h"
#include "text_number.h"
#include "xml_duration.h"

#include <pal/message.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace orvoeng {

namespace {

constexpr std::size_t npos = std::string_view::npos;
// How far past a line piece a value is followed to be read whole.
constexpr std::size_t VALUE_REACH = 4096;
// What a header read of a scan larger than a block reads at first: its
// start tag, not its peak data.
constexpr std::int64_t HEADER_READ = 4096;
// The bytes of a header brought to the cache ahead of its read: a start
// tag, a precursor and the first piece of the peaks line.
constexpr std::int64_t HEADER_PREFETCH = 1536;
// The most of a scan's start a one-pass read of its start tag looks at: a
// tag longer than that is read line by line.
constexpr std::int64_t TAG_SPAN = PLAIN_HEADER_SPAN;
// The least a header read leaves unread of a scan's peak data: less is
// cheaper copied than skipped with a read of its own.
constexpr std::int64_t LEAST_GAP = 16384;

enum Attribute : std::size_t { NUM, MS_LEVEL, POLARITY, CENTROIDED, RETENTION, TIC, COUNT };
constexpr std::string_view HEADER_LIST[COUNT] = {"num",        "msLevel",       "polarity",
                                                 "centroided", "retentionTime", "totIonCurrent"};
constexpr AttributeNames HEADER_NAMES(HEADER_LIST);

// The part of a line the header examines: a line holding "<peaks" ends with
// that tag's ">", so the peak data after it are never searched. A piece that
// holds that tag whole needs none of the rest of its line. `peaks` tells
// whether the tag starts in the piece.
std::string_view examined_part(LineCursor& lines, std::size_t& own, bool& peaks) {
    const std::string_view piece = lines.text();
    own = piece.size();
    std::string_view line = piece;
    std::size_t tag = find_text(piece, "<peaks");
    if (tag == npos || piece.find('>', tag + 6) == npos) {
        line = lines.whole(VALUE_REACH);
        // The piece starts the line: only a tag that it cuts is new.
        if (tag == npos && line.size() > own)
            tag = find_text(line, "<peaks", own > 5 ? own - 5 : 0);
        else if (tag != npos)
            tag = find_text(line, "<peaks");
        peaks = tag != npos && tag < own;
        if (!peaks)
            return line;
    }
    peaks = true;
    const std::size_t gt = line.find('>', tag + 6);
    if (gt == npos)
        return line;
    own = std::min(own, gt + 1);
    return line.substr(0, gt + 1);
}

// One line of a scan header as the header reads it.
struct HeaderLine {
    std::string_view text; // the part examined
    std::size_t own = 0;   // of it, the bytes of the line's own piece
    std::int64_t start = 0;
    bool peaks = false; // the peaks tag starts in it
    // Whether the part examined is whole: a NUL byte before its end hides
    // what follows, so the values read could be wrong without a sign.
    bool readable = true;
};

// The next line, when it starts (after blanks) with the whole peaks tag,
// no line feed or NUL before the tag's end: its part examined is the line
// up to that end, as examined_part would find it, and the peak data after
// it are not searched for the line's end.
bool peaks_line_ahead(const LineCursor& lines, HeaderLine& out) {
    const std::string_view bytes = lines.peek();
    std::size_t tag = 0;
    while (tag < bytes.size() && (bytes[tag] == ' ' || bytes[tag] == '\t'))
        ++tag;
    if (!bytes.substr(tag).starts_with("<peaks"))
        return false;
    const std::size_t gt = bytes.find('>', tag + 6);
    // The piece next() would give is at most LINE_BUFFER_SIZE - 1 bytes.
    if (gt == npos || gt + 1 >= LineCursor::LINE_BUFFER_SIZE)
        return false;
    const std::string_view text = bytes.substr(0, gt + 1);
    if (text.find('\n') != npos || text.find('\0') != npos)
        return false;
    out.text = text;
    out.own = text.size();
    out.start = lines.next_start();
    out.peaks = true;
    out.readable = true;
    return true;
}

// Moves to the next line of the header; false at the end of the scan.
bool next_header_line(LineCursor& lines, HeaderLine& out) {
    if (peaks_line_ahead(lines, out))
        return true;
    if (!lines.next())
        return false;
    out.start = lines.line_start();
    out.text = examined_part(lines, out.own, out.peaks);
    out.readable =
        !lines.ended_at_nul() || (out.peaks && !out.text.empty() && out.text.back() == '>');
    return true;
}

// What the header takes from one value of its names: the scan's values, and
// whether it met a polarity and a centroiding. False when `num` names
// another scan.
struct HeaderValues {
    ScanHeader& header;
    std::uint32_t scan_number;
    bool polarity_met = false;
    bool& centroided_met;

    // As before the first value: for a read again line by line.
    void reset() {
        header = ScanHeader();
        centroided_met = false;
        polarity_met = false;
    }

    bool take(std::size_t name, std::string_view value) {
        switch (name) {
        case NUM:
            return static_cast<std::int64_t>(text_to_int32(value)) == scan_number;
        case MS_LEVEL:
            header.msLevel = text_to_int32(value);
            break;
        case POLARITY:
            polarity_met = true;
            if (value == "+")
                header.polarity = 0;
            else if (value == "-")
                header.polarity = 1;
            break;
        case CENTROIDED:
            // The first one decides.
            if (!centroided_met) {
                centroided_met = true;
                header.centroided = is_true_value(value);
            }
            break;
        case RETENTION:
            read_xml_duration(value, header.retentionTime);
            break;
        case TIC:
            header.totalIonCurrent = text_to_double(value);
            break;
        default:
            break;
        }
        return true;
    }
};

// What the lines after a start tag give, up to and including the first
// that holds "<peaks", when every one of them is plain: whole in the bytes
// at hand, shorter than a line read (or a peaks line whose tag ends within
// one), without NUL, and any precursor closed on its own line. The values
// are those the line reader would take, in its order; nothing is taken
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

    // Gives the values to the header, as the line reader would have; false
    // when a num names another scan.
    bool apply(HeaderValues& values_of, ScanHeader& header) const {
        for (std::size_t i = 0; i < count; ++i)
            if (!values_of.take(taken[i].first, taken[i].second))
                return false;
        if (precursor_mz_given)
            header.precursorMz = precursor_mz;
        if (precursor_charge_given)
            header.precursorCharge = precursor_charge;
        return true;
    }

private:
    bool take_line(std::string_view line, bool peaks) {
        std::array<std::string_view, COUNT> values;
        bool found[COUNT];
        attribute_views(line, line.size(), HEADER_NAMES, values.data(), found);
        for (std::size_t name = 0; name < COUNT; ++name) {
            if (!found[name])
                continue;
            if (count == taken.size())
                return false;
            taken[count++] = {name, values[name]};
        }
        if (occurs_before(line, line.size(), "<precursorMz")) {
            // An element the line does not close is gathered over lines by
            // the line reader, unless the peaks begin on this one.
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

    std::array<std::pair<std::size_t, std::string_view>, 4 * COUNT> taken;
    std::size_t count = 0;
    double precursor_mz = 0.0;
    std::int32_t precursor_charge = 0;
    bool precursor_mz_given = false;
    bool precursor_charge_given = false;
};

// What one pass over a scan's first bytes read: nothing, its start tag
// alone (`tag_length` bytes of lines), or its whole header.
enum class PlainRead { NOT_PLAIN, TAG, WHOLE };

// A start tag of plain lines in one pass; what follows it (the precursor,
// the peaks line) in the same bytes when those lines are plain too. Each
// line's values are the line reader's, in its order. After NOT_PLAIN the
// values are as before the first, for the line reader to read them all.
PlainRead read_plain(std::string_view bytes, HeaderValues& values_of, ScanHeader& header,
                     std::size_t& tag_length) {
    TagLines tag;
    // Only a scan's own tag: bytes that no longer start with one (a file
    // rewritten since the listing) may start with a tag whose line the
    // line reader treats otherwise.
    if (!bytes.starts_with("<scan") ||
        !read_tag_lines(bytes, HEADER_NAMES, LineCursor::LINE_BUFFER_SIZE - 1, tag))
        return PlainRead::NOT_PLAIN;
    std::size_t taken = 0;
    while (taken < tag.count && values_of.take(tag.values[taken].name, tag.values[taken].value))
        ++taken;
    if (taken == tag.count) {
        PlainLines rest;
        if (!rest.read(bytes, tag.length)) {
            tag_length = tag.length;
            return PlainRead::TAG;
        }
        if (rest.apply(values_of, header))
            return PlainRead::WHOLE;
    }
    // A num that names another scan: the line reader says which values
    // were read before it.
    values_of.reset();
    return PlainRead::NOT_PLAIN;
}

} // namespace

bool plain_scan_header(std::string_view bytes, std::uint32_t scan_number, ScanHeader& header,
                       bool& centroided_met) {
    header = ScanHeader();
    centroided_met = false;
    HeaderValues values_of{header, scan_number, false, centroided_met};
    std::size_t tag_length = 0;
    if (read_plain(bytes, values_of, header, tag_length) != PlainRead::WHOLE)
        return false;
    if (!values_of.polarity_met)
        header.polarity = 0;
    return true;
}

bool MzXMLReader::scan_range(std::uint32_t scan_number, std::int64_t& begin,
                             std::int64_t& end) const {
    if (scan_number == 0 || scan_number >= index.size())
        return false;
    const std::int64_t first = index[scan_number - 1];
    const std::int64_t last = index[scan_number];
    // An index whose next entry comes first, or that points past the end of
    // the file, cannot bound the scan.
    if (first < 0 || last < first || last > view.size())
        return false;
    begin = first;
    end = last;
    return true;
}

std::int64_t MzXMLReader::read_ahead_end(std::uint32_t scan_number) const {
    // The following scans that fit whole in one block come with this one,
    // so reading scans in order costs a read per block, while a scan too
    // large for a block is read alone.
    const std::int64_t begin = index[scan_number - 1];
    const std::int64_t limit = begin + static_cast<std::int64_t>(FileView::BLOCK);
    const auto from = index.begin() + scan_number;
    const auto after = std::upper_bound(from, index.end(), limit);
    return after == from ? index[scan_number] : std::max(*(after - 1), index[scan_number]);
}

void MzXMLReader::prefetch_next_scan(std::uint32_t scan_number, std::int64_t most) const {
    if (scan_number + 1 >= index.size())
        return;
    const std::int64_t from = index[scan_number];
    const std::int64_t length = std::min(index[scan_number + 1] - from, most);
    // An index that does not rise bounds no next scan.
    if (length > 0)
        view.prefetch(from, static_cast<std::size_t>(length));
}

void MzXMLReader::header_gaps(std::int64_t from, std::int64_t end, Gaps& gaps) const {
    if (index.size() < 2 || from >= end)
        return;
    const auto last = index.end() - 1;
    // The scan that holds `from`, or the first after it.
    auto at = std::upper_bound(index.begin(), last, from);
    if (at != index.begin())
        --at;
    for (; at != last && *at < end; ++at) {
        const std::int64_t skip_from = std::max(*at + HEADER_READ, from);
        const std::int64_t skip_to = std::min(*(at + 1), end);
        if (skip_to - skip_from >= LEAST_GAP)
            gaps.emplace_back(skip_from, skip_to);
    }
}

std::int64_t MzXMLReader::refill_end_from(std::int64_t from) const {
    // A scan read refills from its scan's start, up to read_ahead_end; a
    // scan larger than a block is read otherwise and is not foreseen.
    if (index.size() < 2)
        return from;
    const auto last = index.end() - 1;
    const auto at = std::lower_bound(index.begin(), last, from);
    if (at == last || *at != from || *(at + 1) - from > static_cast<std::int64_t>(FileView::BLOCK))
        return from;
    return read_ahead_end(static_cast<std::uint32_t>(at - index.begin()) + 1);
}

bool MzXMLReader::read_scan_header(std::uint32_t scan_number, ScanHeader& header) {
    begin_operation();
    if (!listed(scan_number))
        return false;
    bool centroided_met = false;
    if (scan_number <= early_headers.size()) {
        const EarlyHeader& early = early_headers[scan_number - 1];
        header = early.header;
        centroided_met = early.centroided_met;
        // The walk takes them in order: the last one frees them all.
        if (scan_number == early_headers.size())
            std::vector<EarlyHeader>().swap(early_headers);
    } else if (!parse_scan_header(scan_number, header, centroided_met)) {
        return false;
    }
    // Counted once per read: the first centroided attribute decides.
    if (centroided_met)
        ++centroided_count;
    return true;
}

bool MzXMLReader::parse_scan_header(std::uint32_t scan_number, ScanHeader& header,
                                    bool& centroided_met) {
    std::int64_t begin = 0;
    std::int64_t end = 0;
    if (!scan_range(scan_number, begin, end))
        return false;
    const std::int64_t ahead = read_ahead_end(scan_number);
    view.start_operation(ahead - begin > static_cast<std::int64_t>(FileView::BLOCK)
                             ? std::min(end, begin + HEADER_READ)
                             : ahead,
                         reference ? 0U : ScanNotes::HEADERS, !reference);

    prefetch_next_scan(scan_number, HEADER_PREFETCH);
    // A file cut short since it was opened no longer holds the scan.
    if (begin < end && view.bytes(begin, 1).empty())
        return false;
    header = ScanHeader();
    centroided_met = false;
    HeaderValues values_of{header, scan_number, false, centroided_met};
    bool tag_closed = false;
    std::int64_t from = begin;
    if (!reference) {
        // What is not plain is read line by line.
        const std::string_view bytes = view.bytes(
            begin, static_cast<std::size_t>(std::min<std::int64_t>(end - begin, TAG_SPAN)));
        // The read-ahead thread may have read the header in these bytes.
        const auto* notes = static_cast<const ScanNotes*>(view.notes());
        if (!view.failed() && notes &&
            notes->headers().find(begin, bytes.size(), header, centroided_met))
            return true;
        std::size_t tag_length = 0;
        switch (read_plain(bytes, values_of, header, tag_length)) {
        case PlainRead::WHOLE:
            if (!view.failed()) {
                if (!values_of.polarity_met)
                    header.polarity = 0;
                return true;
            }
            values_of.reset();
            break;
        case PlainRead::TAG:
            from = begin + static_cast<std::int64_t>(tag_length);
            tag_closed = true;
            break;
        case PlainRead::NOT_PLAIN:
            break;
        }
    }
    LineCursor lines(view, from, end);
    HeaderLine current;
    bool more = next_header_line(lines, current);
    while (more) {
        if (!current.readable)
            return false;
        const std::string_view line = current.text;
        const std::size_t own = current.own;
        tag_closed = tag_closed || line.find('>') != npos;
        std::array<std::string_view, COUNT> values;
        bool found[COUNT];
        attribute_views(line, own, HEADER_NAMES, values.data(), found);
        for (std::size_t name = 0; name < COUNT; ++name)
            if (found[name] && !values_of.take(name, values[name]))
                return false;

        if (occurs_before(line, own, "<precursorMz")) {
            // Its lines belong to the precursor, not to the scan's tag. An
            // unclosed element ends where the peaks begin.
            // A piece is gathered with the rest of its line, so a value cut
            // by a piece boundary is read whole; the next pieces add only
            // the bytes after what is gathered.
            precursor_text.assign(line);
            std::int64_t gathered = current.start + static_cast<std::int64_t>(line.size());
            bool closed = find_text(line, "</precursorMz>") != npos;
            while (!closed && !current.peaks && next_header_line(lines, current)) {
                if (!current.readable)
                    return false;
                const std::string_view next = current.text;
                const std::int64_t start = current.start;
                const auto skip =
                    static_cast<std::size_t>(std::max<std::int64_t>(gathered - start, 0));
                if (skip < next.size())
                    precursor_text.append(next.substr(skip));
                gathered = std::max(gathered, start + static_cast<std::int64_t>(next.size()));
                closed = find_text(next, "</precursorMz>") != npos;
            }
            std::string_view value;
            if (element_text_view(precursor_text, "precursorMz", value))
                header.precursorMz = text_to_double(value);
            if (attribute_view(precursor_text, "precursorCharge", value))
                header.precursorCharge = text_to_int32(value);
        }
        if (current.peaks)
            break;
        more = next_header_line(lines, current);
    }
    // A start tag the scan's bytes end inside (a file cut there, or a read
    // that failed) lacks the attributes after the cut: its values would be
    // read as zeros.
    if (!tag_closed || view.failed())
        return false;
    if (!values_of.polarity_met)
        header.polarity = 0;
    return true;
}

bool MzXMLReader::centroid_info_complete(const PAL::SmartPtr<PAL::EventSocket>& socket) {
    PAL::post_message(socket, msg::CENTROID_STATE.level,
                      PAL::Message(msg::CENTROID_STATE.id)
                          .add(std::wstring(run_centroided_given ? L"true" : L"false"))
                          .add(centroided_count));
    return run_centroided_given || centroided_count == scanCount;
}

} // namespace orvoeng

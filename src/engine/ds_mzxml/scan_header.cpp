// The exact reader of a scan header: the scan's lines read one at a time
// (line_cursor.h), each searched for the header's attributes and for a
// precursor, up to and including the line where the peaks begin. Its rules
// decide every value; the faster ways of reading a header (the look-ahead,
// one_pass_header.h) read only what they read exactly as it does.
#include "mzXMLReader.h"

#include <ds/messages.h>

#include "header_values.h"
#include "one_pass_header.h"

#include <pal/message.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

namespace orvoeng {

namespace {

constexpr std::size_t npos = std::string_view::npos;
// How far past a line piece a value is followed to be read whole.
constexpr std::size_t VALUE_REACH = 4096;
// The bytes of the next scan's header brought to the cache ahead of its
// read: a start tag, a precursor and the first piece of the peaks line.
constexpr std::int64_t HEADER_PREFETCH = 1536;

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

} // namespace

bool MzXMLReader::read_scan_header(std::uint32_t scan_number, ScanHeader& header) {
    begin_operation();
    if (!listed(scan_number))
        return false;
    HeaderValues values;
    if (parse_scan_header(scan_number, values) == HeaderRead::FAILED)
        return false;
    header = values.finished();
    // Counted once per read: the first centroided attribute decides.
    if (values.centroided_met)
        ++centroided_count;
    return true;
}

std::vector<ScanRecord> MzXMLReader::take_early_records() {
    centroided_count += std::exchange(early_centroided, 0);
    return std::exchange(early_records, {});
}

MzXMLReader::HeaderRead MzXMLReader::parse_scan_header(std::uint32_t scan_number,
                                                       HeaderValues& values) {
    std::int64_t begin = 0;
    std::int64_t end = 0;
    if (!scan_range(scan_number, begin, end))
        return HeaderRead::FAILED;
    start_header_read(scan_number);
    // A file cut short since it was opened no longer holds the scan.
    if (begin < end && view.bytes(begin, 1).empty())
        return HeaderRead::FAILED;
    HeaderLines from{begin, false};
    if (!reference && read_header_fast(scan_number, begin, end, values, from))
        return HeaderRead::ONE_PASS;
    return read_header_lines(scan_number, from, end, values) ? HeaderRead::LINES
                                                             : HeaderRead::FAILED;
}

bool MzXMLReader::read_header_fast(std::uint32_t scan_number, std::int64_t begin, std::int64_t end,
                                   HeaderValues& values, HeaderLines& from) {
    const std::string_view bytes = view.bytes(
        begin, static_cast<std::size_t>(std::min<std::int64_t>(end - begin, ONE_PASS_HEADER_SPAN)));
    if (view.failed())
        return false;
    // The read-ahead thread may have read the header from these very bytes.
    if (const HeaderValues* ahead = look_ahead.header(begin, bytes.size())) {
        values = *ahead;
        return true;
    }
    // This header is read here, and mostly the next one too: the walk read
    // ahead stopped before them.
    prefetch_next_scan(scan_number, HEADER_PREFETCH);
    OnePassHeader read = read_header_in_one_pass(bytes, scan_number);
    switch (read.read) {
    case OnePassHeader::Read::WHOLE:
        values = read.values;
        return true;
    case OnePassHeader::Read::START_TAG:
        values = read.values;
        from = {begin + static_cast<std::int64_t>(read.tag_length), true};
        return false;
    case OnePassHeader::Read::NOTHING:
        break;
    }
    return false;
}

bool MzXMLReader::read_header_lines(std::uint32_t scan_number, HeaderLines from, std::int64_t end,
                                    HeaderValues& values) {
    bool tag_closed = from.after_tag;
    LineCursor lines(view, from.start, end);
    HeaderLine current;
    bool more = next_header_line(lines, current);
    while (more) {
        if (!current.readable)
            return false;
        const std::string_view line = current.text;
        const std::size_t own = current.own;
        tag_closed = tag_closed || line.find('>') != npos;
        std::array<std::string_view, HEADER_ATTRIBUTES> found_values;
        bool found[HEADER_ATTRIBUTES];
        attribute_views(line, own, HEADER_NAMES, found_values.data(), found);
        for (std::size_t name = 0; name < HEADER_ATTRIBUTES; ++name)
            if (found[name] && !values.take(name, found_values[name], scan_number))
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
            values.take_precursor(precursor_text);
        }
        if (current.peaks)
            break;
        more = next_header_line(lines, current);
    }
    // A start tag the scan's bytes end inside (a file cut there, or a read
    // that failed) lacks the attributes after the cut: its values would be
    // read as zeros.
    return tag_closed && !view.failed();
}

bool MzXMLReader::centroid_info_complete(const PAL::SmartPtr<PAL::EventSocket>& socket) {
    PAL::post_message(socket, msg::CENTROID_STATE.level,
                      PAL::Message(msg::CENTROID_STATE.id)
                          .add(std::wstring(run_centroided_given ? L"true" : L"false"))
                          .add(centroided_count));
    return run_centroided_given || centroided_count == scanCount;
}

} // namespace orvoeng

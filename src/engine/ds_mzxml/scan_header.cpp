#include "mzXMLReader.h"

#include <ds/messages.h>

#include "text_number.h"
#include "xml_duration.h"

#include <pal/message.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace msg = orvoeng::msg;

namespace {

constexpr std::size_t npos = std::string::npos;

bool contains(const std::string& text, const char* part) {
    return text.find(part) != npos;
}

// The lines of one scan's bytes, read in growing blocks and never past the
// scan's end, so a header read costs the header, not the scan or the file.
// A line that holds "<peaks" ends with that tag's ">": the header stops there
// and the peak data after it are not read.
class ScanLines {
public:
    ScanLines(PAL::File& file, std::int64_t begin, std::int64_t end)
        : file(file), next_offset(begin), end(end) {}

    // The next line, line feed included; false at the scan's end. As with
    // read_line, a NUL byte ends the line's text: nothing after it is seen.
    bool next(std::string& line) {
        if (pos > 0 && pos >= window.size() / 2) {
            window.erase(0, pos);
            pos = 0;
        }
        std::size_t lf_from = pos;
        std::size_t nul_from = pos;
        std::size_t tag_from = pos;
        std::size_t gt_from = npos;
        for (;;) {
            const std::size_t lf = window.find('\n', lf_from);
            const std::size_t stop = lf == npos ? window.size() : lf + 1;
            const void* nul_at = std::memchr(window.data() + nul_from, '\0', stop - nul_from);
            const std::size_t nul =
                nul_at ? static_cast<const char*>(nul_at) - window.data() : npos;
            const std::size_t tag = window.find("<peaks", tag_from);
            if (tag != npos && tag < std::min(stop, nul)) {
                const std::size_t gt = window.find('>', gt_from == npos ? tag + 6 : gt_from);
                if (gt != npos && gt < stop)
                    return take(gt + 1, line);
                tag_from = tag;
                gt_from = window.size();
            } else {
                // "<peaks" may be cut by the end of the window.
                tag_from = std::max(pos, window.size() > 5 ? window.size() - 5 : 0);
            }
            if (lf != npos)
                return take(stop, line);
            lf_from = window.size();
            nul_from = nul == npos ? window.size() : nul;
            if (!fill())
                return pos < window.size() && take(window.size(), line);
        }
    }

private:
    bool take(std::size_t stop, std::string& line) {
        const char* begin = window.data() + pos;
        const void* nul = std::memchr(begin, '\0', stop - pos);
        line.assign(begin, nul ? static_cast<const char*>(nul) - begin : stop - pos);
        pos = stop;
        return true;
    }

    // Appends the next block; false at the scan's end or when the read fails.
    bool fill() {
        if (next_offset >= end)
            return false;
        const std::int64_t left = end - next_offset;
        const std::uint32_t count = static_cast<std::uint32_t>(std::min<std::int64_t>(left, block));
        const std::size_t old_size = window.size();
        window.resize(old_size + count);
        std::uint32_t got = 0;
        if (!file.read_at(next_offset, window.data() + old_size, count, got))
            got = 0;
        window.resize(old_size + got);
        next_offset += got;
        if (block < MAX_BLOCK)
            block *= 2;
        return got > 0;
    }

    static constexpr std::uint32_t FIRST_BLOCK = 4096;
    static constexpr std::uint32_t MAX_BLOCK = 256 * 1024;

    PAL::File& file;
    std::int64_t next_offset;
    const std::int64_t end;
    std::uint32_t block = FIRST_BLOCK;
    std::string window; // bytes read and not yet handed out, from `pos`
    std::size_t pos = 0;
};

} // namespace

bool MzXMLReader::scan_range(std::uint32_t scan_number, std::int64_t& begin,
                             std::int64_t& end) const {
    if (scan_number == 0 || scan_number >= offsets.size())
        return false;
    const std::int64_t first = offsets[scan_number - 1];
    const std::int64_t last = offsets[scan_number];
    std::int64_t file_size = 0;
    // An index whose next entry comes first, or that points past the end of
    // the file, cannot bound the scan.
    if (first < 0 || last < first || !file.size(file_size) || last > file_size)
        return false;
    begin = first;
    end = last;
    return true;
}

bool MzXMLReader::read_scan_header(std::uint32_t scan_number, ScanHeader& header) {
    if (scan_number == 0 || scan_number > scanCount)
        return false;
    std::int64_t begin = 0;
    std::int64_t end = 0;
    if (!scan_range(scan_number, begin, end))
        return false;

    header = ScanHeader();
    ScanLines lines(file, begin, end);
    std::string line;
    std::string value;
    bool polarity_met = false;
    bool centroided_met = false;
    bool more = lines.next(line);
    while (more) {
        if (find_attribute(line, "num", value) &&
            static_cast<std::int64_t>(text_to_int32(value)) != scan_number)
            return false;
        if (find_attribute(line, "msLevel", value))
            header.msLevel = text_to_int32(value);
        if (find_attribute(line, "polarity", value)) {
            polarity_met = true;
            if (value == "+")
                header.polarity = 0;
            else if (value == "-")
                header.polarity = 1;
        }
        // Counted once per read: the first centroided attribute decides.
        if (!centroided_met && find_attribute(line, "centroided", value)) {
            ++centroided_scans;
            centroided_met = true;
            header.centroided = is_true_value(value);
        }
        if (find_attribute(line, "retentionTime", value))
            read_xml_duration(value, header.retentionTime);
        if (find_attribute(line, "totIonCurrent", value))
            header.totalIonCurrent = text_to_double(value);

        if (contains(line, "<precursorMz")) {
            // Its lines belong to the precursor, not to the scan's tag. An
            // unclosed element ends where the peaks begin.
            std::string element = line;
            while (!contains(line, "</precursorMz>") && !contains(line, "<peaks")) {
                if (!lines.next(line))
                    break;
                element += line;
            }
            if (find_element_text(element, "precursorMz", value))
                header.precursorMz = text_to_double(value);
            if (find_attribute(element, "precursorCharge", value))
                header.precursorCharge = text_to_int32(value);
        }
        if (contains(line, "<peaks"))
            break;
        more = lines.next(line);
    }
    if (!polarity_met)
        header.polarity = 0;
    return true;
}

bool MzXMLReader::centroid_info_complete(const PAL::SmartPtr<PAL::EventSocket>& socket) {
    PAL::post_message(socket, msg::CENTROID_STATE.level,
                      PAL::Message(msg::CENTROID_STATE.id)
                          .add(std::wstring(run_centroided_given ? L"true" : L"false"))
                          .add(centroided_scans));
    return run_centroided_given || centroided_scans == scanCount;
}

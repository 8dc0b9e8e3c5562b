#include "mzXMLReader.h"

namespace orvoeng {

MzXMLReader::MzXMLReader() = default;

// The file closes itself; the members free what they hold.
MzXMLReader::~MzXMLReader() = default;

void MzXMLReader::use_reference_paths(bool on) {
    reference = on;
    view.set_caching(!on);
}

bool MzXMLReader::read_line(std::string& line) {
    LineCursor lines(view, line_position);
    const bool got = lines.next();
    line.assign(lines.text());
    line_position = lines.next_start();
    return got;
}

bool MzXMLReader::collect_element(std::string_view open_text, std::string_view close_text,
                                  std::string& text) {
    text.clear();
    LineCursor lines(view, line_position);
    bool found = false;
    while (lines.next()) {
        const std::size_t own = lines.text().size();
        const std::string_view line = lines.whole(open_text.size() - 1);
        if (!occurs_before(line, own, open_text))
            continue;
        text.assign(line.substr(0, own));
        found = text.find(close_text) != std::string::npos;
        while (!found && lines.next()) {
            // Look from just before the new piece: a line longer than one
            // read arrives in pieces, and the closing text may straddle two.
            const std::size_t before = text.size();
            text += lines.text();
            const std::size_t from =
                before >= close_text.size() ? before - (close_text.size() - 1) : 0;
            found = text.find(close_text, from) != std::string::npos;
        }
        break;
    }
    line_position = lines.next_start();
    return found || line_position >= view.size();
}

} // namespace orvoeng

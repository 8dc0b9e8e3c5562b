#include "mzXMLReader.h"

#include <ds/messages.h>

#include <pal/exception.h>
#include <pal/message.h>

namespace orvoeng {

namespace {
constexpr const char* source_file = "mzXMLReader";
} // namespace

MzXMLReader::MzXMLReader() = default;

// The file closes itself; the members free what they hold, once no read
// ahead works on them (the look-ahead reads the index).
MzXMLReader::~MzXMLReader() {
    view.settle();
}

void MzXMLReader::post_read_failure(const PAL::SmartPtr<PAL::EventSocket>& socket) const {
    if (!socket)
        return;
    const std::uint32_t error = view.failure();
    PAL::post_message(socket, msg::READ_FAILED.level,
                      PAL::Message(msg::READ_FAILED.id)
                          .add(file_name)
                          .add(PAL::WindowsError(error, __LINE__, source_file).description())
                          .add(error, 0, 10, true));
}

bool MzXMLReader::refuse_unread(const PAL::SmartPtr<PAL::EventSocket>& socket) {
    state = OPEN_READ_FAILED;
    post_read_failure(socket);
    return false;
}

bool MzXMLReader::same_place(std::int64_t& place) {
    if (place == UNSEEN)
        place = element_start;
    changed = place != element_start;
    return !changed;
}

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
    element_start = -1;
    LineCursor lines(view, line_position);
    bool found = false;
    while (lines.next()) {
        const std::size_t own = lines.text().size();
        const std::string_view line = lines.whole(open_text.size() - 1);
        if (!occurs_before(line, own, open_text))
            continue;
        element_start = lines.line_start();
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
    return !view.failed() && (found || line_position >= view.size());
}

} // namespace orvoeng

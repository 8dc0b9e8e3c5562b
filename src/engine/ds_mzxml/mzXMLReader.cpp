#include "mzXMLReader.h"

#include <cstring>

MzXMLReader::MzXMLReader()
    : open_state(OPEN_OK), scanCount(0), centroided_scans(0), run_centroided_given(false) {}

// The file closes itself; the members free what they hold.
MzXMLReader::~MzXMLReader() = default;

bool MzXMLReader::read_line(std::string& line) {
    std::int64_t start = 0;
    if (!file.tell(start))
        return false;
    char buffer[LINE_BUFFER_SIZE];
    std::uint32_t got = 0;
    if (!file.read(buffer, LINE_BUFFER_SIZE, got))
        return false;

    std::size_t length = got;
    if (got == LINE_BUFFER_SIZE) {
        const void* feed = std::memchr(buffer, '\n', got - 1);
        if (feed) {
            length = static_cast<const char*>(feed) - buffer + 1;
            file.seek(start + static_cast<std::int64_t>(length), PAL::File::BEGIN);
        } else if (buffer[got - 1] == '\n') {
            // A line of 1023 bytes: its line feed is consumed, not returned.
            length = got - 1;
        } else {
            // No line end: keep the last byte for the next call rather than
            // lose it, so a long line comes back in pieces that join whole.
            length = got - 1;
            file.seek(start + static_cast<std::int64_t>(length), PAL::File::BEGIN);
        }
    } else if (const void* feed = std::memchr(buffer, '\n', got)) {
        // A short read ends the file: the line is whole, or the last one.
        length = static_cast<const char*>(feed) - buffer + 1;
        file.seek(start + static_cast<std::int64_t>(length), PAL::File::BEGIN);
    }

    const void* nul = std::memchr(buffer, '\0', length);
    line.assign(buffer, nul ? static_cast<const char*>(nul) - buffer : length);
    return length > 0;
}

void MzXMLReader::collect_element(const std::string& open_text, const std::string& close_text,
                                  std::string& text) {
    text.clear();
    std::string line;
    while (read_line(line)) {
        if (line.find(open_text) == std::string::npos)
            continue;
        text = line;
        if (line.find(close_text) != std::string::npos)
            return;
        while (read_line(line)) {
            // Look from just before the new piece: a line longer than one
            // read arrives in pieces, and the closing text may straddle two.
            const std::size_t before = text.size();
            text += line;
            const std::size_t from =
                before >= close_text.size() ? before - (close_text.size() - 1) : 0;
            if (text.find(close_text, from) != std::string::npos)
                return;
        }
        return;
    }
}

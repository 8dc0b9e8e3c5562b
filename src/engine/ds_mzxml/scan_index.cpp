#include "mzXMLReader.h"
#include "text_number.h"

#include <ds/messages.h>

#include <pal/message.h>
#include <pal/string.h>

#include <algorithm>
#include <cstring>
#include <locale>
#include <string_view>

namespace msg = orvoeng::msg;

namespace {
constexpr std::string_view SCAN_TAG = "<scan";
constexpr std::string_view RUN_END_TAG = "</msRun>";

// Distance from the end of the file at which indexOffset is looked for.
constexpr std::int64_t INDEX_OFFSET_TAIL = 1024;

bool contains(const std::string& text, std::string_view what) {
    return text.find(what) != std::string::npos;
}

// Every scan takes at least the bytes of its start tag, so a file holds no
// more scans than this, whatever number it declares.
std::size_t entries_to_reserve(const PAL::File& file, std::uint32_t declared) {
    std::int64_t size = 0;
    if (!file.size(size) || size < 0)
        size = 0;
    const auto most = static_cast<std::uint64_t>(size) / SCAN_TAG.size();
    return static_cast<std::size_t>(std::min<std::uint64_t>(declared, most)) + 1;
}

void release(std::vector<std::int64_t>& offsets) {
    std::vector<std::int64_t>().swap(offsets);
}

} // namespace

bool MzXMLReader::open(std::wstring name, bool header_only,
                       const PAL::SmartPtr<PAL::EventSocket>& socket,
                       const PAL::SmartPtr<PAL::Progress>& progress) {
    file_name = std::move(name);
    open_state = OPEN_OK;
    if (!file.open_read(file_name))
        return false;
    if (!recognise_format(socket))
        return false;
    if (header_only)
        return true;
    if (!read_scan_count(socket)) {
        open_state = OPEN_NO_SCAN_COUNT;
        return false;
    }
    if (read_index(socket, progress))
        return true;
    if (socket)
        PAL::post_message(socket, msg::BUILDING_INDEX.level, PAL::Message(msg::BUILDING_INDEX.id));
    if (build_index(socket, progress))
        return true;
    open_state = OPEN_NO_INDEX;
    return false;
}

bool MzXMLReader::recognise_format(const PAL::SmartPtr<PAL::EventSocket>& socket) {
    file.seek(0, PAL::File::BEGIN);
    bool xml = false, mzxml = false, msrun = false, version_20 = false, version_21 = false;
    std::string line;
    for (int n = 0; n < OPENING_LINES && read_line(line); ++n) {
        xml = xml || contains(line, "<?xml");
        mzxml = mzxml || contains(line, "<mzXML");
        msrun = msrun || contains(line, "<msRun ");
        version_20 =
            version_20 || contains(line, "mzXML_2.0") || contains(line, "mzXML_idx_2.0.xsd");
        version_21 =
            version_21 || contains(line, "mzXML_2.1") || contains(line, "mzXML_idx_2.1.xsd");
    }
    if (!version_20 && !version_21) {
        open_state = OPEN_NO_SCHEMA;
        if (socket)
            PAL::post_message(socket, msg::NO_SCHEMA.level, PAL::Message(msg::NO_SCHEMA.id));
        return false;
    }
    if (xml)
        return mzxml && msrun;
    if (mzxml || msrun)
        return false;
    open_state = OPEN_NO_START_TAGS;
    if (socket) {
        for (const wchar_t* missing : {L"?xml", L"mzXML", L"msRun"})
            PAL::post_message(socket, msg::MISSING_START_TAG.level,
                              PAL::Message(msg::MISSING_START_TAG.id).add(std::wstring(missing)));
    }
    return false;
}

bool MzXMLReader::read_scan_count(const PAL::SmartPtr<PAL::EventSocket>& socket) {
    if (scanCount != 0)
        return true;
    file.seek(0, PAL::File::BEGIN);
    bool found = false;
    std::string line, value;
    while (read_line(line)) {
        if (find_attribute(line, "scanCount", value)) {
            scanCount = static_cast<std::uint32_t>(text_to_int32(value));
            found = true;
            break;
        }
    }
    if (socket)
        PAL::post_message(socket, msg::SCAN_COUNT.level,
                          PAL::Message(msg::SCAN_COUNT.id).add(scanCount));
    return found;
}

std::int64_t MzXMLReader::read_index_offset(const PAL::SmartPtr<PAL::EventSocket>& socket) {
    // A file shorter than the tail is read whole.
    if (!file.seek(-INDEX_OFFSET_TAIL, PAL::File::END))
        file.seek(0, PAL::File::BEGIN);
    std::int64_t index_offset = 0;
    std::string line, text, nil;
    while (read_line(line)) {
        if (!find_element_text(line, "indexOffset", text))
            continue;
        if (find_attribute(line, "xsi:nil", nil) && is_true_value(nil))
            index_offset = 0;
        else
            index_offset = text_to_int64(text);
    }
    if (socket)
        PAL::post_message(socket, msg::INDEX_OFFSET.level,
                          PAL::Message(msg::INDEX_OFFSET.id).add(index_offset));
    return index_offset;
}

bool MzXMLReader::read_index(const PAL::SmartPtr<PAL::EventSocket>& socket,
                             const PAL::SmartPtr<PAL::Progress>& progress) {
    const std::int64_t index_offset = read_index_offset(socket);
    if (index_offset <= 0) {
        release(offsets);
        return false;
    }
    std::string line, name;
    if (!file.seek(index_offset, PAL::File::BEGIN) || !read_line(line) ||
        !find_attribute(line, "name", name) || name != "scan") {
        if (socket)
            PAL::post_message(socket, msg::NOT_A_SCAN_INDEX.level,
                              PAL::Message(msg::NOT_A_SCAN_INDEX.id));
        return false;
    }

    PAL::SmartPtr<PAL::Progress> node(new PAL::Progress(progress, scanCount, 1));
    offsets.reserve(entries_to_reserve(file, scanCount));
    std::int32_t expected = 1;
    bool result = true;
    std::string id_text, offset_text;
    while (read_line(line)) {
        if (contains(line, "</index"))
            break;
        if (!find_attribute(line, "id", id_text) ||
            !find_element_text(line, "offset", offset_text)) {
            if (socket)
                PAL::post_message(socket, msg::BAD_INDEX_LINE.level,
                                  PAL::Message(msg::BAD_INDEX_LINE.id)
                                      .add(PAL::to_wide(line, std::locale::classic())));
            result = false;
            break;
        }
        const std::int32_t id = text_to_int32(id_text);
        if (id != expected) {
            if (socket)
                PAL::post_message(socket, msg::ID_OUT_OF_ORDER.level,
                                  PAL::Message(msg::ID_OUT_OF_ORDER.id).add(id).add(expected));
            result = false;
            break;
        }
        const std::int64_t offset = text_to_int64(offset_text);
        if (socket)
            PAL::post_message(socket, msg::SCAN_OFFSET.level,
                              PAL::Message(msg::SCAN_OFFSET.id).add(expected).add(offset));
        offsets.push_back(offset);
        ++expected;
        node->step(1);
    }

    if (offsets.size() == scanCount) {
        offsets.push_back(index_offset);
    } else {
        if (socket)
            PAL::post_message(socket, msg::ENTRIES_DIFFER.level,
                              PAL::Message(msg::ENTRIES_DIFFER.id)
                                  .add(static_cast<std::uint32_t>(offsets.size()))
                                  .add(scanCount));
        result = false;
    }
    // Converters write indexes with shifted offsets (miscounted line ends,
    // files rewritten after indexing); every scan read would then fail, so
    // such an index is not used: the search builds a good one.
    if (result && !index_is_sound())
        result = false;

    node.reset();
    if (!result)
        release(offsets);
    return result;
}

bool MzXMLReader::index_is_sound() {
    std::int64_t size = 0;
    if (offsets.empty() || !file.size(size))
        return false;
    if (offsets.front() < 0 || offsets.back() > size)
        return false;
    for (std::size_t i = 1; i < offsets.size(); ++i)
        if (offsets[i] <= offsets[i - 1])
            return false;

    // One read covers every scan start that fits in a block, so scans
    // closer together than a block cost no read of their own.
    const std::size_t scans = offsets.size() - 1;
    const std::int64_t tag = static_cast<std::int64_t>(SCAN_TAG.size());
    std::vector<char> block(SCAN_BUFFER_SIZE);
    for (std::size_t first = 0; first < scans;) {
        const std::int64_t from = offsets[first];
        std::size_t last = first;
        while (last + 1 < scans && offsets[last + 1] + tag - from <= SCAN_BUFFER_SIZE)
            ++last;
        const auto want = static_cast<std::uint32_t>(offsets[last] + tag - from);
        std::uint32_t got = 0;
        if (!file.read_at(from, block.data(), want, got) || got != want)
            return false;
        for (std::size_t k = first; k <= last; ++k)
            if (std::string_view(block.data() + (offsets[k] - from), SCAN_TAG.size()) != SCAN_TAG)
                return false;
        first = last + 1;
    }
    return true;
}

bool MzXMLReader::build_index(const PAL::SmartPtr<PAL::EventSocket>& socket,
                              const PAL::SmartPtr<PAL::Progress>& progress) {
    // Bytes kept from one block for the next, so that a "<scan" or a
    // "</msRun>" split between two reads is still found.
    constexpr std::size_t KEEP = RUN_END_TAG.size() - 1;
    std::vector<char> buffer(SCAN_BUFFER_SIZE + 1);
    offsets.reserve(entries_to_reserve(file, scanCount));
    PAL::SmartPtr<PAL::Progress> node(new PAL::Progress(progress, scanCount, 1));

    std::uint32_t found = 0;
    std::int64_t base = 0;       // file offset of buffer[0]
    std::size_t kept = 0;        // bytes carried at the buffer's start
    std::size_t search_from = 0; // where "<scan" was not searched yet
    std::int64_t run_end = -1;
    bool result = true;

    std::uint32_t got = 0;
    while (result &&
           file.read_at(base + static_cast<std::int64_t>(kept), buffer.data() + kept,
                        static_cast<std::uint32_t>(SCAN_BUFFER_SIZE - kept), got) &&
           got > 0) {
        const std::size_t length = kept + got;
        buffer[length] = '\0';
        const std::string_view text(buffer.data(), length);

        for (std::size_t at = text.find(SCAN_TAG, search_from); at != std::string_view::npos;
             at = text.find(SCAN_TAG, at + SCAN_TAG.size())) {
            if (++found > scanCount) {
                result = false;
                break;
            }
            const std::int64_t offset = base + static_cast<std::int64_t>(at);
            if (socket)
                PAL::post_message(socket, msg::SCAN_OFFSET.level,
                                  PAL::Message(msg::SCAN_OFFSET.id).add(found).add(offset));
            offsets.push_back(offset);
            node->step(1);
            search_from = at + SCAN_TAG.size();
        }
        // The last "</msRun>" ends the run (searched forwards: rfind tests
        // every position, find skips to candidate bytes).
        for (std::size_t at = text.find(RUN_END_TAG); at != std::string_view::npos;
             at = text.find(RUN_END_TAG, at + 1))
            run_end = base + static_cast<std::int64_t>(at);

        // Matches that start before the last few bytes are complete and
        // already counted; only the tail may hold the start of one.
        const std::size_t tail_start = length > KEEP ? length - KEEP : 0;
        const std::size_t resume =
            std::max(search_from, length > SCAN_TAG.size() - 1 ? length - (SCAN_TAG.size() - 1)
                                                               : std::size_t{0});
        kept = length - tail_start;
        std::memmove(buffer.data(), buffer.data() + tail_start, kept);
        base += static_cast<std::int64_t>(tail_start);
        search_from = resume > tail_start ? resume - tail_start : 0;
    }

    if (found != scanCount) {
        if (socket)
            PAL::post_message(socket, msg::SCANS_FOUND_DIFFER.level,
                              PAL::Message(msg::SCANS_FOUND_DIFFER.id).add(found).add(scanCount));
        result = false;
    }
    // Without "</msRun>" the last scan runs to the end of the file.
    if (run_end < 0 && !file.size(run_end))
        run_end = base + static_cast<std::int64_t>(kept);
    offsets.push_back(run_end);

    node.reset();
    return result;
}

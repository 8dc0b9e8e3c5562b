#include "filled_list.h"
#include "gathered_steps.h"
#include "mzXMLReader.h"
#include "scan_record.h"
#include "text_number.h"

#include <ds/messages.h>

#include <pal/message.h>
#include <pal/string.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <locale>
#include <string_view>
#include <utility>

namespace orvoeng {

namespace {
constexpr std::string_view SCAN_TAG = "<scan";
constexpr std::string_view RUN_END_TAG = "</msRun>";

// Distance from the end of the file at which indexOffset is looked for.
constexpr std::int64_t INDEX_OFFSET_TAIL = 1024;
// How far past a line piece a value is followed to be read whole.
constexpr std::size_t VALUE_REACH = 4096;
// The bytes of the shortest line that lists a scan: `<offset id="1">0</offset>`.
constexpr std::uint64_t SHORTEST_INDEX_LINE = 25;

// Every scan takes at least the bytes of its start tag, so a file holds no
// more scans than this, whatever number it declares.
std::size_t entries_to_reserve(std::int64_t size, std::uint32_t declared) {
    const auto most = static_cast<std::uint64_t>(std::max<std::int64_t>(size, 0)) / SCAN_TAG.size();
    return static_cast<std::size_t>(std::min<std::uint64_t>(declared, most)) + 1;
}

void release(ScanOffsets& offsets) {
    ScanOffsets().swap(offsets);
}

// Where the digits from `at` end, at least one of them and at most 18, or
// npos; `value` their number, which 18 digits always hold. A longer number
// is left to the general conversion, which saturates it.
std::size_t digits_end(std::string_view text, std::size_t at, std::int64_t& value) {
    constexpr std::size_t MOST = 18;
    const std::size_t start = at;
    const std::size_t stop = std::min(text.size(), start + MOST + 1);
    std::int64_t sum = 0;
    while (at < stop && text[at] >= '0' && text[at] <= '9') {
        sum = sum * 10 + (text[at] - '0');
        ++at;
    }
    if (at == start || at - start > MOST)
        return std::string_view::npos;
    value = sum;
    return at;
}

// Whether `text` holds `what` at `at`: a compare of a known size, which
// the compiler makes a few word compares instead of a call.
template <std::size_t N>
bool holds_at(std::string_view text, std::size_t at, const char (&what)[N]) {
    return text.size() >= at && text.size() - at >= N - 1 &&
           std::memcmp(text.data() + at, what, N - 1) == 0;
}

// An index line as writers write it, `<offset id="N">M</offset>` between
// blanks and ended by a line feed, with numbers of at most 18 digits, at
// the start of `bytes`: the length of the line, feed included, or 0 for any
// other. Its id and offset are the values the searches of any line find in
// it (the first "=" follows "id", the first "<offset" is its element), so
// they are taken without them, and the line is whole in one line read, so
// it is the line the cursor gives.
std::size_t plain_index_line(std::string_view bytes, std::int64_t& id, std::int64_t& offset) {
    static constexpr char OPEN[] = "<offset id=\"";
    static constexpr char CLOSE[] = "</offset>";
    const std::size_t size = std::min(bytes.size(), LineCursor::LINE_BUFFER_SIZE - 1);
    std::size_t at = 0;
    while (at < size && (bytes[at] == ' ' || bytes[at] == '\t'))
        ++at;
    if (!holds_at(bytes, at, OPEN))
        return 0;
    const std::size_t id_end = digits_end(bytes, at + sizeof(OPEN) - 1, id);
    if (id_end == std::string_view::npos || !holds_at(bytes, id_end, "\">"))
        return 0;
    const std::size_t offset_end = digits_end(bytes, id_end + 2, offset);
    if (offset_end == std::string_view::npos || !holds_at(bytes, offset_end, CLOSE))
        return 0;
    std::size_t rest = offset_end + sizeof(CLOSE) - 1;
    while (rest < size && bytes[rest] != '\n' && is_xml_space(bytes[rest]))
        ++rest;
    if (rest >= size || bytes[rest] != '\n')
        return 0;
    return rest + 1;
}

} // namespace

bool MzXMLReader::open(std::wstring name, bool header_only,
                       const PAL::SmartPtr<PAL::EventSocket>& socket,
                       const PAL::SmartPtr<PAL::Progress>& progress) {
    file_name = std::move(name);
    state = OPEN_OK;
    ahead_scan = 0;
    ahead_after = 0;
    std::vector<ScanRecord>().swap(early_records);
    early_centroided = 0;
    view.settle();
    begin_operation();
    if (!file.open_read(file_name))
        return false;
    view.reset();
    if (view.failed())
        return refuse_unread(socket);
    // Each step judges the file by what it read only when every read
    // succeeded: a failed read is told as such, not as a fault of the file.
    const bool recognised = recognise_format(socket);
    if (view.failed())
        return refuse_unread(socket);
    if (!recognised)
        return false;
    if (header_only)
        return true;
    const bool counted = read_scan_count(socket);
    if (view.failed())
        return refuse_unread(socket);
    if (!counted) {
        state = OPEN_NO_SCAN_COUNT;
        return false;
    }
    bool indexed = read_index(socket, progress);
    if (!indexed)
        std::vector<ScanRecord>().swap(early_records);
    // A listed offset that starts no scan tag shows the index is not this
    // file's: the search builds a good one.
    if (indexed && !read_headers_ahead()) {
        release(index);
        indexed = false;
    }
    if (view.failed())
        return refuse_unread(socket);
    if (indexed)
        return true;
    if (socket)
        PAL::post_message(socket, msg::BUILDING_INDEX.level, PAL::Message(msg::BUILDING_INDEX.id));
    const bool built = build_index(socket, progress);
    if (view.failed())
        return refuse_unread(socket);
    if (built)
        return true;
    state = OPEN_NO_INDEX;
    return false;
}

bool MzXMLReader::recognise_format(const PAL::SmartPtr<PAL::EventSocket>& socket) {
    begin_operation();
    start_operation();
    bool xml = false, mzxml = false, msrun = false, version_20 = false, version_21 = false;
    LineCursor lines(view, 0);
    for (int n = 0; n < OPENING_LINES && lines.next(); ++n) {
        const std::size_t own = lines.text().size();
        const std::string_view line = lines.whole(16);
        const auto has = [&](std::string_view what) { return occurs_before(line, own, what); };
        xml = xml || has("<?xml");
        mzxml = mzxml || has("<mzXML");
        msrun = msrun || find_tag_with_attributes(line, "<msRun") < own;
        version_20 = version_20 || has("mzXML_2.0") || has("mzXML_idx_2.0.xsd");
        version_21 = version_21 || has("mzXML_2.1") || has("mzXML_idx_2.1.xsd");
    }
    if (view.failed())
        return false;
    if (!version_20 && !version_21) {
        state = OPEN_NO_SCHEMA;
        if (socket)
            PAL::post_message(socket, msg::NO_SCHEMA.level, PAL::Message(msg::NO_SCHEMA.id));
        return false;
    }
    if (xml)
        return mzxml && msrun;
    if (mzxml || msrun)
        return false;
    state = OPEN_NO_START_TAGS;
    if (socket) {
        for (const wchar_t* missing : {L"?xml", L"mzXML", L"msRun"})
            PAL::post_message(socket, msg::MISSING_START_TAG.level,
                              PAL::Message(msg::MISSING_START_TAG.id).add(std::wstring(missing)));
    }
    return false;
}

bool MzXMLReader::read_scan_count(const PAL::SmartPtr<PAL::EventSocket>& socket) {
    begin_operation();
    if (scanCount != 0)
        return true;
    start_operation();
    bool found = false;
    LineCursor lines(view, 0);
    while (lines.next()) {
        const std::size_t own = lines.text().size();
        std::string_view value;
        if (attribute_view(lines.whole(VALUE_REACH), "scanCount", value, own)) {
            scanCount = static_cast<std::uint32_t>(text_to_int32(value));
            found = true;
            break;
        }
    }
    if (view.failed())
        return false;
    if (socket)
        PAL::post_message(socket, msg::SCAN_COUNT.level,
                          PAL::Message(msg::SCAN_COUNT.id).add(scanCount));
    return found;
}

std::int64_t MzXMLReader::read_index_offset(const PAL::SmartPtr<PAL::EventSocket>& socket) {
    begin_operation();
    start_operation();
    // A file shorter than the tail is read whole.
    LineCursor lines(view, std::max<std::int64_t>(view.size() - INDEX_OFFSET_TAIL, 0));
    std::int64_t index_offset = 0;
    while (lines.next()) {
        const std::size_t own = lines.text().size();
        const std::string_view line = lines.whole(VALUE_REACH);
        std::string_view text, nil;
        if (!element_text_view(line, "indexOffset", text, own))
            continue;
        if (attribute_view(line, "xsi:nil", nil) && is_true_value(nil))
            index_offset = 0;
        else
            index_offset = text_to_int64(text);
    }
    if (view.failed())
        return 0;
    if (socket)
        PAL::post_message(socket, msg::INDEX_OFFSET.level,
                          PAL::Message(msg::INDEX_OFFSET.id).add(index_offset));
    return index_offset;
}

bool MzXMLReader::read_index(const PAL::SmartPtr<PAL::EventSocket>& socket,
                             const PAL::SmartPtr<PAL::Progress>& progress) {
    const std::int64_t index_offset = read_index_offset(socket);
    if (index_offset <= 0) {
        release(index);
        return false;
    }
    LineCursor lines(view, index_offset);
    std::string_view name;
    if (!lines.next() ||
        !attribute_view(lines.whole(VALUE_REACH), "name", name, lines.text().size()) ||
        name != "scan") {
        if (view.failed())
            return false;
        if (socket)
            PAL::post_message(socket, msg::NOT_A_SCAN_INDEX.level,
                              PAL::Message(msg::NOT_A_SCAN_INDEX.id));
        return false;
    }

    PAL::SmartPtr<PAL::Progress> node(new PAL::Progress(progress, scanCount, 1));
    GatheredSteps steps(*node);
    index.reserve(entries_to_reserve(view.size(), scanCount));
    // The index's lines keep one core busy: the headers of the scans they
    // list are read on the other meanwhile, into the room made for the
    // header pass's records. The room is for the scans the index's bytes
    // can list, whatever count the file declares.
    if (!reference) {
        const auto listable =
            static_cast<std::uint64_t>(view.size() - index_offset) / SHORTEST_INDEX_LINE;
        reserve_filled(early_records,
                       static_cast<std::size_t>(std::min<std::uint64_t>(scanCount, listable)));
        early_headers.start(file_name, view.size(), index.data(), early_records,
                            look_ahead.is_thorough());
    }
    // Ended however the index's read ends, a failure that raises included:
    // the thread reads the index and fills the records.
    struct EndEarly {
        EarlyHeaders& thread;
        ~EndEarly() { thread.finish(); }
    } const end_early{early_headers};
    std::int32_t expected = 1;
    bool result = true;
    // Lines as writers write them are taken straight from the view's bytes;
    // any other line is read by the cursor, the way every line could be.
    std::int64_t at = lines.next_start();
    for (;;) {
        std::int64_t id_value = 0;
        std::int64_t offset = 0;
        std::size_t length = 0;
        if (!reference)
            length =
                plain_index_line(view.bytes(at, LineCursor::LINE_BUFFER_SIZE), id_value, offset);
        if (length > 0) {
            at += static_cast<std::int64_t>(length);
        } else {
            std::string_view id_text, offset_text;
            LineCursor one(view, at);
            if (!one.next())
                break;
            at = one.next_start();
            const std::size_t own = one.text().size();
            const std::string_view line = one.whole(VALUE_REACH);
            if (occurs_before(line, own, "</index"))
                break;
            if (!attribute_view(line, "id", id_text, own) ||
                !element_text_view(line, "offset", offset_text, own)) {
                if (socket && !view.failed())
                    PAL::post_message(socket, msg::BAD_INDEX_LINE.level,
                                      PAL::Message(msg::BAD_INDEX_LINE.id)
                                          .add(PAL::to_wide(std::string(line.substr(0, own)),
                                                            std::locale::classic())));
                result = false;
                break;
            }
            id_value = text_to_int32(id_text);
            offset = text_to_int64(offset_text);
        }
        // An id past the type's limits saturates, as its text's conversion does.
        const auto id = static_cast<std::int32_t>(
            std::min<std::int64_t>(id_value, std::numeric_limits<std::int32_t>::max()));
        if (id != expected) {
            if (socket)
                PAL::post_message(socket, msg::ID_OUT_OF_ORDER.level,
                                  PAL::Message(msg::ID_OUT_OF_ORDER.id).add(id).add(expected));
            result = false;
            break;
        }
        // One notice per scan: posted without a message built for it.
        PAL::post_numbers(socket, msg::SCAN_OFFSET.level, msg::SCAN_OFFSET.id, {expected, offset});
        // The early headers read the index where it is: it must not move.
        if (index.size() == index.capacity())
            early_headers.finish();
        index.push_back(offset);
        early_headers.listed(index.size());
        ++expected;
        steps.step();
    }
    steps.finish();
    early_headers.finish(); // before the index's end is added, which may move it

    if (view.failed()) {
        result = false;
    } else if (index.size() == scanCount) {
        index.push_back(index_offset);
    } else {
        if (socket)
            PAL::post_message(socket, msg::ENTRIES_DIFFER.level,
                              PAL::Message(msg::ENTRIES_DIFFER.id)
                                  .add(static_cast<std::uint32_t>(index.size()))
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
        release(index);
    return result;
}

bool MzXMLReader::index_is_sound() const {
    if (index.empty() || index.front() < 0 || index.back() > view.size())
        return false;
    for (std::size_t i = 1; i < index.size(); ++i)
        if (index[i] <= index[i - 1])
            return false;
    return true;
}

bool MzXMLReader::read_headers_ahead() {
    // The offsets rise, so the view reads them in large forward blocks. The
    // headers stop at the first that cannot be read or whose level no record
    // carries, which the walk reads again; the scan tags are looked at to
    // the end. The index has an entry a listed scan, so every record made
    // here is one the walk lists.
    // The index's read made room for the records, and made those of the
    // first scans while it read the index (early_headers.h).
    bool headers = !reference;
    const std::size_t early = early_records.size();
    early_centroided = early > 0 ? early_headers.centroided() : 0;
    if (headers && early_records.capacity() < index.size() - 1)
        reserve_filled(early_records, index.size() - 1);
    start_operation();
    // Their scans' tags were seen where the index puts them.
    for (std::size_t i = early; i + 1 < index.size(); ++i) {
        HeaderRead read = HeaderRead::FAILED;
        if (headers) {
            HeaderValues values;
            read = parse_scan_header(static_cast<std::uint32_t>(i + 1), values);
            const ScanHeader& header = values.finished();
            headers = read != HeaderRead::FAILED && level_fits(header);
            if (headers) {
                early_records.push_back(record_of(header));
                early_centroided += values.centroided_met ? 1 : 0;
            } else {
                start_operation();
            }
        }
        // A header read in one pass was read from bytes that start with the
        // tag, mostly by the look-ahead on the other thread: they are not
        // met again here.
        if (read != HeaderRead::ONE_PASS && view.bytes(index[i], SCAN_TAG.size()) != SCAN_TAG) {
            std::vector<ScanRecord>().swap(early_records);
            early_centroided = 0;
            return false;
        }
    }
    return true;
}

bool MzXMLReader::build_index(const PAL::SmartPtr<PAL::EventSocket>& socket,
                              const PAL::SmartPtr<PAL::Progress>& progress) {
    // Windows overlap by the bytes a "<scan" or a "</msRun>" split between
    // two of them needs; a match is counted in the window where it is whole.
    constexpr std::size_t KEEP = RUN_END_TAG.size() - 1;
    const std::size_t block = reference ? SCAN_BUFFER_SIZE : FileView::BLOCK;
    begin_operation();
    start_operation();
    index.reserve(entries_to_reserve(view.size(), scanCount));
    PAL::SmartPtr<PAL::Progress> node(new PAL::Progress(progress, scanCount, 1));
    GatheredSteps steps(*node);

    std::uint32_t found = 0;
    std::int64_t base = 0;        // file offset of the window
    std::int64_t search_from = 0; // where "<scan" was not searched yet
    std::int64_t run_end = -1;
    bool result = true;
    for (;;) {
        const std::string_view text = view.bytes(base, block);
        if (text.empty())
            break;
        // One pass over the window's "<": a scan start or the run's end.
        const auto first = static_cast<std::size_t>(std::max<std::int64_t>(search_from - base, 0));
        for (std::size_t pos = text.find('<'); pos != std::string_view::npos;
             pos = text.find('<', pos + 1)) {
            const std::string_view rest = text.substr(pos);
            if (pos >= first && rest.starts_with(SCAN_TAG)) {
                if (++found > scanCount) {
                    result = false;
                    break;
                }
                const std::int64_t offset = base + static_cast<std::int64_t>(pos);
                PAL::post_numbers(socket, msg::SCAN_OFFSET.level, msg::SCAN_OFFSET.id,
                                  {found, offset});
                index.push_back(offset);
                steps.step();
                search_from = offset + static_cast<std::int64_t>(SCAN_TAG.size());
            } else if (rest.starts_with(RUN_END_TAG)) {
                // The last "</msRun>" ends the run.
                run_end = base + static_cast<std::int64_t>(pos);
            }
        }
        if (!result || text.size() < block || text.size() <= KEEP)
            break;
        // Matches that start before the window's last few bytes are whole in
        // it and already counted; only the tail may hold the start of one.
        const std::int64_t end = base + static_cast<std::int64_t>(text.size());
        search_from = std::max(search_from, end - static_cast<std::int64_t>(SCAN_TAG.size() - 1));
        base = end - static_cast<std::int64_t>(KEEP);
    }
    steps.finish();

    if (view.failed()) {
        result = false;
    } else if (found != scanCount) {
        if (socket)
            PAL::post_message(socket, msg::SCANS_FOUND_DIFFER.level,
                              PAL::Message(msg::SCANS_FOUND_DIFFER.id).add(found).add(scanCount));
        result = false;
    }
    // Without "</msRun>" the last scan runs to the end of the file.
    if (run_end < 0)
        run_end = view.size();
    index.push_back(run_end);

    node.reset();
    return result;
}

} // namespace orvoeng

#include "mzXMLReader.h"

#include <ds/messages.h>

#include "one_pass_peaks.h"
#include "peak_widen.h"
#include "text_number.h"

#include <pal/exception.h>
#include <pal/memory.h>
#include <pal/message.h>
#include <pal/string.h>

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

namespace orvoeng {

namespace {

constexpr const char* source_file = "mzXMLReader";

constexpr std::size_t npos = std::string_view::npos;
// The bytes of the next scan brought to the cache ahead of its fetch.
constexpr std::int64_t SCAN_PREFETCH = 8192;

// Whether a scan's bytes, read now, are still those of the scan the listing
// found there: all there (the file was not cut) and opening with a whole
// scan start tag (the file was not rewritten over it). The check is what
// keeps a changed file from passing for empty spectra.
bool still_the_scan(std::string_view text, std::size_t length) {
    return text.size() == length && opens_with_scan_tag(text);
}

void post_count_mismatch(const PAL::SmartPtr<PAL::EventSocket>& socket, std::uint32_t scan_number,
                         std::int32_t peak_count, std::size_t mz_count) {
    PAL::post_message(socket, msg::PEAK_COUNT_DIFFERS.level,
                      PAL::Message(msg::PEAK_COUNT_DIFFERS.id)
                          .add(scan_number)
                          .add(peak_count)
                          .add(static_cast<std::uint32_t>(mz_count)));
}

// Which of the required peaks attributes a scan lacks, comma-separated.
std::wstring missing_attributes(bool precision, bool byte_order, bool pair_order) {
    std::wstring text;
    if (!precision)
        text += L"precision=(\"32\" or \"64\")";
    if (!byte_order) {
        if (!text.empty())
            text += L',';
        text += L"byteOrder=\"network\"";
    }
    if (!pair_order) {
        if (!text.empty())
            text += L',';
        text += L"pairOrder=\"m/z-int\"";
    }
    return text;
}

// Decodes `count` peaks of type T from `text` and appends them. A single
// all-zero pair is how writers store an empty scan: it sets `count` to 0.
template <class T>
void decode_peaks(std::string_view text, std::int32_t& count, std::vector<double>& mz_values,
                  std::vector<double>& intensities) {
    const std::size_t n = 2 * static_cast<std::size_t>(count);
    std::vector<T> values;
    // One more value than the pairs is tolerated and ignored.
    PAL::base64_decode_vector(text, PAL::BIG_ENDIAN_ORDER, n, n + 1, values);
    PAL_ASSERT(values.size() >= n, L"Value count mismatch");
    if (count == 1 && values[0] == T(0) && values[1] == T(0)) {
        count = 0;
        return;
    }
    mz_values.reserve(mz_values.size() + static_cast<std::size_t>(count));
    intensities.reserve(intensities.size() + static_cast<std::size_t>(count));
    for (std::size_t i = 0; i < n; i += 2) {
        mz_values.push_back(static_cast<double>(values[i]));
        intensities.push_back(static_cast<double>(values[i + 1]));
    }
}

// Widens the `got` values decoded from peak text (`text_size` bytes) into
// the host's list, judging them as base64_decode_vector would: too few
// values raise, so every failure is the same.
template <class T>
std::uint32_t widen_values(std::size_t text_size, std::uint32_t got, std::int32_t& count,
                           std::vector<Peak>& peaks, double min_mz, const unsigned char* bytes) {
    const std::size_t n = 2 * static_cast<std::size_t>(count);
    if (got < n)
        PAL_RAISE(PAL::StrDecodeError, PAL::DECODE_INPUT_EXHAUSTED,
                  static_cast<std::uint32_t>(text_size));
    PAL_ASSERT(got >= n, L"Value count mismatch");
    if (count == 1 && big_endian_value<T>(bytes) == T(0) &&
        big_endian_value<T>(bytes + sizeof(T)) == T(0)) {
        count = 0;
        return 0;
    }
    // Widened a chunk at a time into a buffer that stays in the cache, and
    // copied from there: a list sized first would be cleared before it is
    // written, and one filled a peak at a time cannot take vector steps.
    constexpr std::size_t CHUNK = 256;
    Peak chunk[CHUNK];
    const auto total = static_cast<std::size_t>(count);
    bool all_above = true;
    peaks.clear();
    peaks.reserve(total);
    for (std::size_t done = 0; done < total; done += CHUNK) {
        const std::size_t size = std::min(CHUNK, total - done);
        all_above = widen_pairs<T>(bytes + 2 * sizeof(T) * done, size, chunk, min_mz) && all_above;
        peaks.insert(peaks.end(), chunk, chunk + size);
    }
    if (!all_above) // NaN too
        std::erase_if(peaks, [min_mz](const Peak& peak) { return !(peak.mz > min_mz); });
    return static_cast<std::uint32_t>(count);
}

// decode_peaks straight into the host's list. The values are decoded into a
// buffer the reader keeps (so it stays in cache and is never cleared), and
// widened from it into the list, the byte order turned on the way. Sizes,
// errors and the room given to the decoder are those of
// base64_decode_vector, so every failure is the same.
template <class T>
std::uint32_t decode_into(std::string_view text, std::int32_t& count, std::vector<Peak>& peaks,
                          double min_mz, std::vector<unsigned char>& buffer) {
    const std::size_t n = 2 * static_cast<std::size_t>(count);
    const std::size_t decodable = text.size() / 4 * 3 / sizeof(T) + 1;
    const std::size_t room = std::min(n + 1, decodable);
    if (buffer.size() < room * sizeof(T))
        buffer.resize(room * sizeof(T));
    const std::uint32_t got =
        PAL::base64_decode_ws(text, PAL::NATIVE_ORDER, sizeof(T), room, buffer.data());
    return widen_values<T>(text.size(), got, count, peaks, min_mz, buffer.data());
}

// How many whole m/z, intensity pairs the peaks element at `peaks` holds,
// in the precision it names; 0 when it holds none or its data do not decode.
std::uint32_t pairs_in(std::string_view text, std::size_t peaks,
                       std::vector<unsigned char>& buffer) {
    const std::size_t gt = text.find('>', peaks);
    if (gt == npos)
        return 0;
    const std::size_t close = find_text(text, "</peaks>", gt + 1);
    const std::string_view data =
        text.substr(gt + 1, (close == npos ? text.size() : close) - gt - 1);
    const std::size_t unit =
        find_text(text.substr(peaks, gt - peaks), "precision=\"64\"") != npos ? 8 : 4;
    const std::size_t room = data.size() / 4 * 3 / unit + 1;
    if (buffer.size() < room * unit)
        buffer.resize(room * unit);
    std::uint32_t pairs = 0;
    try {
        pairs = PAL::base64_decode_ws(data, PAL::NATIVE_ORDER, unit, room, buffer.data()) / 2;
    } catch (const PAL::Exception&) {
        return 0;
    }
    // One pair of zeros is how writers store an empty scan, as it is with a
    // count of 1: it holds no value to leave unread.
    // The bytes stand as the file has them, big-endian: a value is zero,
    // of either sign, when every bit but the sign bit is clear.
    const auto zero = [&](std::size_t at) {
        if ((buffer[at] & 0x7F) != 0)
            return false;
        return std::all_of(buffer.begin() + static_cast<std::ptrdiff_t>(at + 1),
                           buffer.begin() + static_cast<std::ptrdiff_t>(at + unit),
                           [](unsigned char byte) { return byte == 0; });
    };
    if (pairs == 1 && zero(0) && zero(unit))
        return 0;
    return pairs;
}

} // namespace

struct MzXMLReader::PeakText {
    std::int32_t count = 0;
    bool single = false;
    std::string_view content;
    std::wstring refusal; // why peaks that are there cannot be read
};

bool MzXMLReader::scan_text(std::uint32_t scan_number, std::string_view& text,
                            const PAL::SmartPtr<PAL::EventSocket>& socket, std::wstring& refusal,
                            AheadPeaks* ahead) {
    begin_operation();
    if (!listed(scan_number))
        return false;
    std::int64_t begin = 0;
    std::int64_t end = 0;
    // A range the file cannot hold is refused before anything is read.
    if (!scan_range(scan_number, begin, end) ||
        end - begin > std::numeric_limits<std::uint32_t>::max()) {
        post_count_mismatch(socket, scan_number, 0, 0);
        return false;
    }
    const auto length = static_cast<std::size_t>(end - begin);
    // Blocks read ahead for peak reads come with their plain scans decoded.
    start_peak_read(scan_number);
    text = view.bytes(begin, length);
    if (view.failed()) {
        post_read_failure(socket);
        PAL_RAISE(PAL::WindowsError, view.failure());
    }
    // The look-ahead reads peaks only from bytes that open with the scan's
    // whole tag: bytes it decoded on the other thread are not met here.
    if (ahead && text.size() == length) {
        ahead->peaks = look_ahead.peaks(begin, length, ahead->values);
        if (ahead->peaks)
            return true;
    }
    prefetch_next_scan(scan_number, SCAN_PREFETCH);
    if (!still_the_scan(text, length)) {
        refusal = FILE_CHANGED_REASON;
        return false;
    }
    return true;
}

bool MzXMLReader::locate_peaks(std::uint32_t scan_number, std::string_view text, bool& centroided,
                               PeakText& found, const PAL::SmartPtr<PAL::EventSocket>& socket) {
    // Both names in one pass: the scan's bytes are mostly peak data.
    std::string_view values[2];
    bool given[2];
    attribute_views(text, ALL_OF_IT, PEAK_SCAN_NAMES, values, given);
    if (given[0])
        found.count = text_to_int32(values[0]);
    if (given[1])
        centroided = is_true_value(values[1]);

    const std::size_t peaks = find_tag_with_attributes(text, "<peaks");
    if (peaks == npos)
        return false;
    if (found.count == 0) {
        // No peaks to read, but data left unread are said.
        if (const std::uint32_t pairs = pairs_in(text, peaks, peak_bytes); pairs > 0)
            post_count_mismatch(socket, scan_number, 0, pairs);
        return false;
    }
    // The attributes are looked for up to the end of the scan, not only in
    // the tag; 32 bits win when both precisions are named.
    const std::string_view from = text.substr(peaks);
    found.single = find_text(from, "precision=\"32\"") != npos;
    const bool precision = found.single || find_text(from, "precision=\"64\"") != npos;
    const bool byte_order = find_text(from, "byteOrder=\"network\"") != npos;
    const bool pair_order = find_text(from, "pairOrder=\"m/z-int\"") != npos;
    if (!precision || !byte_order || !pair_order) {
        PAL::post_message(socket, msg::PEAK_ATTRIBUTES_MISSING.level,
                          PAL::Message(msg::PEAK_ATTRIBUTES_MISSING.id)
                              .add(scan_number)
                              .add(missing_attributes(precision, byte_order, pair_order)));
        return false;
    }
    const std::size_t gt = text.find('>', peaks);
    const std::size_t content = gt == npos ? text.size() : gt + 1;
    // Compressed bytes decoded as values could pass for peaks when the
    // sizes happen to fit: only uncompressed data are read.
    std::string_view compression;
    if (attribute_view(text.substr(peaks, content - peaks), "compressionType", compression) &&
        compression != "none") {
        found.refusal = L"Unsupported compressionType=\"" +
                        PAL::to_wide(std::string(compression), std::locale::classic()) + L"\"";
        return false;
    }
    const std::size_t close = find_text(text, "</peaks>", content);
    found.content = text.substr(content, (close == npos ? text.size() : close) - content);
    // No text holds a negative number of peaks.
    if (found.count < 0)
        PAL_RAISE(PAL::StrDecodeError, PAL::DECODE_INPUT_EXHAUSTED,
                  static_cast<std::uint32_t>(found.content.size()));
    return true;
}

bool MzXMLReader::read_peaks(std::uint32_t scan_number, bool& centroided,
                             std::vector<double>& mz_values, std::vector<double>& intensities,
                             const PAL::SmartPtr<PAL::EventSocket>& socket, std::wstring* refusal) {
    std::string_view text;
    std::wstring changed_file;
    if (!scan_text(scan_number, text, socket, changed_file)) {
        if (refusal)
            *refusal = changed_file;
        return false;
    }
    PeakText found;
    const bool located = locate_peaks(scan_number, text, centroided, found, socket);
    if (refusal)
        *refusal = found.refusal;
    if (located) {
        if (found.single)
            decode_peaks<float>(found.content, found.count, mz_values, intensities);
        else
            decode_peaks<double>(found.content, found.count, mz_values, intensities);
    }
    const auto expected = static_cast<std::size_t>(found.count < 0 ? 0 : found.count);
    const bool complete =
        found.count >= 0 && mz_values.size() == expected && intensities.size() == expected;
    if (!complete)
        post_count_mismatch(socket, scan_number, found.count, mz_values.size());
    return complete;
}

bool MzXMLReader::read_plain_peaks(std::string_view text, const AheadPeaks& ahead, bool& centroided,
                                   std::vector<Peak>& peaks, double min_mz, PeakRead& read,
                                   std::int32_t& count) {
    PlainPeaks found;
    const unsigned char* values = ahead.values;
    if (ahead.peaks) {
        found = *ahead.peaks;
    } else {
        const DecodeRoom room = [this](std::size_t bytes) {
            if (peak_bytes.size() < bytes)
                peak_bytes.resize(bytes);
            return peak_bytes.data();
        };
        if (!read_peaks_in_one_pass(text, found, room))
            return false;
        values = peak_bytes.data();
    }
    if (found.centroided_given)
        centroided = found.centroided;
    count = found.count;
    read.values =
        found.single
            ? widen_values<float>(found.data_size, found.values, count, peaks, min_mz, values)
            : widen_values<double>(found.data_size, found.values, count, peaks, min_mz, values);
    read.complete = read.values == static_cast<std::uint32_t>(count);
    return true;
}

PeakRead MzXMLReader::read_peaks_into(std::uint32_t scan_number, bool& centroided,
                                      std::vector<Peak>& peaks, double min_mz,
                                      const PAL::SmartPtr<PAL::EventSocket>& socket) {
    if (reference) {
        std::vector<double> mz, intensity;
        PeakRead read;
        read.complete = read_peaks(scan_number, centroided, mz, intensity, socket, &read.refusal);
        read.values = static_cast<std::uint32_t>(mz.size());
        PAL_ASSERT(mz.size() == intensity.size(),
                   L"Peak size not the same as number of intensities");
        for (std::size_t i = 0; i < mz.size(); ++i)
            if (mz[i] > min_mz)
                peaks.push_back(Peak{mz[i], intensity[i]});
        return read;
    }
    std::string_view text;
    PeakRead refused;
    AheadPeaks ahead;
    if (!scan_text(scan_number, text, socket, refused.refusal, &ahead))
        return refused;
    PeakRead read;
    if (std::int32_t count = 0;
        read_plain_peaks(text, ahead, centroided, peaks, min_mz, read, count)) {
        if (!read.complete)
            post_count_mismatch(socket, scan_number, count, read.values);
        return read;
    }
    PeakText found;
    if (locate_peaks(scan_number, text, centroided, found, socket))
        read.values =
            found.single
                ? decode_into<float>(found.content, found.count, peaks, min_mz, peak_bytes)
                : decode_into<double>(found.content, found.count, peaks, min_mz, peak_bytes);
    read.complete = found.count >= 0 && read.values == static_cast<std::uint32_t>(found.count);
    read.refusal = std::move(found.refusal);
    if (!read.complete)
        post_count_mismatch(socket, scan_number, found.count, read.values);
    return read;
}

} // namespace orvoeng

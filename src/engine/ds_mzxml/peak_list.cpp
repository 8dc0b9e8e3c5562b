#include "mzXMLReader.h"

#include <ds/messages.h>

#include "text_number.h"

#include <pal/exception.h>
#include <pal/memory.h>
#include <pal/message.h>
#include <pal/string.h>

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace msg = orvoeng::msg;

namespace {

constexpr const char* source_file = "mzXMLReader";

constexpr std::size_t npos = std::string::npos;

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
void decode_peaks(const std::string& text, std::int32_t& count, std::vector<double>& mz_values,
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

} // namespace

bool MzXMLReader::read_peaks(std::uint32_t scan_number, bool& centroided,
                             std::vector<double>& mz_values, std::vector<double>& intensities,
                             const PAL::SmartPtr<PAL::EventSocket>& socket) {
    if (scan_number == 0 || scan_number > scanCount)
        return false;
    std::int64_t begin = 0;
    std::int64_t end = 0;
    // A range the file cannot hold is refused before anything is allocated.
    if (!scan_range(scan_number, begin, end) ||
        end - begin > std::numeric_limits<std::uint32_t>::max()) {
        post_count_mismatch(socket, scan_number, 0, 0);
        return false;
    }

    std::string text(static_cast<std::size_t>(end - begin), '\0');
    std::uint32_t got = 0;
    if (!file.read_at(begin, text.data(), static_cast<std::uint32_t>(text.size()), got))
        got = 0;
    text.resize(got);

    std::int32_t peak_count = 0;
    std::string value;
    if (find_attribute(text, "peaksCount", value))
        peak_count = text_to_int32(value);
    if (find_attribute(text, "centroided", value))
        centroided = is_true_value(value);

    const std::size_t peaks = text.find("<peaks ");
    if (peaks != npos && peak_count != 0) {
        // The attributes are looked for up to the end of the scan, not only
        // in the tag; 32 bits win when both precisions are named.
        const bool single = text.find("precision=\"32\"", peaks) != npos;
        const bool precision = single || text.find("precision=\"64\"", peaks) != npos;
        const bool byte_order = text.find("byteOrder=\"network\"", peaks) != npos;
        const bool pair_order = text.find("pairOrder=\"m/z-int\"", peaks) != npos;
        if (!precision || !byte_order || !pair_order) {
            PAL::post_message(socket, msg::PEAK_ATTRIBUTES_MISSING.level,
                              PAL::Message(msg::PEAK_ATTRIBUTES_MISSING.id)
                                  .add(scan_number)
                                  .add(missing_attributes(precision, byte_order, pair_order)));
        } else {
            const std::size_t gt = text.find('>', peaks);
            const std::size_t content = gt == npos ? text.size() : gt + 1;
            const std::size_t close = text.find("</peaks>", content);
            // Cut the buffer down to the element's content, in place.
            text.resize(close == npos ? text.size() : close);
            text.erase(0, content);
            // No text holds a negative number of peaks.
            if (peak_count < 0)
                PAL_RAISE(PAL::StrDecodeError, PAL::DECODE_INPUT_EXHAUSTED,
                          static_cast<std::uint32_t>(text.size()));
            if (single)
                decode_peaks<float>(text, peak_count, mz_values, intensities);
            else
                decode_peaks<double>(text, peak_count, mz_values, intensities);
        }
    }

    const auto expected = static_cast<std::size_t>(peak_count < 0 ? 0 : peak_count);
    const bool complete =
        peak_count >= 0 && mz_values.size() == expected && intensities.size() == expected;
    if (!complete)
        post_count_mismatch(socket, scan_number, peak_count, mz_values.size());
    return complete;
}

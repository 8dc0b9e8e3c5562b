#include "scan_tags.h"

#include <host/markup/start_tag.h>
#include <host/markup/xml_text.h>

#include <charconv>
#include <cstdio>
#include <string_view>

namespace orvohost {

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

// The start tag named `name`: "<name" followed by a blank or the tag's
// end, so that "<scanOrigin" is not taken for a scan.
bool tag_named(std::string_view tag, std::string_view name) {
    if (tag.size() < name.size() + 1 || tag.substr(1, name.size()) != name)
        return false;
    if (tag.size() == name.size() + 1)
        return true;
    const char next = tag[name.size() + 1];
    return next == ' ' || next == '\t' || next == '\r' || next == '\n' || next == '/';
}

std::string_view trimmed(std::string_view text) {
    constexpr std::string_view BLANKS = " \t\r\n";
    const std::size_t first = text.find_first_not_of(BLANKS);
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(BLANKS) - first + 1);
}

template <class T>
std::optional<T> number_in(std::string_view text) {
    const std::string_view digits = trimmed(text);
    T value{};
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (error != std::errc() || end != digits.data() + digits.size())
        return std::nullopt;
    return value;
}

template <class T>
std::optional<T> number_of(const StartTag& tag, std::string_view name) {
    const auto text = tag.value(name);
    if (!text)
        return std::nullopt;
    return number_in<T>(*text);
}

// The precursor's values from its start tag and, unless the tag closes
// itself, from `content`, the text up to the next tag.
void read_precursor(ScanTagValues& values, std::string_view text, std::string_view content) {
    const StartTag tag(text);
    values.precursor_intensity = number_of<double>(tag, "precursorIntensity");
    values.precursor_charge = number_of<std::int64_t>(tag, "precursorCharge");
    if (const auto method = tag.value("activationMethod"))
        values.activation_method = std::string(trimmed(*method));
    else
        values.activation_method.reset();
    values.precursor_mz = text.back() == '/' ? std::nullopt : number_in<double>(content);
}

ScanTagValues scan_values(std::string_view text) {
    const StartTag tag(text);
    ScanTagValues values;
    values.peaks_count = number_of<std::int64_t>(tag, "peaksCount");
    values.base_peak_mz = number_of<double>(tag, "basePeakMz");
    values.base_peak_intensity = number_of<double>(tag, "basePeakIntensity");
    values.collision_energy = number_of<double>(tag, "collisionEnergy");
    if (const auto filter = tag.value("filterLine"))
        values.filter_line = xml_unescaped(*filter);
    return values;
}

} // namespace

const ScanTagValues& ScanTags::of(std::uint64_t position) const {
    static const ScanTagValues none;
    if (!values || position == 0 || position > values->size())
        return none;
    return (*values)[position - 1];
}

ScanTags read_scan_tags(const std::filesystem::path& path) {
    const std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.string().c_str(), "rb"));
    if (!file)
        return {};
    std::vector<ScanTagValues> scans;
    bool before_peaks = false; // a scan's tag read, its peaks not yet
    // Tags are looked for a block at a time; the peak text between them is
    // base64, which holds no "<", so the search runs over it at memchr's pace.
    constexpr std::size_t BLOCK = std::size_t{1} << 20;
    std::string text;
    std::vector<char> buffer(BLOCK);
    for (bool last = false; !last;) {
        const std::size_t got = std::fread(buffer.data(), 1, buffer.size(), file.get());
        last = got < buffer.size();
        text.append(buffer.data(), got);
        std::size_t at = 0;
        while ((at = text.find('<', at)) != std::string::npos) {
            const std::size_t close = text.find('>', at);
            // A tag cut by the block's end is read whole with the next.
            if (close == std::string::npos)
                break;
            const std::string_view tag = std::string_view(text).substr(at, close - at);
            if (tag_named(tag, "scan")) {
                scans.push_back(scan_values(tag));
                before_peaks = true;
            } else if (tag_named(tag, "peaks")) {
                before_peaks = false;
            } else if (tag_named(tag, "precursorMz") && before_peaks) {
                // Of the scan whose tag came last, and the last before its
                // peaks: the one whose m/z and charge the plug-in's record holds.
                const std::size_t content_end = text.find('<', close);
                // Its m/z, cut by the block's end, is read whole with the next.
                if (content_end == std::string::npos && !last)
                    break;
                const std::size_t end =
                    content_end == std::string::npos ? text.size() : content_end;
                read_precursor(scans.back(), tag,
                               std::string_view(text).substr(close + 1, end - close - 1));
            }
            at = close + 1;
        }
        text.erase(0, at == std::string::npos ? text.size() : at);
    }
    return ScanTags(std::move(scans));
}

} // namespace orvohost

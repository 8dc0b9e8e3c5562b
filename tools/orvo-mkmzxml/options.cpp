#include "options.h"

#include <charconv>
#include <limits>
#include <string_view>

namespace mkmzxml {

namespace {

std::uint64_t to_number(std::string_view option, std::string_view text, std::uint64_t low,
                        std::uint64_t high) {
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < low || value > high)
        throw UsageError(std::string(option) + " wants a whole number from " + std::to_string(low) +
                         " to " + std::to_string(high) + ", not '" + std::string(text) + "'");
    return value;
}

constexpr std::uint64_t MAX_SIZE = 1ull << 50;

// A byte count with an optional binary suffix K, M or G.
std::uint64_t to_size(std::string_view option, const std::string_view whole) {
    std::string_view text = whole;
    std::uint64_t unit = 1;
    const auto suffix = text.empty() ? text.npos : std::string_view("KkMmGg").find(text.back());
    if (suffix != text.npos) {
        unit = std::uint64_t{1} << (10 * (suffix / 2 + 1));
        text.remove_suffix(1);
    }
    std::uint64_t count = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), count);
    if (error != std::errc() || end != text.data() + text.size() || count == 0 ||
        count > MAX_SIZE / unit)
        throw UsageError(std::string(option) + " wants a byte count such as 65536, 512M or 1G, " +
                         "not '" + std::string(whole) + "'");
    return count * unit;
}

bool to_flag(std::string_view option, std::string_view text) {
    return to_number(option, text, 0, 1) == 1;
}

constexpr std::uint32_t MAX_SCANS = std::numeric_limits<std::int32_t>::max();

} // namespace

Options parse_options(int argc, const char* const* argv) {
    Options options;
    bool have_output = false;
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        std::string_view value;
        bool inline_value = false;
        if (const auto eq = arg.find('='); arg.starts_with("--") && eq != arg.npos) {
            value = arg.substr(eq + 1);
            arg = arg.substr(0, eq);
            inline_value = true;
        }
        const auto take = [&]() -> std::string_view {
            if (inline_value)
                return value;
            if (i + 1 >= argc)
                throw UsageError(std::string(arg) + " wants a value");
            return argv[++i];
        };
        const auto no_value = [&] {
            if (inline_value)
                throw UsageError(std::string(arg) + " takes no value");
        };

        if (arg == "-h" || arg == "--help") {
            options.help = true;
            return options;
        } else if (arg == "-o" || arg == "--output") {
            options.output = take();
            have_output = !options.output.empty();
        } else if (arg == "--scans") {
            options.scans = static_cast<std::uint32_t>(to_number(arg, take(), 1, MAX_SCANS));
        } else if (arg == "--size") {
            options.size = to_size(arg, take());
        } else if (arg == "--ms1-every") {
            options.ms1_every = static_cast<std::uint32_t>(to_number(arg, take(), 1, MAX_SCANS));
        } else if (arg == "--ms1-peaks") {
            options.ms1_peaks = static_cast<std::uint32_t>(to_number(arg, take(), 1, MAX_PEAKS));
        } else if (arg == "--ms2-peaks") {
            options.ms2_peaks = static_cast<std::uint32_t>(to_number(arg, take(), 1, MAX_PEAKS));
        } else if (arg == "--precision") {
            const std::string_view text = take();
            if (text != "32" && text != "64")
                throw UsageError("--precision wants 32 or 64, not '" + std::string(text) + "'");
            options.precision = text == "32" ? 32 : 64;
        } else if (arg == "--no-index") {
            no_value();
            options.index = false;
        } else if (arg == "--seed") {
            options.seed = to_number(arg, take(), 0, std::numeric_limits<std::uint64_t>::max());
        } else if (arg == "--centroided") {
            options.centroided = to_flag(arg, take());
        } else if (arg == "--no-sha1") {
            no_value();
            options.sha1 = false;
        } else if (arg == "--declared-scans") {
            options.declared_scans =
                static_cast<std::uint32_t>(to_number(arg, take(), 0, MAX_SCANS));
        } else if (arg == "--first-num") {
            options.first_num = static_cast<std::uint32_t>(to_number(arg, take(), 0, MAX_SCANS));
        } else if (arg == "--mzxml3") {
            no_value();
            options.mzxml3 = true;
        } else if (arg == "-v" || arg == "--verbose") {
            no_value();
            options.verbose = true;
        } else {
            throw UsageError("unknown argument '" + std::string(argv[i]) +
                             "' (--help lists the options)");
        }
    }
    if (!have_output)
        throw UsageError("no output file given (-o OUT.mzXML)");
    return options;
}

const char* usage_text() {
    return "usage: orvo-mkmzxml -o OUT.mzXML [options]\n"
           "Writes a synthetic mzXML 2.1 file, the same bytes for the same options.\n"
           "\n"
           "  -o, --output PATH   file to write\n"
           "  --scans N           number of scans (default 100)\n"
           "  --size BYTES        write scans until the file is about this size;\n"
           "                      suffix K, M or G (powers of 1024); overrides --scans\n"
           "  --ms1-every K       every K-th scan is MS1, the others MS2 (default 10;\n"
           "                      1: MS1 only)\n"
           "  --ms1-peaks P       peaks of an MS1 scan (default 2000)\n"
           "  --ms2-peaks P       peaks of an MS2 scan (default 200)\n"
           "  --precision 32|64   bits of each peak value (default 32)\n"
           "  --no-index          no scan index: <indexOffset>0</indexOffset>\n"
           "  --seed S            seed of the peak values (default 1)\n"
           "  --centroided 0|1    what dataProcessing states (default 1)\n"
           "  --no-sha1           no <sha1> checksum at the end\n"
           "  --declared-scans N  write scanCount N whatever the number of scans\n"
           "  --first-num N       number the scans from N (default 1)\n"
           "  --mzxml3            mzXML 3.2 flavour: zlib-compressed peaks, contentType\n"
           "  -v, --verbose       print scans, bytes and seconds when done\n"
           "  -h, --help          this text\n";
}

} // namespace mkmzxml

#include "options.h"

#include <charconv>
#include <limits>
#include <string_view>

namespace mkmzxml {

namespace {

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

constexpr std::uint32_t MAX_SCANS = std::numeric_limits<std::int32_t>::max();

} // namespace

CommandLine::CommandLine()
    : cli("Writes a synthetic mzXML 2.1 file, the same bytes for the same options.",
          "orvo-mkmzxml") {
    cli.option_defaults()->always_capture_default();
    cli.set_version_flag("--version", "orvo-mkmzxml " ORVO_VERSION);
    cli.add_option("-o,--output", options.output, "file to write")
        ->required()
        ->type_name("PATH")
        ->check(CLI::Validator(
            [](const std::string& path) {
                return path.empty() ? std::string("an empty path") : std::string();
            },
            ""));
    cli.add_option("--scans", options.scans, "number of scans")->check(CLI::Range(1u, MAX_SCANS));
    cli.add_option("--size", size_text,
                   "write scans until the file is about this size; suffix K, M or G (powers "
                   "of 1024); overrides --scans")
        ->type_name("BYTES");
    cli.add_option("--ms1-every", options.ms1_every,
                   "every K-th scan is MS1, the others MS2 (1: MS1 only)")
        ->check(CLI::Range(1u, MAX_SCANS));
    cli.add_option("--ms1-peaks", options.ms1_peaks, "peaks of an MS1 scan")
        ->check(CLI::Range(1u, MAX_PEAKS));
    cli.add_option("--ms2-peaks", options.ms2_peaks, "peaks of an MS2 scan")
        ->check(CLI::Range(1u, MAX_PEAKS));
    cli.add_option("--precision", options.precision, "bits of each peak value")
        ->check(CLI::IsMember({32, 64}));
    cli.add_flag("--no-index", no_index, "no scan index: <indexOffset>0</indexOffset>");
    cli.add_option("--seed", options.seed, "seed of the peak values");
    cli.add_option("--centroided", options.centroided, "what dataProcessing states")
        ->check(CLI::IsMember({"0", "1"}));
    cli.add_flag("--no-sha1", no_sha1, "no <sha1> checksum at the end");
    cli.add_option("--declared-scans", options.declared_scans,
                   "scanCount the msRun element declares (default: the scans written)")
        ->check(CLI::Range(0u, MAX_SCANS));
    cli.add_option("--first-num", options.first_num, "num of the first scan; the others follow")
        ->check(CLI::Range(0u, MAX_SCANS));
    cli.add_flag("--mzxml3", options.mzxml3,
                 "write mzXML 3.2: zlib-compressed peaks, contentType instead of pairOrder");
    cli.add_flag("--no-zlib", no_zlib,
                 "with --mzxml3: peaks not compressed (compressionType=\"none\"), as msconvert "
                 "writes 3.2 unless told -z");
    cli.add_option("--layout", layout_text,
                   "start tags on one line (compact), one attribute a line as instrument "
                   "converters write them (converter), or the scans of ReAdW (readw) or of "
                   "msconvert's mzXML once repaired to 2.1 (msconvert)")
        ->check(CLI::IsMember({"compact", "converter", "readw", "msconvert"}));
    cli.add_flag("-v,--verbose", options.verbose, "print scans, bytes and seconds when done");
}

Options CommandLine::parse(int argc, const char* const* argv) {
    try {
        cli.parse(argc, argv);
    } catch (const CLI::Success&) {
        throw;
    } catch (const CLI::ParseError& error) {
        throw UsageError(std::string(error.what()) + " (--help lists the options)");
    }
    if (!size_text.empty())
        options.size = to_size("--size", size_text);
    options.index = !no_index;
    options.sha1 = !no_sha1;
    options.zlib = !no_zlib;
    if (no_zlib && !options.mzxml3)
        throw UsageError("--no-zlib goes with --mzxml3: 2.x peaks are never compressed");
    options.layout = layout_text == "converter"   ? Layout::converter
                     : layout_text == "readw"     ? Layout::readw
                     : layout_text == "msconvert" ? Layout::msconvert
                                                  : Layout::compact;
    if (options.mzxml3 && options.layout == Layout::readw)
        throw UsageError("--mzxml3 goes with --layout compact, converter or msconvert: ReAdW's "
                         "scans are written as 2.x");
    return options;
}

} // namespace mkmzxml

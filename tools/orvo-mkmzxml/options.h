// What the command line asks for, and its parser.
#pragma once

#include <CLI/CLI.hpp>

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

namespace mkmzxml {

// How a scan element is written. compact: every start tag on one line.
// converter: one attribute a line, aligned under the first, in a mix of the
// converters' habits. readw and msconvert: the scan elements those two
// converters write (their attributes, their order, their number texts and
// their indentation), msconvert's as repair brings it to 2.1.
enum class Layout { compact, converter, readw, msconvert };

struct Options {
    std::string output;
    std::uint32_t scans = 100;
    std::optional<std::uint64_t> size; // bytes to reach; replaces `scans`
    std::uint32_t ms1_every = 10;      // every K-th scan is MS1, from the first
    std::uint32_t ms1_peaks = 2000;
    std::uint32_t ms2_peaks = 200;
    int precision = 32;
    bool index = true;
    std::uint64_t seed = 1;
    bool centroided = true;
    bool sha1 = true;
    // Faults of files from elsewhere, for tests of the repair: a scanCount
    // that is not the number of scans, numbers that start elsewhere than 1,
    // and the mzXML 3.x way of writing peaks (contentType, zlib unless
    // the writer was told not to compress, as msconvert is by default).
    std::optional<std::uint32_t> declared_scans;
    std::uint32_t first_num = 1;
    bool mzxml3 = false;
    bool zlib = true; // of a 3.2 file's peaks
    Layout layout = Layout::compact;
    bool verbose = false;
};

// A command line the tool cannot follow; the message is one line.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Largest peak count of a scan. Neighbouring m/z stay a tenth of
// (high - low) / count apart; every range drawn has high - low above
// 0.6 * high, so up to here that gap exceeds a float's spacing near `high`
// (high / 2^23) and m/z still ascend strictly once rounded to 32 bits.
constexpr std::uint32_t MAX_PEAKS = 500'000;

// The command line, defined once: the parser, --help, the man page and the
// bash completion all come from this one definition.
class CommandLine {
public:
    CommandLine();

    // Raises UsageError. CLI::Success (for --help and --version) passes to
    // the caller, for app().exit to print.
    Options parse(int argc, const char* const* argv);

    const CLI::App& app() const { return cli; }

private:
    CLI::App cli;
    Options options;
    std::string size_text;
    bool no_index = false;
    bool no_sha1 = false;
    bool no_zlib = false;
    std::string layout_text = "compact";
};

} // namespace mkmzxml

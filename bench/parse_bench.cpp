// The reader's one-pass parsers on their own, scan after scan of a file's
// first mebibyte kept in the cache: the header read of the open's pass and
// the peak read of the spectra's, in each layout the generator writes. A
// whole read moves by a quarter on a shared machine from one hour to the
// next; these figures hold to a few percent, so a change of a few
// nanoseconds a scan shows here first. The files are made once by the
// generator beside this program (scans of 200 and 20 peaks, the mix of the
// header-heavy rows of bench.sh), in a folder of their own.
#include "one_pass_header.h"
#include "one_pass_peaks.h"

#include <host/session/plugin.h>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr const char* LAYOUTS[] = {"compact", "converter", "readw", "msconvert"};

// The first scans of a generated file in `layout`: the bytes of each from
// its start tag to the next's.
struct Scans {
    std::string bytes;
    std::vector<std::string_view> scans;
};

Scans scans_of(const std::string& layout) {
    const fs::path folder = fs::temp_directory_path() / "orvo-parse-bench";
    const fs::path file = folder / (layout + ".mzXML");
    if (!fs::exists(file)) {
        fs::create_directories(folder);
        const fs::path tool = orvohost::program_dir() / "orvo-mkmzxml";
        std::string command = "\"";
        command.append(tool.string())
            .append("\" -o \"")
            .append(file.string())
            .append(".part\" --scans 3000 --ms1-peaks 200 --ms2-peaks 20 --layout ")
            .append(layout);
        if (std::system(command.c_str()) != 0) {
            std::fprintf(stderr, "parse_bench: %s failed\n", command.c_str());
            std::exit(1);
        }
        fs::rename(file.string() + ".part", file);
    }
    Scans made;
    std::ifstream in(file, std::ios::binary);
    made.bytes.assign(std::istreambuf_iterator<char>(in), {});
    made.bytes.resize(std::min<std::size_t>(made.bytes.size(), std::size_t{1} << 20));
    std::vector<std::size_t> starts;
    for (std::size_t at = made.bytes.find("<scan "); at != std::string::npos;
         at = made.bytes.find("<scan ", at + 1))
        starts.push_back(at);
    // The last one may be cut at the mebibyte's end.
    for (std::size_t i = 0; i + 2 < starts.size(); ++i)
        made.scans.emplace_back(made.bytes.data() + starts[i], starts[i + 1] - starts[i]);
    return made;
}

void per_scan(benchmark::State& state, std::size_t scans, std::size_t read) {
    state.counters["scan"] = benchmark::Counter(static_cast<double>(scans),
                                                benchmark::Counter::kIsIterationInvariantRate |
                                                    benchmark::Counter::kInvert);
    if (read != scans)
        state.SetLabel(std::to_string(scans - read) + " scans not plain");
}

void header_one_pass(benchmark::State& state, const char* layout) {
    const Scans data = scans_of(layout);
    std::size_t whole = 0;
    for (auto _ : state) {
        whole = 0;
        std::uint32_t number = 0;
        for (const std::string_view scan : data.scans) {
            const orvoeng::OnePassHeader read = orvoeng::read_header_in_one_pass(
                scan.substr(0, orvoeng::ONE_PASS_HEADER_SPAN), ++number);
            whole += read.read == orvoeng::OnePassHeader::Read::WHOLE ? 1U : 0U;
            benchmark::DoNotOptimize(read.values);
        }
    }
    per_scan(state, data.scans.size(), whole);
}

void peaks_one_pass(benchmark::State& state, const char* layout) {
    const Scans data = scans_of(layout);
    std::vector<unsigned char> room(std::size_t{1} << 16);
    const orvoeng::DecodeRoom decode_room = [&room](std::size_t bytes) {
        if (room.size() < bytes)
            room.resize(bytes);
        return room.data();
    };
    std::size_t plain = 0;
    for (auto _ : state) {
        plain = 0;
        for (const std::string_view scan : data.scans) {
            orvoeng::PlainPeaks peaks;
            plain += orvoeng::read_peaks_in_one_pass(scan, peaks, decode_room) ? 1U : 0U;
            benchmark::DoNotOptimize(peaks);
        }
    }
    per_scan(state, data.scans.size(), plain);
}

[[maybe_unused]] const bool registered = [] {
    for (const char* layout : LAYOUTS) {
        benchmark::RegisterBenchmark(std::string("header_one_pass/").append(layout).c_str(),
                                     header_one_pass, layout);
        benchmark::RegisterBenchmark(std::string("peaks_one_pass/").append(layout).c_str(),
                                     peaks_one_pass, layout);
    }
    return true;
}();

} // namespace

BENCHMARK_MAIN();

// How fast the plug-in reads a large mzXML file, phase by phase, next to
// floors measured on the same bytes in the same run: a plain read, a search
// for every "<scan" and a decode of the peak texts alone. The plug-in is
// loaded with dlopen and driven through its interface only, as a host does,
// so the figures stay meaningful while the reader behind it changes.
#include "peak_checksum.h"

#include <host/session/events.h>
#include <host/session/plugin.h>
#include <host/session/utf8_text.h>

#include <ds/data_source_intf.h>
#include <ds/messages.h>

#include <pal/exception.h>
#include <pal/progress.h>
#include <pal/string.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace readbench {
bool peer_read(const std::string& path, double& seconds, std::size_t& scans, std::size_t& peaks,
               double& checksum);
std::string peer_name();
bool python_read(const std::string& path, int repeat, std::vector<double>& seconds,
                 std::size_t& peaks, std::string& why);
} // namespace readbench

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start, Clock::time_point end = Clock::now()) {
    return std::chrono::duration<double>(end - start).count();
}

[[noreturn]] void fail(const std::string& what) {
    std::fprintf(stderr, "read_bench: %s\n", what.c_str());
    std::exit(1);
}

struct Options {
    std::string size = "1G";
    std::string scans; // a scan count instead of a size, when given
    std::string layout = "compact";
    std::string ms1_peaks = "2000"; // peaks of an MS1 scan, of an MS2 scan
    std::string ms2_peaks = "200";
    int repeat = 3;
    fs::path data;
    fs::path plugin;
    fs::path whole;         // only read this file whole, once
    fs::path floor;         // only time read(2) passes over this file
    bool path_only = false; // only make the indexed file and print its path
};

Options parse(int argc, char** argv) {
    Options options;
    options.data = orvohost::program_dir().parent_path() / "bench-data";
    options.plugin = orvohost::default_plugin_path();
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool has_value = i + 1 < argc;
        if (arg == "--size" && has_value)
            options.size = argv[++i];
        else if (arg == "--repeat" && has_value)
            options.repeat = std::atoi(argv[++i]);
        else if (arg == "--data" && has_value)
            options.data = argv[++i];
        else if (arg == "--plugin" && has_value)
            options.plugin = argv[++i];
        else if (arg == "--scans" && has_value)
            options.scans = argv[++i];
        else if (arg == "--layout" && has_value)
            options.layout = argv[++i];
        else if (arg == "--ms1-peaks" && has_value)
            options.ms1_peaks = argv[++i];
        else if (arg == "--ms2-peaks" && has_value)
            options.ms2_peaks = argv[++i];
        else if (arg == "--whole" && has_value)
            options.whole = argv[++i];
        else if (arg == "--floor" && has_value)
            options.floor = argv[++i];
        else if (arg == "--path")
            options.path_only = true;
        else {
            std::printf("usage: read_bench [--size 1G | --scans N] "
                        "[--layout compact|converter|readw|msconvert]\n"
                        "                  [--ms1-peaks 2000] [--ms2-peaks 200] [--repeat 3] "
                        "[--data DIR] [--plugin PATH]\n"
                        "       read_bench --path [--size 1G | --scans N] [--layout L] "
                        "[--ms1-peaks N] [--ms2-peaks N] [--data DIR]\n"
                        "       read_bench --whole FILE [--plugin PATH]\n"
                        "       read_bench --floor FILE\n"
                        "Times the mzXML plug-in on a generated file (made once, kept in DIR);\n"
                        "with --whole, reads FILE once as a host does (open, list, every "
                        "spectrum) and prints what it read and its seconds, and nothing else, "
                        "for timing by a program outside;\n"
                        "with --floor, prints the best of 3 read(2) passes over FILE;\n"
                        "with --path, makes the indexed file and prints its path.\n");
            std::exit(arg == "-h" || arg == "--help" ? 0 : 2);
        }
    }
    // The size names the cached files, so it must be a plain count.
    const std::string& s = options.size;
    if (s.empty() || s.find_first_not_of("0123456789KMG") != std::string::npos ||
        options.repeat < 1)
        fail("--size takes a number with K, M or G; --repeat a count of at least 1");
    if (!options.scans.empty() &&
        options.scans.find_first_not_of("0123456789") != std::string::npos)
        fail("--scans takes a number of scans");
    if (options.layout != "compact" && options.layout != "converter" && options.layout != "readw" &&
        options.layout != "msconvert")
        fail("--layout takes compact, converter, readw or msconvert");
    for (const std::string* peaks : {&options.ms1_peaks, &options.ms2_peaks})
        if (peaks->empty() || peaks->find_first_not_of("0123456789") != std::string::npos)
            fail("--ms1-peaks and --ms2-peaks take a number of peaks");
    return options;
}

// ---- the files --------------------------------------------------------------

int run_program(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    const pid_t child = ::fork();
    if (child == 0) {
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The generated file for these options, made once: a stamp beside it holds
// the command, the generator's build and the byte count, so a changed
// option, a generator that writes otherwise or a truncated file makes it
// again, and an interrupted run never leaves a file that looks done.
fs::path generated(const Options& options, bool indexed) {
    // The compact layout keeps the names files had before layouts were told apart.
    const std::string amount = options.scans.empty() ? options.size : options.scans + "scans";
    const std::string layout = options.layout == "compact" ? "" : "-" + options.layout;
    // The default mix keeps the names it had before the mix could change.
    const std::string mix = options.ms1_peaks == "2000" && options.ms2_peaks == "200"
                                ? ""
                                : "-peaks" + options.ms1_peaks + "-" + options.ms2_peaks;
    const fs::path path = options.data / ("read-" + amount + layout + mix +
                                          (indexed ? "-index" : "-noindex") + ".mzXML");
    // The mix asked for: 10% MS1 scans (of 2,000 peaks unless told), MS2 of
    // 200 unless told, 32-bit.
    std::string command =
        (options.scans.empty() ? "--size " + options.size : "--scans " + options.scans) +
        " --ms1-every 10 --ms1-peaks " + options.ms1_peaks + " --ms2-peaks " + options.ms2_peaks +
        " --precision 32 --seed 1" + (indexed ? "" : " --no-index") +
        (layout.empty() ? "" : " --layout " + options.layout);
    std::vector<std::string> args = {(orvohost::program_dir() / "orvo-mkmzxml").string(), "-o",
                                     path.string() + ".part"};
    std::istringstream words(command);
    for (std::string word; words >> word;)
        args.push_back(word);
    std::error_code error;
    const fs::path tool = args.front();
    const auto built = fs::last_write_time(tool, error).time_since_epoch().count();
    command += " " + std::to_string(error ? 0 : fs::file_size(tool, error)) + "/" +
               std::to_string(built) + " ";
    const fs::path stamp = path.string() + ".stamp";
    const auto bytes = fs::file_size(path, error);
    std::string stamped;
    if (!error && std::getline(std::ifstream(stamp), stamped) &&
        stamped == command + std::to_string(bytes))
        return path;

    std::fprintf(stderr, "read_bench: generating %s ...\n", path.c_str());
    fs::create_directories(options.data);
    if (run_program(args) != 0)
        fail("orvo-mkmzxml failed for " + path.string());
    fs::rename(path.string() + ".part", path);
    std::ofstream(stamp) << command << fs::file_size(path) << "\n";
    return path;
}

// ---- floors -----------------------------------------------------------------

// Every byte through read(2) into one reused buffer; `each` sees the blocks.
template <class Each>
void read_blocks(const fs::path& path, std::size_t block, std::size_t keep, Each each) {
    const int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0)
        fail("cannot open " + path.string());
    std::vector<char> buffer(keep + block);
    std::size_t held = 0;
    for (;;) {
        const ssize_t got = ::read(fd, buffer.data() + held, block);
        if (got < 0)
            fail("cannot read " + path.string());
        if (got == 0)
            break;
        const auto size = held + static_cast<std::size_t>(got);
        each(buffer.data(), size);
        // The last bytes go before the next block, so a match across the
        // boundary is found once.
        held = std::min(keep, size);
        std::memmove(buffer.data(), buffer.data() + size - held, held);
    }
    ::close(fd);
}

std::uint64_t count_scan_tags(const fs::path& path) {
    static constexpr char tag[] = "<scan";
    constexpr std::size_t tag_size = sizeof tag - 1;
    std::uint64_t hits = 0;
    read_blocks(path, 16 << 20, tag_size - 1, [&](const char* data, std::size_t size) {
        const char* at = data;
        const char* const end = data + size;
        while (const void* found =
                   ::memmem(at, static_cast<std::size_t>(end - at), tag, tag_size)) {
            ++hits;
            at = static_cast<const char*>(found) + tag_size;
        }
    });
    return hits;
}

// The texts between <peaks ...> and </peaks>, one after the other, with
// where each ends and its value width.
struct PeakTexts {
    std::string text;
    std::vector<std::size_t> ends;
    std::vector<std::size_t> unit_sizes;
    std::size_t longest = 0;
};

PeakTexts extract_peak_texts(const fs::path& path) {
    std::string file(fs::file_size(path), '\0');
    std::ifstream(path, std::ios::binary)
        .read(file.data(), static_cast<std::streamsize>(file.size()));
    PeakTexts texts;
    for (std::size_t at = 0; (at = file.find("<peaks", at)) != std::string::npos;) {
        const std::size_t open_end = file.find('>', at);
        const std::size_t close = file.find("</peaks>", open_end);
        if (open_end == std::string::npos || close == std::string::npos)
            break;
        const std::string_view tag(file.data() + at, open_end - at);
        texts.unit_sizes.push_back(tag.find("precision=\"64\"") != tag.npos ? 8 : 4);
        texts.text.append(file, open_end + 1, close - open_end - 1);
        texts.longest = std::max(texts.longest, close - open_end - 1);
        texts.ends.push_back(texts.text.size());
        at = close;
    }
    return texts;
}

std::uint64_t decode_peak_texts(const PeakTexts& texts, std::vector<unsigned char>& out) {
    std::uint64_t units = 0;
    std::size_t begin = 0;
    for (std::size_t i = 0; i < texts.ends.size(); ++i) {
        const std::string_view text(texts.text.data() + begin, texts.ends[i] - begin);
        const std::size_t room = out.size() / texts.unit_sizes[i];
        units += PAL::base64_decode_ws(text, PAL::BIG_ENDIAN_ORDER, texts.unit_sizes[i], room,
                                       out.data());
        begin = texts.ends[i];
    }
    return units;
}

// ---- the plug-in ------------------------------------------------------------

struct Read {
    double index = 0, walk = 0, spectra = 0, whole = 0; // seconds
    bool split = false;    // the walk's start was seen, so index and walk are apart
    bool searched = false; // the plug-in said it built the index by searching
    std::size_t scans = 0;
    std::uint64_t peaks = 0, events = 0;
    double checksum = 0; // every m/z and intensity, so no work can be left out
};

// One file read as a host reads it: a socket with a listener, a progress
// root, open_file, then every spectrum when `fetch` is set. The listener
// only counts, and notes when the walk over the scans begins.
Read read_file(const orvohost::Plugin& plugin, const fs::path& path, bool fetch) {
    Read read;
    std::optional<Clock::time_point> walk_start;
    orvohost::EventChannel channel([&](const PAL::Event& event) {
        ++read.events;
        if (event.kind != PAL::Event::MSG_EVENT)
            return;
        const std::uint32_t id = static_cast<const PAL::MsgEvent&>(event).message.id;
        if (id == orvoeng::msg::SCAN_WALK.id)
            walk_start = Clock::now();
        read.searched = read.searched || id == orvoeng::msg::BUILDING_INDEX.id;
    });
    const PAL::SmartPtr<PAL::Progress> root(
        new PAL::Progress(channel.socket(), PAL::Message(), 2, 1));
    const std::wstring wide = orvohost::from_argument(path.string());
    const orvoeng::PeakListOptions peak_options;

    const auto start = Clock::now();
    const orvohost::DataSource source = plugin.create();
    const orvoeng::ScanList list =
        source->open_file(wide, 1, &peak_options, 1, channel.socket(), root);
    const auto opened = Clock::now();
    root->step(1);
    read.scans = list->size();
    if (fetch) {
        for (const orvoeng::ScanRecord& scan : *list) {
            const auto spectrum = source->get_spectrum(scan.label, 0, channel.socket());
            const std::vector<orvoeng::Peak>& peaks = *spectrum->peaks;
            read.peaks += peaks.size();
            // A Peak is its m/z then its intensity: the list is those values in order.
            const auto* values = reinterpret_cast<const double*>(peaks.data());
            static_assert(sizeof(orvoeng::Peak) == 2 * sizeof(double));
            read.checksum += readbench::peak_checksum(
                2 * peaks.size(), [values](std::size_t i) { return values[i]; });
        }
    }
    const auto end = Clock::now();
    root->step(1);

    read.split = walk_start.has_value();
    read.index = seconds_since(start, walk_start.value_or(opened));
    read.walk = seconds_since(walk_start.value_or(opened), opened);
    read.spectra = seconds_since(opened, end);
    read.whole = seconds_since(start, end);
    return read;
}

// Peak resident set of the whole process so far, in MiB.
double peak_resident_mib() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0)
            return std::strtod(line.c_str() + 6, nullptr) / 1024.0;
    return 0;
}

// ---- the report -------------------------------------------------------------

struct Figure {
    std::string name;
    std::vector<double> seconds;
    double bytes; // what MB/s counts
};

double best(std::vector<double> v) {
    return *std::min_element(v.begin(), v.end());
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

void print_row(const Figure& figure, std::size_t scans) {
    const double b = best(figure.seconds);
    std::printf("%-34s %9.3f %9.3f %10.1f %12.0f\n", figure.name.c_str(), b, median(figure.seconds),
                figure.bytes / 1e6 / b, static_cast<double>(scans) / b);
}

} // namespace

int main(int argc, char** argv) try {
    const Options options = parse(argc, argv);
    if (!options.whole.empty()) {
        // Only the read: a program outside times this process, so nothing
        // else may run in it.
        orvohost::EventChannel load_events({});
        const orvohost::Plugin plugin(options.plugin, load_events.socket());
        const Read read = read_file(plugin, options.whole, true);
        std::printf("%zu scans, %llu peaks, checksum %.17g, %.4f s\n", read.scans,
                    static_cast<unsigned long long>(read.peaks), read.checksum, read.whole);
        return 0;
    }
    if (!options.floor.empty()) {
        double floor = 0;
        for (int pass = 0; pass < 3; ++pass) {
            const auto start = Clock::now();
            read_blocks(options.floor, 1 << 20, 0, [](const char*, std::size_t) {});
            const double seconds = seconds_since(start);
            floor = pass == 0 ? seconds : std::min(floor, seconds);
        }
        std::printf("read(2) floor %.4f s\n", floor);
        return 0;
    }
    const fs::path indexed = generated(options, true);
    if (options.path_only) {
        std::printf("%s\n", indexed.c_str());
        return 0;
    }
    const fs::path unindexed = generated(options, false);
    const auto bytes = static_cast<double>(fs::file_size(indexed));
    const auto unindexed_bytes = static_cast<double>(fs::file_size(unindexed));

    // Warm page cache: every figure below reads from memory, not from disk.
    for (const fs::path& path : {indexed, unindexed})
        read_blocks(path, 1 << 20, 0, [](const char*, std::size_t) {});

    orvohost::EventChannel load_events({});
    const orvohost::Plugin plugin(options.plugin, load_events.socket());

    // The whole read runs first, before the floors hold a copy of the peak
    // texts, so the process-wide peak is the plug-in's read and little else.
    const double resident_before = peak_resident_mib();
    std::vector<Read> reads{read_file(plugin, indexed, true)};
    const double resident_after = peak_resident_mib();
    std::vector<Read> searches;
    for (int r = 0; r < options.repeat; ++r) {
        if (r > 0)
            reads.push_back(read_file(plugin, indexed, true));
        searches.push_back(read_file(plugin, unindexed, false));
    }
    const Read& first = reads.front();
    for (const Read& read : reads)
        if (read.scans != first.scans || read.peaks != first.peaks ||
            read.checksum != first.checksum)
            fail("the reads of one file differ from each other");

    const auto phase = [](std::string name, double counted, const std::vector<Read>& runs,
                          double Read::*seconds) {
        Figure figure{std::move(name), {}, counted};
        for (const Read& read : runs)
            figure.seconds.push_back(read.*seconds);
        return figure;
    };
    const std::vector<Figure> figures = {
        phase("1 open, file's index", bytes, reads, &Read::index),
        phase("2 open, index built by search", unindexed_bytes, searches, &Read::index),
        phase("3 scan walk", bytes, reads, &Read::walk),
        phase("3' scan walk, index built by search", unindexed_bytes, searches, &Read::walk),
        phase("4 every spectrum fetched", bytes, reads, &Read::spectra),
        phase("5 whole read (1 + 3 + 4)", bytes, reads, &Read::whole)};

    // Floors on the same bytes, as often as the plug-in was timed.
    const auto timed = [&](std::string name, double counted, const auto& work) {
        Figure figure{std::move(name), {}, counted};
        for (int r = 0; r < options.repeat; ++r) {
            const auto start = Clock::now();
            work();
            figure.seconds.push_back(seconds_since(start));
        }
        return figure;
    };
    const Figure plain = timed("floor: read(2), 1 MiB buffer", bytes, [&] {
        read_blocks(indexed, 1 << 20, 0, [](const char*, std::size_t) {});
    });
    std::uint64_t scan_tags = 0;
    const Figure search =
        timed("floor: memmem \"<scan\"", bytes, [&] { scan_tags = count_scan_tags(indexed); });
    const PeakTexts texts = extract_peak_texts(indexed);
    std::vector<unsigned char> out(texts.longest / 4 * 3 + 8);
    std::uint64_t units = 0;
    const Figure decode =
        timed("floor: base64 of the peak texts", static_cast<double>(texts.text.size()),
              [&] { units = decode_peak_texts(texts, out); });

    // Python in a process of its own, then the peer last: their
    // allocations must not count in our peak resident.
    Figure python{"python: whole read, arrays", {}, bytes};
    std::size_t python_peaks = 0;
    std::string python_why;
    if (readbench::python_read(indexed.string(), options.repeat, python.seconds, python_peaks,
                               python_why) &&
        python_peaks != first.peaks)
        fail("the Python whole read read " + std::to_string(python_peaks) + " peaks, not " +
             std::to_string(first.peaks));
    Figure peer{"peer: whole read, every array", {}, bytes};
    std::size_t peer_scans = 0, peer_peaks = 0;
    double peer_checksum = 0;
    for (int r = 0; r < options.repeat; ++r) {
        double seconds = 0;
        if (!readbench::peer_read(indexed.string(), seconds, peer_scans, peer_peaks, peer_checksum))
            break;
        peer.seconds.push_back(seconds);
    }

    const auto count = [](std::uint64_t n) { return static_cast<unsigned long long>(n); };
    std::printf("file     %s, %.1f MB (no-index copy %.1f MB), %s layout\n", indexed.c_str(),
                bytes / 1e6, unindexed_bytes / 1e6, options.layout.c_str());
    std::printf("content  %zu scans (%llu \"<scan\"), %llu peaks, checksum %.17g\n", first.scans,
                count(scan_tags), count(first.peaks), first.checksum);
    std::printf("events   %llu per whole read, %llu per search open (a counting listener)\n",
                count(first.events), count(searches.front().events));
    std::printf("runs     %d on the warm page cache; MB/s and scans/s of the best run\n\n",
                options.repeat);
    std::printf("%-34s %9s %9s %10s %12s\n", "phase", "best s", "median s", "MB/s", "scans/s");
    for (const Figure& figure : figures)
        print_row(figure, first.scans);
    for (const Figure* floor : {&plain, &search, &decode})
        print_row(*floor, first.scans);
    if (!python.seconds.empty())
        print_row(python, first.scans);
    if (!peer.seconds.empty())
        print_row(peer, peer_scans);
    std::printf("\nscan     %.0f ns a scan beyond the read(2) floor: (whole read %.4f s - "
                "read(2) %.4f s) / %zu scans, bests of the runs\n",
                (best(figures.back().seconds) - best(plain.seconds)) * 1e9 /
                    static_cast<double>(first.scans),
                best(figures.back().seconds), best(plain.seconds), first.scans);
    std::printf("base64   MB/s of %.1f MB of peak text alone, %llu values decoded\n",
                static_cast<double>(texts.text.size()) / 1e6, count(units));
    std::printf("walk     an open with the file's index reads the scan headers while it checks "
                "the index (phase 1), so phase 3 is the list alone; after a search (3') the walk "
                "reads them\n");
    if (!searches.front().searched)
        std::printf("search   the no-index open never said it was building the index\n");
    if (first.searched)
        std::printf("search   the indexed open built its index by search: phase 1 is not it\n");
    if (!first.split)
        std::printf("split    no walk event arrived: phase 1 is the whole open, phase 3 is 0\n");
    std::printf("memory   peak resident %.1f MiB (VmHWM, process-wide, taken right after the first "
                "whole read, the first work of the process; %.1f MiB before it)\n",
                resident_after, resident_before);
    if (python.seconds.empty())
        std::printf("python   not measured: %s\n", python_why.c_str());
    else
        std::printf("python   the module's whole read (open, scan columns, every spectrum as "
                    "arrays) has %.0f%% of the throughput of ours\n",
                    100.0 * best(figures.back().seconds) / best(python.seconds));
    if (peer.seconds.empty())
        std::printf("peer     not measured: %s\n", readbench::peer_name().c_str());
    else
        std::printf("peer     %s: %.2f times our whole read (%zu scans, %zu peaks, checksum "
                    "%.17g)\n",
                    readbench::peer_name().c_str(),
                    best(peer.seconds) / best(figures.back().seconds), peer_scans, peer_peaks,
                    peer_checksum);
    return 0;
} catch (const PAL::AppError& error) {
    std::fprintf(stderr, "read_bench: the plug-in refused: status 0x%08X, message 0x%08X\n",
                 error.code, error.message.id);
    return 1;
} catch (const std::exception& error) {
    std::fprintf(stderr, "read_bench: %s\n", error.what());
    return 1;
}

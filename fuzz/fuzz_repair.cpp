// The repair on any bytes, as the host runs it before it reads a refused
// file: the input becomes a file, repair writes its copy, and the plug-in
// loaded with dlopen lists the copy and reads every spectrum. A refusal
// (RepairRefused) or a copy the plug-in still refuses is an outcome; a
// finding is a crash, a sanitizer report, a hang, another exception, or a
// copy the plug-in reads that
//   - does not end with its index, an <indexOffset> pointing at it and
//     </mzXML>, or
//   - a second repair would change: repairing a repaired file gives its bytes.
#include <host/repair/repair.h>
#include <host/repair/repair_error.h>
#include <host/session/events.h>
#include <host/session/plugin.h>

#include <ds/data_source_intf.h>

#include <pal/exception.h>

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

namespace {

namespace fs = std::filesystem;
namespace repair = orvohost::repair;

fs::path scratch(const char* name) {
    return fs::temp_directory_path() /
           ("orvo_fuzz_repair_" + std::to_string(::getpid()) + "_" + name + ".mzXML");
}

[[noreturn]] void finding(const std::string& what) {
    std::fprintf(stderr, "fuzz_repair: %s\n", what.c_str());
    std::abort();
}

std::string bytes_of(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// Repairs `from` into `to`; false for a refusal.
bool repaired(const fs::path& from, const fs::path& to) {
    try {
        repair::CopyWriter out(to);
        repair::repair_file(from, out, {}, 1);
        out.commit();
        return true;
    } catch (const repair::RepairRefused&) {
        return false;
    } catch (const repair::RepairIoError& e) {
        finding(std::string("I/O error: ") + e.what());
    }
}

// Whether the plug-in lists the copy and reads every spectrum of it.
bool reads(const orvohost::Plugin& plugin, const fs::path& path) {
    const std::wstring wide(path.native().begin(), path.native().end());
    const orvohost::DataSource source = plugin.create();
    const orvoeng::PeakListOptions options;
    try {
        const orvoeng::ScanList list = source->open_file(wide, 1, &options, 1, {}, {});
        for (const orvoeng::ScanRecord& scan : *list)
            source->get_spectrum(scan.label, 0, {});
        return true;
    } catch (const PAL::Exception&) {
        return false;
    }
}

// The copy ends as every reader of an index expects: "<index", then
// "<indexOffset>N</indexOffset>" with N the offset of that "<index", then
// "</mzXML>" and at most white space.
void check_ending(const std::string& copy) {
    const std::size_t tail_start = copy.find_last_not_of(" \t\r\n");
    if (tail_start == std::string::npos ||
        std::string_view(copy).substr(0, tail_start + 1).ends_with("</mzXML>") == false)
        finding("the copy does not end with </mzXML>");
    const std::size_t offset_tag = copy.rfind("<indexOffset>");
    const std::size_t index_tag = copy.rfind("<index ");
    if (offset_tag == std::string::npos || index_tag == std::string::npos || index_tag > offset_tag)
        finding("the copy does not end with an index and its <indexOffset>");
    const std::size_t digits = offset_tag + 13;
    const std::size_t end = copy.find("</indexOffset>", digits);
    if (end == std::string::npos)
        finding("the copy's <indexOffset> is not closed");
    if (copy.substr(digits, end - digits) != std::to_string(index_tag))
        finding("the copy's <indexOffset> does not point at its <index");
    if (copy.find("</mzXML>", end) == std::string::npos)
        finding("no </mzXML> after the <indexOffset>");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Loaded once, never unloaded: what the module made may live to the end.
    static orvohost::EventChannel load_events({});
    static const orvohost::Plugin plugin(ORVO_PLUGIN_PATH, load_events.socket());
    static const fs::path input = scratch("in"), copy = scratch("copy"), again = scratch("again");
    {
        std::ofstream out(input, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
        if (!out)
            finding("cannot write the input file");
    }
    std::error_code ignored;
    if (repaired(input, copy) && reads(plugin, copy)) {
        const std::string first = bytes_of(copy);
        check_ending(first);
        if (!repaired(copy, again))
            finding("a copy the reader opens is refused by a second repair");
        if (bytes_of(again) != first)
            finding("repairing the copy again changes its bytes");
    }
    for (const fs::path& path : {input, copy, again})
        fs::remove(path, ignored);
    return 0;
}

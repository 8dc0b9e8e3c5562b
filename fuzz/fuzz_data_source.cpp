// The mzXML plug-in driven as a host drives it, on any bytes: the input
// becomes a file, the module loaded with dlopen opens it with a listener and
// a progress root attached, lists it, fetches every spectrum and the run
// information, and a fresh data source peeks at it. The plug-in's typed
// failures (PAL::Exception and its subclasses, AppError above all) are how it
// refuses a file; a crash, a sanitizer report, a hang or any other exception
// is a finding.
#include <host/session/events.h>
#include <host/session/plugin.h>

#include <ds/data_source_intf.h>

#include <pal/exception.h>
#include <pal/progress.h>

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

namespace {

namespace fs = std::filesystem;

// One file per process, rewritten for every input and removed at the end.
struct InputFile {
    fs::path path = fs::temp_directory_path() /
                    ("orvo_fuzz_data_source_" + std::to_string(::getpid()) + ".mzXML");
    std::wstring wide = std::wstring(path.native().begin(), path.native().end());
    ~InputFile() {
        std::error_code ignored;
        fs::remove(path, ignored);
    }
    void write(const std::uint8_t* data, std::size_t size) const {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
        if (!out)
            finding("cannot write the input file");
    }
    [[noreturn]] static void finding(const char* what) {
        std::fprintf(stderr, "fuzz_data_source: %s\n", what);
        std::abort();
    }
};

// Reads what every event carries, so a message built from freed or
// unterminated text shows up here, in the listener, as it would in a host.
std::size_t touch(const PAL::Event& event) {
    if (event.kind != PAL::Event::MSG_EVENT)
        return event.level;
    const PAL::Message& message = static_cast<const PAL::MsgEvent&>(event).message;
    std::size_t sum = message.id;
    for (const std::wstring& arg : message.args)
        for (const wchar_t c : arg)
            sum += static_cast<std::size_t>(c);
    return sum;
}

// Runs one call of the interface; a typed failure ends that call only.
template <class Call>
bool attempt(Call call) {
    try {
        call();
        return true;
    } catch (const PAL::Exception& e) {
        (void)e.description();
        return false;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "fuzz_data_source: std::exception: %s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "fuzz_data_source: an exception of unknown type\n");
    }
    std::abort();
}

void drive(const orvohost::Plugin& plugin, const InputFile& file) {
    std::size_t seen = 0;
    orvohost::EventChannel channel([&](const PAL::Event& event) { seen += touch(event); });
    const PAL::SmartPtr<PAL::Progress> root(
        new PAL::Progress(channel.socket(), PAL::Message(), 2, 1));
    const orvoeng::PeakListOptions options;

    const orvohost::DataSource source = plugin.create();
    orvoeng::ScanList list;
    if (attempt(
            [&] { list = source->open_file(file.wide, 1, &options, 1, channel.socket(), root); })) {
        root->step(1);
        for (const orvoeng::ScanRecord& scan : *list) {
            attempt([&] {
                const auto spectrum = source->get_spectrum(scan.label, 0, channel.socket());
                for (const orvoeng::Peak& peak : *spectrum->peaks)
                    seen += peak.mz > peak.intensity;
            });
            attempt([&] {
                orvoeng::RawSpecInfo info;
                source->get_raw_spec_info(scan.label, 0, info);
                seen += info.peak_count;
            });
        }
        attempt([&] {
            for (const auto& [key, value] : source->get_instrument_info())
                seen += static_cast<std::size_t>(key) + value.size();
        });
        attempt([&] { seen += static_cast<std::size_t>(source->get_completion_time()); });
        attempt([&] {
            seen += source->is_centroided() + source->data_set_count() +
                    source->listed_data_set_count() + source->get_scan_count() +
                    static_cast<std::size_t>(source->get_scan_mix());
        });
        root->step(1);
    }

    const orvohost::DataSource peeker = plugin.create();
    attempt([&] { peeker->peek_file(file.wide, 1, channel.socket()); });
    // Keeps the reads above from being optimised away.
    if (seen == 1)
        std::fprintf(stderr, "%s", "");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Loaded once, never unloaded: what the module made may live to the end.
    static orvohost::EventChannel load_events({});
    static const orvohost::Plugin plugin(ORVO_PLUGIN_PATH, load_events.socket());
    static const InputFile file;
    file.write(data, size);
    drive(plugin, file);
    return 0;
}

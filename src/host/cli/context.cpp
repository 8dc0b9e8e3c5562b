#include "context.h"

#include "text.h"

#include <pal/exception.h>
#include <pal/progress.h>

#include <fmt/format.h>

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace orvohost::cli {

std::uint32_t level_limit(int verbose, bool quiet) {
    if (quiet)
        return 0;
    switch (verbose) {
    case 0:
        return 1;
    case 1:
        return 5;
    case 2:
        return 6;
    default:
        return 0xFFFFFFFF;
    }
}

const Plugin& Context::plugin() {
    if (!loaded) {
        const std::filesystem::path path = options.plugin_path.empty()
                                               ? default_plugin_path()
                                               : std::filesystem::path(options.plugin_path);
        entry_events = std::make_unique<EventChannel>(event_printer(path));
        loaded = std::make_unique<Plugin>(path, entry_events->socket());
    }
    return *loaded;
}

Format Context::format() const {
    if (options.format == "tsv")
        return Format::TSV;
    if (options.format == "json")
        return Format::JSON;
    if (options.format == "table")
        return Format::TABLE;
    return ::isatty(STDOUT_FILENO) == 1 ? Format::TABLE : Format::TSV;
}

ReadOptions Context::read_options() const {
    ReadOptions read;
    read.first_label = options.first_label;
    if (!options.centroided.empty())
        read.centroided = options.centroided == "yes";
    return read;
}

void Context::note(const std::string& line) {
    bar.interrupt();
    fmt::print(stderr, "orvo-host: {}\n", line);
    std::fflush(stderr);
}

std::string Context::event_text(const PAL::MsgEvent& event) {
    return host_catalog.sentence(event.message);
}

std::string Context::failure_text(const std::filesystem::path& file, std::exception_ptr error) {
    std::string text;
    try {
        std::rethrow_exception(error);
    } catch (const PAL::AppError& e) {
        text = fmt::format("{} (status 0x{:08X})", host_catalog.sentence(e.message), e.code);
    } catch (const PAL::Exception& e) {
        text = utf8(e.description());
    } catch (const std::bad_alloc&) {
        text = "out of memory";
    } catch (const std::exception& e) {
        text = e.what();
    } catch (...) {
        text = "unknown failure";
    }
    // The sentence names the file where the catalog text has the path.
    const std::string name = file.string();
    if (name.empty() || text.find(name) != std::string::npos)
        return text;
    return name + ": " + text;
}

EventHandler Context::event_printer(const std::filesystem::path& file) {
    const std::uint32_t limit = level_limit(options.verbose, options.quiet);
    const std::string label = file.filename().string();
    return [this, limit, label](const PAL::Event& event) {
        if (event.kind == PAL::Event::PROGRESS_EVENT) {
            const auto& progress = static_cast<const PAL::ProgressEvent&>(event);
            if (progress.final)
                bar.finish();
            else if (!options.quiet && options.jobs <= 1)
                bar.update(label, progress.percentage);
            return;
        }
        if (event.kind == PAL::Event::MSG_EVENT && event.level <= limit)
            note(label + ": " + event_text(static_cast<const PAL::MsgEvent&>(event)));
    };
}

OutputFile::OutputFile(const std::string& where) : path(where) {
    if (path.empty() || path == "-") {
        stream = stdout;
        return;
    }
    stream = std::fopen(path.c_str(), "wb");
    if (!stream)
        throw HostError(fmt::format("cannot write {}: {}", path, std::strerror(errno)));
}

OutputFile::~OutputFile() {
    if (stream && stream != stdout)
        std::fclose(stream);
}

void OutputFile::write(const std::string& text) {
    if (std::fwrite(text.data(), 1, text.size(), stream) != text.size())
        throw HostError(fmt::format("cannot write {}: {}", path.empty() ? "standard output" : path,
                                    std::strerror(errno)));
}

void OutputFile::write_when_full(std::string& text) {
    if (text.size() > (1u << 20)) {
        write(text);
        text.clear();
    }
}

void OutputFile::close() {
    const bool failed = std::fflush(stream) != 0 || std::ferror(stream);
    if (stream != stdout) {
        const bool close_failed = std::fclose(stream) != 0;
        stream = nullptr;
        if (failed || close_failed)
            throw HostError(fmt::format("cannot write {}", path));
    } else if (failed) {
        throw HostError("cannot write to standard output");
    }
}

void add_scan_selection(CLI::App& command, ScanSelection& selection) {
    command.add_option("FILE", selection.file, "mzXML file")->required();
    command.add_option("--ms-level", selection.ms_level, "only scans of this MS level")
        ->check(CLI::Range(1, 16));
}

} // namespace orvohost::cli

// One mzXML file opened from Python: the host's DataFile, listed at open,
// with the events the plug-in posted about it. Plain C++ on the host
// library; module.cpp turns it into Python objects.
//
// Calls may come from several Python threads with the interpreter lock
// released, so a Run serialises its own calls: the data source under it
// must not be entered twice at once.
#pragma once

#include "event_log.h"

#include <host/session/data_file.h>
#include <host/session/run_facts.h>

#include <ds/data_source_intf.h>
#include <ds/types.h>

#include <pal/message.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace orvopy {

// Events kept per Run. A listing posts a notice for every scan and every
// spectrum, so a log without a bound would grow with every read. Once it is
// full, spectra are read without a listener.
constexpr std::size_t EVENT_LOG_LIMIT = 100000;

class Run {
public:
    // Opens and lists the file; raises what DataFile::open raises.
    Run(std::filesystem::path path, const orvohost::ReadOptions& options);

    void close();
    bool closed() const { return !file; }

    const std::vector<orvoeng::ScanRecord>& scans() const;
    const orvoeng::ScanRecord* find(std::uint32_t label) const;
    PAL::SmartPtr<orvoeng::Spectrum> spectrum(std::uint32_t label);
    orvoeng::RawSpecInfo spectrum_info(std::uint32_t label);

    // The run's facts, read once: instrument info and completion time come
    // from a peek, the rest from the listing.
    struct Info {
        orvohost::RunInfo peeked;
        orvohost::RunFacts run;
        std::optional<bool> centroided;
        bool centroiding_stated = true;
        std::uint32_t scan_count = 0;
        std::int32_t scan_mix = 0;
    };
    const Info& info();

    std::vector<LoggedEvent> events() const;
    std::size_t events_dropped() const;

    const std::filesystem::path& path() const { return file_path; }
    // The num the file the person gave gives each scan.
    orvohost::ScanNumbers scan_numbers() const { return open_file().scan_numbers(); }
    // True when the file does not state its centroiding and no choice was
    // given: it was read as profile spectra.
    bool profile_assumed() const { return assumed_profile; }
    // What the scan tags state beyond the records; read on first use.
    orvohost::ScanTags scan_tags();

    // Labels whose spectra an iteration that does not raise could not read.
    // Touched only while the interpreter lock is held.
    std::set<std::uint32_t> skipped_labels;

private:
    void log(const PAL::Event& event);
    orvohost::DataFile& open_file() const;

    std::filesystem::path file_path;
    bool chosen = false; // the person chose the centroiding
    // Before the file: it may still post events while it closes.
    EventLog logged{EVENT_LOG_LIMIT};
    std::unique_ptr<orvohost::DataFile> file;
    const std::vector<orvoeng::ScanRecord>* listed = nullptr;
    std::optional<Info> facts;
    bool assumed_profile = false;
    // Held across every call into the plug-in.
    std::mutex calls;
};

} // namespace orvopy

// One mzXML file as the host reads it through the plug-in: its own event
// socket, a data source that peeks and another that lists, and spectra by
// label. Distinct DataFiles are independent and may live on distinct
// threads; the calls on one must not overlap.
//
// A failed call raises the plug-in's PAL::AppError as a ReadFailure that
// keeps the error events the plug-in posted during that call, so that the
// sentence a person reads can name the cause.
#pragma once

#include "events.h"
#include "plugin.h"
#include "read_failure.h"
#include "repaired_copy.h"
#include "scan_tags.h"

#include <ds/data_source_intf.h>
#include <ds/types.h>

#include <pal/message.h>
#include <pal/progress.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace orvohost {

struct ReadOptions {
    std::uint32_t first_label = 1;
    // For files that do not state their centroiding; unset passes no flag.
    std::optional<bool> centroided;
    // Where a file the plug-in refuses for a cause repair mends is read
    // through a repaired temporary copy; unset: refused as an engine
    // refuses it.
    std::optional<CopyPolicy> repaired_copy;
    // Told once a file, when it is read through a repaired copy, what the
    // repair mended.
    std::function<void(const std::filesystem::path& file, const std::string& mended)> on_repaired;
};

struct RunInfo {
    orvoeng::InstrumentInfo instrument;
    // Seconds since 1970; unset when the file names no completion time.
    std::optional<std::int64_t> completion_time;
    // Why there is no completion time, when the plug-in said why.
    std::optional<PAL::Message> completion_problem;
};

class DataFile {
public:
    // `handler` receives every event the plug-in posts about this file.
    DataFile(const Plugin& plugin, std::filesystem::path path, EventHandler handler);
    DataFile(const DataFile&) = delete;
    DataFile& operator=(const DataFile&) = delete;

    const std::filesystem::path& path() const { return file_path; }

    // Recognises the file and reads its run information without listing it.
    RunInfo peek(const ReadOptions& options = {});

    // Lists the file's scans; progress under `parent`, which may be empty.
    // A file that does not state its centroiding, opened without a choice,
    // is read as profile spectra: the plug-in is asked again with that
    // choice, and each event is delivered once. The error events of a
    // failed open are not delivered: they travel with its ReadFailure.
    const std::vector<orvoeng::ScanRecord>& open(const ReadOptions& options,
                                                 const PAL::SmartPtr<PAL::Progress>& parent);

    // After open: the listing data source and the scan of a label.
    orvoeng::DataSourceIntf& source();
    const orvoeng::ScanRecord* find(std::uint32_t label) const;
    PAL::SmartPtr<orvoeng::Spectrum> spectrum(std::uint32_t label);

    // A root progress node that posts through this file's socket.
    PAL::SmartPtr<PAL::Progress> root_progress(unsigned int steps);

    // True when the open read the file as profile spectra because the file
    // does not state its centroiding and no choice was given.
    bool profile_assumed() const { return assumed_profile; }

    // What the repair mended when the file is read through a repaired copy.
    std::optional<std::string> mended() const;
    // The num the file itself gives each scan.
    ScanNumbers scan_numbers() const;
    // What the scan tags of the file the plug-in lists state beyond its
    // records; read on the first call, after open.
    const ScanTags& scan_tags();
    // How many peaks of the last spectrum fetched the plug-in's m/z floor
    // left out: the m/z values its notice says it read, less the peaks it
    // handed over. Free, where comparing with the tags would read the file.
    std::uint32_t peaks_under_floor() const { return under_floor; }

private:
    void deliver(const PAL::Event& event);
    // Delivers the held error events when the call succeeded; a failed
    // call's travel with its ReadFailure instead.
    void release_held(bool succeeded);
    // Runs a call into the plug-in; its AppError leaves as a ReadFailure.
    template <class Call>
    auto guarded(Call&& call);
    PAL::SmartPtr<orvoeng::Spectrum> fetch(std::uint32_t label);
    const std::vector<orvoeng::ScanRecord>& list(const ReadOptions& options,
                                                 const PAL::SmartPtr<PAL::Progress>& parent);

    // Refuses what would block the plug-in's open: a FIFO waits for a
    // writer forever.
    void check_openable() const;
    // After `failure`, reads the file through a repaired copy from now on,
    // when the options allow one and the failure is one a repair may mend;
    // false when it is not (the caller raises the failure then).
    bool read_through_copy(const ReadFailure& failure);
    // Back to the file itself, the copy removed.
    void give_up_copy();
    RunInfo peek_run();
    // A message as the person knows the file: the copy's path in its
    // arguments replaced by the path given.
    PAL::Message as_given(PAL::Message message) const;
    const std::vector<orvoeng::ScanRecord>&
    open_listing(const ReadOptions& options, const PAL::SmartPtr<PAL::Progress>& parent);

    const Plugin& plugin;
    std::filesystem::path file_path;
    std::wstring wide_given; // file_path as the plug-in takes it
    std::wstring wide_path;  // wide_given, or the copy's path while there is one
    EventHandler handler;
    // Error events of the call under way, for the failure it may end in.
    std::vector<PAL::Message> call_errors;
    // While set, error events (level 1) are held back instead of delivered;
    // they are few, while a listing posts a notice for every scan.
    bool holding = false;
    std::vector<std::pair<std::uint32_t, PAL::Message>> held;
    // While set, the other message events are dropped: those of a listing
    // asked again, which the first listing delivered already.
    bool muted = false;
    bool assumed_profile = false;
    // Before the data sources, so that it is removed after them: Windows
    // deletes no file that is still open.
    std::unique_ptr<RepairedCopy> copy;
    EventChannel channel;
    DataSource listed;
    // The plug-in's own list, kept rather than copied: a listing of a
    // large file is megabytes, and the plug-in keeps no hold on it.
    orvoeng::ScanList scans;
    std::uint32_t first_label = 1;
    // The options of the last open, for a copy made when a spectrum fails.
    ReadOptions opened_with;
    // A listing replaced by the copy's, still referred to by callers.
    orvoeng::ScanList replaced;
    std::optional<ScanTags> tags;
    // The m/z values the plug-in said it read for the spectrum under way.
    std::optional<std::uint32_t> values_read;
    std::uint32_t under_floor = 0;
};

} // namespace orvohost

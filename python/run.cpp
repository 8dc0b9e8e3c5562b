#include "run.h"

#include "session.h"

#include <stdexcept>
#include <utility>

namespace orvopy {

Run::Run(std::filesystem::path path, const orvohost::ReadOptions& options)
    : file_path(std::move(path)), chosen(options.centroided.has_value()) {
    file = std::make_unique<orvohost::DataFile>(Session::get().plugin(), file_path,
                                                [this](const PAL::Event& event) { log(event); });
    const std::lock_guard<std::mutex> hold(calls);
    listed = &file->open(options, {});
    assumed_profile = file->profile_assumed();
}

void Run::log(const PAL::Event& event) {
    if (event.kind != PAL::Event::MSG_EVENT)
        return;
    const auto& posted = static_cast<const PAL::MsgEvent&>(event);
    logged.add(posted.level, posted.message);
}

void Run::close() {
    const std::lock_guard<std::mutex> hold(calls);
    listed = nullptr;
    file.reset();
}

orvohost::DataFile& Run::open_file() const {
    if (!file)
        throw std::logic_error("this orvo.Run is closed");
    return *file;
}

const std::vector<orvoeng::ScanRecord>& Run::scans() const {
    static_cast<void>(open_file());
    return *listed;
}

const orvoeng::ScanRecord* Run::find(std::uint32_t label) const {
    return open_file().find(label);
}

PAL::SmartPtr<orvoeng::Spectrum> Run::spectrum(std::uint32_t label) {
    const std::lock_guard<std::mutex> hold(calls);
    // A full log keeps nothing more: the spectrum is then read without a
    // listener, so the plug-in formats no notice only to have it counted.
    if (logged.full())
        return open_file().source().get_spectrum(label, 0, {});
    return open_file().spectrum(label);
}

orvohost::ScanTags Run::scan_tags() {
    const std::lock_guard<std::mutex> hold(calls);
    return open_file().scan_tags();
}

orvoeng::RawSpecInfo Run::spectrum_info(std::uint32_t label) {
    const std::lock_guard<std::mutex> hold(calls);
    orvoeng::RawSpecInfo out;
    open_file().source().get_raw_spec_info(label, 0, out);
    return out;
}

const Run::Info& Run::info() {
    const std::lock_guard<std::mutex> hold(calls);
    orvohost::DataFile& data = open_file();
    if (!facts) {
        Info read;
        read.peeked = data.peek();
        const orvohost::RunHead head = orvohost::read_run_head(file_path);
        read.run = orvohost::run_facts(read.peeked.instrument, head);
        orvoeng::DataSourceIntf& source = data.source();
        read.centroided =
            orvohost::listed_centroiding(source.is_centroided(), head, chosen, assumed_profile);
        read.centroiding_stated = !assumed_profile;
        read.scan_count = source.get_scan_count();
        read.scan_mix = source.get_scan_mix();
        facts = std::move(read);
    }
    return *facts;
}

std::vector<LoggedEvent> Run::events() const {
    return logged.events();
}

std::size_t Run::events_dropped() const {
    return logged.dropped();
}

} // namespace orvopy

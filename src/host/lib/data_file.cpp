#include "data_file.h"

#include "text.h"

#include <ds/messages.h>

#include <pal/exception.h>

#include <sys/stat.h>

namespace orvohost {

DataFile::DataFile(const Plugin& loaded, std::filesystem::path path, EventHandler handler)
    : plugin(loaded), file_path(std::move(path)), wide_path(from_argument(file_path.string())),
      channel(std::move(handler)) {}

void DataFile::check_openable() const {
#ifdef _WIN32
    // Windows names its devices (NUL, CON, COM1...) in any folder.
    std::error_code error;
    const auto status = std::filesystem::status(file_path, error);
    if (!error && status.type() != std::filesystem::file_type::regular &&
        status.type() != std::filesystem::file_type::directory &&
        status.type() != std::filesystem::file_type::not_found)
#else
    struct stat info {};
    if (::stat(file_path.c_str(), &info) == 0 && !S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode))
#endif
        throw HostError(file_path.string() +
                        " is not a regular file (a pipe, socket or device); give an mzXML file");
}

RunInfo DataFile::peek() {
    check_openable();
    // A peeked data source can never list, so it gets one of its own.
    const DataSource peeked = plugin.create();
    peeked->peek_file(wide_path, 1, channel.socket());
    RunInfo info;
    info.instrument = peeked->get_instrument_info();
    try {
        const std::int64_t time = peeked->get_completion_time();
        if (time != 0)
            info.completion_time = time;
    } catch (const PAL::AppError& error) {
        if (error.code != orvoeng::msg::NO_COMPLETION_TIME.code)
            throw;
        info.completion_problem = error.message;
    }
    return info;
}

const std::vector<orvoeng::ScanRecord>& DataFile::open(const ReadOptions& options,
                                                       const PAL::SmartPtr<PAL::Progress>& parent) {
    check_openable();
    orvoeng::PeakListOptions peak_options;
    if (options.centroided) {
        peak_options.flags = orvoeng::PeakListOptions::CENTROIDED_GIVEN;
        peak_options.centroided = *options.centroided;
    }
    // A failed open leaves a data source that cannot be opened again.
    listed = plugin.create();
    first_label = options.first_label;
    scans = listed->open_file(wide_path, 1, &peak_options, options.first_label, channel.socket(),
                              parent);
    if (!scans)
        scans = orvoeng::ScanList(new std::vector<orvoeng::ScanRecord>());
    return *scans;
}

orvoeng::DataSourceIntf& DataFile::source() {
    if (!listed)
        throw HostError("internal: " + file_path.string() + " is not open");
    return *listed;
}

const orvoeng::ScanRecord* DataFile::find(std::uint32_t label) const {
    if (!scans || label < first_label || label - first_label >= scans->size())
        return nullptr;
    return &(*scans)[label - first_label];
}

PAL::SmartPtr<orvoeng::Spectrum> DataFile::spectrum(std::uint32_t label) {
    return source().get_spectrum(label, 0, channel.socket());
}

PAL::SmartPtr<PAL::Progress> DataFile::root_progress(unsigned int steps) {
    return PAL::SmartPtr<PAL::Progress>(
        new PAL::Progress(channel.socket(), PAL::Message(), steps, 1));
}

} // namespace orvohost

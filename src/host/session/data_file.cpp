#include "data_file.h"

#include "read_failure.h"
#include "utf8_text.h"

#include <host/repair/repair_error.h>

#include <ds/messages.h>

#include <pal/exception.h>

#include <cwchar>

#include <sys/stat.h>

namespace orvohost {

DataFile::DataFile(const Plugin& loaded, std::filesystem::path path, EventHandler on_event)
    : plugin(loaded), file_path(std::move(path)), wide_given(from_argument(file_path.string())),
      wide_path(wide_given), handler(std::move(on_event)),
      channel([this](const PAL::Event& event) { deliver(event); }) {}

void DataFile::deliver(const PAL::Event& event) {
    if (event.kind == PAL::Event::MSG_EVENT) {
        const auto& posted = static_cast<const PAL::MsgEvent&>(event);
        if (posted.message.id == orvoeng::msg::PEAKS_READ.id && !posted.message.args.empty())
            values_read = static_cast<std::uint32_t>(
                std::wcstoul(posted.message.args[0].c_str(), nullptr, 10));
        if (posted.level <= 1) {
            call_errors.push_back(as_given(posted.message));
            if (holding) {
                held.emplace_back(posted.level, call_errors.back());
                return;
            }
        } else if (muted) {
            return;
        }
        if (copy && handler) {
            handler(PAL::MsgEvent(posted.level, as_given(posted.message)));
            return;
        }
    }
    if (handler)
        handler(event);
}

PAL::Message DataFile::as_given(PAL::Message message) const {
    if (copy)
        for (auto& argument : message.args)
            if (argument == wide_path)
                argument = wide_given;
    return message;
}

void DataFile::release_held(bool succeeded) {
    holding = false;
    auto events = std::move(held);
    held.clear();
    if (handler)
        if (succeeded)
            for (const auto& [level, message] : events)
                handler(PAL::MsgEvent(level, message));
}

template <class Call>
auto DataFile::guarded(Call&& call) {
    call_errors.clear();
    try {
        return call();
    } catch (const ReadFailure&) {
        throw;
    } catch (const PAL::AppError& error) {
        PAL::AppError given = error;
        given.message = as_given(error.message);
        throw ReadFailure(given, file_path, std::move(call_errors));
    }
}

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

RunInfo DataFile::peek(const ReadOptions& options) {
    opened_with = options;
    try {
        return peek_run();
    } catch (const ReadFailure& failure) {
        if (!read_through_copy(failure))
            throw;
        try {
            return peek_run();
        } catch (const ReadFailure&) {
            // The copy reads no better: the original's refusal stands.
            give_up_copy();
            throw failure;
        }
    }
}

RunInfo DataFile::peek_run() {
    check_openable();
    // A peeked data source can never list, so it gets one of its own.
    const DataSource peeked = plugin.create();
    // As at open, a refusal's error events travel with the failure.
    holding = true;
    held.clear();
    try {
        guarded([&] { peeked->peek_file(wide_path, 1, channel.socket()); });
    } catch (...) {
        release_held(false);
        throw;
    }
    release_held(true);
    RunInfo info;
    info.instrument = guarded([&] { return peeked->get_instrument_info(); });
    // The file's name is the one the person gave, never the copy's.
    if (copy)
        for (auto& [key, value] : info.instrument)
            if (key == orvoeng::FileName && value == wide_path)
                value = from_argument(file_path.string());
    try {
        const std::int64_t time = guarded([&] { return peeked->get_completion_time(); });
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
    opened_with = options;
    try {
        return open_listing(options, parent);
    } catch (const ReadFailure& failure) {
        if (!read_through_copy(failure))
            throw;
        try {
            return open_listing(options, parent);
        } catch (const ReadFailure&) {
            // The copy reads no better: the original's refusal stands.
            listed.reset();
            give_up_copy();
            throw failure;
        }
    }
}

bool DataFile::read_through_copy(const ReadFailure& failure) {
    if (copy || !opened_with.repaired_copy || !repair_may_mend(failure))
        return false;
    try {
        copy = std::make_unique<RepairedCopy>(file_path, *opened_with.repaired_copy);
    } catch (const repair::RepairRefused&) {
        return false;
    }
    wide_path = from_argument(copy->path().string());
    if (opened_with.on_repaired)
        opened_with.on_repaired(file_path, copy->mended());
    return true;
}

void DataFile::give_up_copy() {
    copy.reset();
    wide_path = wide_given;
}

std::optional<std::string> DataFile::mended() const {
    if (!copy)
        return std::nullopt;
    return copy->mended();
}

ScanNumbers DataFile::scan_numbers() const {
    return copy ? copy->original_numbers() : ScanNumbers();
}

const ScanTags& DataFile::scan_tags() {
    // The listing's positions are those of the file the plug-in read.
    if (!tags)
        tags = read_scan_tags(copy ? copy->path() : file_path);
    return *tags;
}

const std::vector<orvoeng::ScanRecord>&
DataFile::open_listing(const ReadOptions& options, const PAL::SmartPtr<PAL::Progress>& parent) {
    check_openable();
    assumed_profile = false;
    // A listing that ends in the centroiding question is asked again: its
    // notices were delivered as it went, so the second listing's are
    // dropped, and error events wait until it is known whether the open
    // failed (a failed open's travel with its ReadFailure, whose sentence
    // names the cause).
    // Null when the plug-in asks for a centroiding choice that may be made.
    const auto listing_of = [&](const ReadOptions& choice,
                                bool may_choose) -> const std::vector<orvoeng::ScanRecord>* {
        holding = true;
        held.clear();
        try {
            const auto& listing = list(choice, parent);
            release_held(true);
            return &listing;
        } catch (const PAL::AppError& error) {
            // Asked again only when the file itself leaves the choice open,
            // never after a read the system failed.
            if (may_choose && error.code == orvoeng::msg::CENTROIDING_UNKNOWN.code &&
                !read_failed(error)) {
                holding = false;
                held.clear();
                return nullptr;
            }
            release_held(false);
            throw;
        }
    };
    if (const auto* listing = listing_of(options, !options.centroided))
        return *listing;
    ReadOptions as_profile = options;
    as_profile.centroided = false;
    muted = true;
    try {
        const auto& listing = *listing_of(as_profile, false);
        muted = false;
        assumed_profile = true;
        return listing;
    } catch (...) {
        muted = false;
        throw;
    }
}

const std::vector<orvoeng::ScanRecord>& DataFile::list(const ReadOptions& options,
                                                       const PAL::SmartPtr<PAL::Progress>& parent) {
    orvoeng::PeakListOptions peak_options;
    if (options.centroided) {
        peak_options.flags = orvoeng::PeakListOptions::CENTROIDED_GIVEN;
        peak_options.centroided = *options.centroided;
    }
    // A failed open leaves a data source that cannot be opened again.
    listed = plugin.create();
    first_label = options.first_label;
    scans = guarded([&] {
        return listed->open_file(wide_path, 1, &peak_options, options.first_label, channel.socket(),
                                 parent);
    });
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
    values_read.reset();
    under_floor = 0;
    auto spectrum = fetch(label);
    const std::size_t handed = spectrum->peaks->size();
    if (values_read && *values_read > handed)
        under_floor = static_cast<std::uint32_t>(*values_read - handed);
    return spectrum;
}

PAL::SmartPtr<orvoeng::Spectrum> DataFile::fetch(std::uint32_t label) {
    try {
        orvoeng::DataSourceIntf& listing = source();
        return guarded([&] { return listing.get_spectrum(label, 0, channel.socket()); });
    } catch (const ReadFailure& failure) {
        // Peak lists the plug-in cannot decode (attributes missing, blanks
        // inside base64 groups) are what a repair mends: the rest of the
        // file is read through the copy, listed again, quietly.
        if (failure.code != orvoeng::msg::BAD_PEAKS.code || !read_through_copy(failure))
            throw;
        DataSource before = std::move(listed);
        replaced = scans;
        ReadOptions again = opened_with;
        if (assumed_profile)
            again.centroided = false;
        muted = true;
        try {
            list(again, {});
            tags.reset();
            muted = false;
            return guarded([&] { return listed->get_spectrum(label, 0, channel.socket()); });
        } catch (const PAL::AppError&) {
            muted = false;
            listed = std::move(before);
            scans = replaced;
            give_up_copy();
            throw failure;
        }
    }
}

PAL::SmartPtr<PAL::Progress> DataFile::root_progress(unsigned int steps) {
    return PAL::SmartPtr<PAL::Progress>(
        new PAL::Progress(channel.socket(), PAL::Message(), steps, 1));
}

} // namespace orvohost

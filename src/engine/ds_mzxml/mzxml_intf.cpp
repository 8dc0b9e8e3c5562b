#include "mzxml_intf.h"

#include "filled_list.h"
#include "gathered_steps.h"
#include "scan_record.h"

#include <ds/messages.h>

#include <pal/event.h>
#include <pal/string.h>
#include <pal/time.h>

#include <locale>
#include <memory>
#include <utility>
#include <vector>

namespace {
constexpr const char* source_file = "mzxml_intf";

constexpr std::uint32_t DATA_SETS = 1;
constexpr std::uint32_t SCAN_FORMAT = 4;
// Peaks at or below this m/z are never handed to the host.
constexpr double MIN_MZ = 1.0;

const wchar_t* refusal_reason(std::uint32_t open_state) {
    switch (open_state) {
    case orvoeng::MzXMLReader::OPEN_NO_SCHEMA:
        return L"Document does not conform to version 2.0 of mzXML schema";
    case orvoeng::MzXMLReader::OPEN_NO_INDEX:
        return L"File corrupt. Unable to read/create index";
    case orvoeng::MzXMLReader::OPEN_NO_SCAN_COUNT:
        return L"File corrupt. Can't determine scan count";
    default:
        return nullptr;
    }
}

std::wstring wide(const std::string& text) {
    return PAL::to_wide(text, std::locale::classic());
}

orvoeng::MzxmlIntfFactory factory_instance;

} // namespace

namespace orvoeng {

// ---- entry point and factory ------------------------------------------------

DataSourceIntfFactory* ds_mzxml_get_intf_factory(unsigned int version,
                                                 const PAL::SmartPtr<PAL::EventSocket>& events) {
    if (version == DS_INTF_VERSION)
        return &factory_instance;
    if (events)
        PAL::post_message(events, msg::WRONG_VERSION.level,
                          PAL::Message(msg::WRONG_VERSION.id).add(std::wstring(L"mzXML")));
    return nullptr;
}

DataSourceIntf* MzxmlIntfFactory::create() {
    return new MzxmlIntf();
}

// ---- state and opening ------------------------------------------------------

MzxmlIntf::MzxmlIntf() = default;
MzxmlIntf::~MzxmlIntf() = default;

std::uint16_t MzxmlIntf::revision() {
    return 1;
}

void MzxmlIntf::check_not_open() const {
    if (!file_name.empty())
        PAL_RAISE(PAL::AppError, msg::ALREADY_OPEN.code, PAL::Message(msg::ALREADY_OPEN.id));
}

void MzxmlIntf::check_open() const {
    if (file_name.empty())
        PAL_RAISE(PAL::AppError, msg::NOT_OPEN.code, PAL::Message(msg::NOT_OPEN.id));
}

void MzxmlIntf::check_listed() const {
    check_open();
    if (header_only)
        PAL_RAISE(PAL::AppError, msg::NOT_OPEN.code, PAL::Message(msg::NOT_OPEN.id));
}

void MzxmlIntf::open_reader(const std::wstring& path, int selector,
                            const PAL::SmartPtr<PAL::EventSocket>& events,
                            const PAL::SmartPtr<PAL::Progress>& progress) {
    if (selector != static_cast<int>(DATA_SETS))
        PAL_RAISE(PAL::AppError, msg::BAD_SELECTOR.code, PAL::Message(msg::BAD_SELECTOR.id));
    check_path_conversion(path);
    if (reader.open(path, header_only, events, progress)) {
        file_name = path;
        open_events = events;
        return;
    }
    if (const wchar_t* reason = refusal_reason(reader.open_state()))
        PAL_RAISE(PAL::AppError, msg::FILE_REFUSED.code,
                  PAL::Message(msg::FILE_REFUSED_BECAUSE.id).add(path).add(std::wstring(reason)));
    PAL_RAISE(PAL::AppError, msg::FILE_REFUSED.code, PAL::Message(msg::FILE_REFUSED.id).add(path));
}

void MzxmlIntf::peek_file(const std::wstring& path, int selector,
                          const PAL::SmartPtr<PAL::EventSocket>& events) {
    check_not_open();
    header_only = true;
    open_reader(path, selector, events, PAL::SmartPtr<PAL::Progress>());
}

ScanList MzxmlIntf::open_file(const std::wstring& path, int selector,
                              const PeakListOptions* options, std::uint32_t label_base,
                              const PAL::SmartPtr<PAL::EventSocket>& events,
                              const PAL::SmartPtr<PAL::Progress>& progress) {
    check_not_open();
    // One step for the index, one for the walk over the scans.
    PAL::SmartPtr<PAL::Progress> node(new PAL::Progress(progress, 2, 1));
    first_label = label_base;
    header_only = false;
    open_reader(path, selector, events, node);
    raw_spec_info.reset(reader.scan_count());
    node->step(1);
    ScanList list = scan_walk(events, node);
    node->step(1);

    // Centroiding comes from the file or from the host, never from both.
    if (reader.centroid_info_complete(events)) {
        if (options->flags != 0)
            PAL_RAISE(PAL::AppError, msg::CENTROIDING_CONFLICT.code,
                      PAL::Message(msg::CENTROIDING_CONFLICT.id));
    } else {
        if ((options->flags & PeakListOptions::CENTROIDED_GIVEN) == 0)
            PAL_RAISE(PAL::AppError, msg::CENTROIDING_UNKNOWN.code,
                      PAL::Message(msg::CENTROIDING_UNKNOWN.id));
        centroided = options->centroided;
    }
    return list;
}

// ---- constant answers -------------------------------------------------------

std::uint32_t MzxmlIntf::data_set_count() {
    check_open();
    return DATA_SETS;
}

bool MzxmlIntf::is_open() {
    check_open();
    return true;
}

bool MzxmlIntf::is_centroided() {
    check_listed();
    return centroided;
}

std::int32_t MzxmlIntf::get_scan_mix() {
    check_listed();
    const std::uint32_t count = reader.scan_count();
    if (count == 1)
        return has_ms1 ? 0 : has_ms2 ? 2 : -1;
    if (count > 1) {
        if (has_ms1 && has_ms2)
            return 5;
        return has_ms1 ? 1 : has_ms2 ? 3 : -1;
    }
    return -1;
}

std::uint32_t MzxmlIntf::listed_data_set_count() {
    check_listed();
    return DATA_SETS;
}

std::uint32_t MzxmlIntf::get_scan_count() {
    check_listed();
    return reader.scan_count();
}

// ---- scan walk --------------------------------------------------------------

ScanList MzxmlIntf::scan_walk(const PAL::SmartPtr<PAL::EventSocket>& events,
                              const PAL::SmartPtr<PAL::Progress>& parent) {
    check_listed();
    if (events)
        PAL::post_message(events, msg::SCAN_WALK.level, PAL::Message(msg::SCAN_WALK.id));

    const std::uint32_t count = reader.scan_count();
    // The records the open made from the headers it read are the list's
    // first; the walk gives them their labels and reads the rest.
    ScanList list(new std::vector<ScanRecord>(reader.take_early_records()));
    const std::size_t early = list->size();
    if (list->capacity() < count)
        reserve_filled(*list, count);
    PAL::SmartPtr<PAL::Progress> node(new PAL::Progress(parent, count, 1));
    GatheredSteps steps(*node);

    DataProcessingRecord processing;
    const bool stated = reader.read_data_processing(processing, events);
    raise_if_unread(events, msg::FILE_REFUSED.code,
                    PAL::Message(msg::FILE_REFUSED.id).add(file_name));
    if (stated) {
        centroided = processing.centroided;
        // Profile data written by mzStar are refused.
        if (!processing.centroided && processing.software_name.find("mzStar") != std::string::npos)
            PAL_RAISE(PAL::AppError, msg::MZSTAR_PROFILE.code,
                      PAL::Message(msg::MZSTAR_PROFILE.id));
    }

    std::uint32_t next_label = first_label;
    std::uint32_t last_ms1 = NO_LABEL;
    for (std::uint32_t position = 1; position <= count; ++position) {
        if (position > early) {
            ScanHeader header;
            if (!reader.read_scan_header(position, header)) {
                raise_if_unread(events, msg::FILE_REFUSED.code,
                                PAL::Message(msg::FILE_REFUSED.id).add(file_name));
                PAL_RAISE(PAL::AppError, msg::BAD_SCAN_HEADER.code,
                          PAL::Message(msg::BAD_SCAN_HEADER.id).add(position, 0, 10, true));
            }
            list->push_back(record_of(header));
        }
        ScanRecord& record = (*list)[position - 1];
        const std::int16_t level = record.scan_type.ms_level;
        if (level == 1) {
            has_ms1 = true;
            last_ms1 = next_label;
        } else if (level == 2) {
            has_ms2 = true;
        }
        if (next_label > MAX_LABEL)
            PAL_RAISE(PAL::AppError, msg::LABEL_OVERFLOW.code,
                      PAL::Message(msg::LABEL_OVERFLOW.id));
        record.label = next_label++;
        record.format_code = SCAN_FORMAT;
        record.file_position = position;
        if (level == 2)
            record.parent_label = last_ms1;
        steps.step();
    }
    steps.finish();
    return list;
}

void MzxmlIntf::raise_if_unread(const PAL::SmartPtr<PAL::EventSocket>& events, std::uint32_t code,
                                const PAL::Message& message) const {
    if (reader.read_failed()) {
        reader.post_read_failure(events);
    } else if (reader.file_changed()) {
        if (events)
            PAL::post_message(events, msg::FILE_CHANGED.level,
                              PAL::Message(msg::FILE_CHANGED.id).add(file_name));
    } else {
        return;
    }
    PAL_RAISE(PAL::AppError, code, message);
}

// ---- spectra ------------------------------------------------------------------

PAL::SmartPtr<Spectrum> MzxmlIntf::get_spectrum(std::uint32_t label, std::uint32_t /*sub_key*/,
                                                const PAL::SmartPtr<PAL::EventSocket>& events) {
    check_listed();
    // Made with its record, as its peak list is: a spectrum a scan, and
    // each allocation less counts.
    PAL::SmartPtr<Spectrum> spectrum = PAL::make_smart<Spectrum>();
    const std::uint32_t position = label_to_position(label);

    bool scan_centroided = false;
    std::vector<Peak>& peaks = *spectrum->peaks;
    PeakRead read;
    try {
        read = reader.read_peaks_into(position, scan_centroided, peaks, MIN_MZ, events);
        if (!read.complete && read.refusal.empty())
            PAL_RAISE(PAL::AppError, msg::BAD_PEAKS.code,
                      PAL::Message(msg::BAD_PEAKS.id)
                          .add(label, 0, 10, true)
                          .add(std::wstring(L"No <peaks> tag")));
    } catch (const PAL::Exception& error) {
        PAL_RAISE(PAL::AppError, msg::BAD_PEAKS.code,
                  PAL::Message(msg::BAD_PEAKS.id).add(label, 0, 10, true).add(error.description()));
    }
    // Peaks that are there but cannot be read (compressed ones) say why,
    // unwrapped, so that the host's sentence names the cause.
    if (!read.complete)
        PAL_RAISE(PAL::AppError, msg::BAD_PEAKS.code,
                  PAL::Message(msg::BAD_PEAKS.id).add(label, 0, 10, true).add(read.refusal));
    // One notice per spectrum: posted without a message built for it.
    PAL::post_numbers(events, msg::PEAKS_READ.level, msg::PEAKS_READ.id, {read.values, label});

    if (!centroided && !scan_centroided) {
        spectrum->peak_kind = 3;
        spectrum->kind_detail = 1;
    } else {
        spectrum->peak_kind = 0;
    }
    // One entry a scan, whatever the sub key.
    raw_spec_info.store(
        position, RawSpecInfo{static_cast<std::uint32_t>(peaks.size()), spectrum->peak_kind == 0});
    return spectrum;
}

void MzxmlIntf::get_raw_spec_info(std::uint32_t label, std::uint32_t sub_key, RawSpecInfo& out) {
    check_listed();
    // A label not listed is found nowhere; the fetch then says why.
    const std::size_t position =
        label >= first_label ? static_cast<std::size_t>(label - first_label) + 1 : 0;
    if (raw_spec_info.find(position, out))
        return;
    // Through the virtual table, as a host would; the spectrum itself is dropped.
    this->get_spectrum(label, sub_key, PAL::SmartPtr<PAL::EventSocket>());
    PAL_ASSERT(raw_spec_info.find(position, out), L"Raw spec info missing");
}

// ---- run information ----------------------------------------------------------

InstrumentInfo MzxmlIntf::get_instrument_info() {
    check_open();
    const std::unique_ptr<InstrumentRecord> record(reader.read_instrument());
    // Blank entries would pass for a file without the element.
    if (!record) {
        const PAL::Message refused = PAL::Message(msg::FILE_REFUSED.id).add(file_name);
        raise_if_unread(open_events, msg::FILE_REFUSED.code, refused);
        PAL_RAISE(PAL::AppError, msg::FILE_REFUSED.code, refused);
    }
    InstrumentInfo info;
    info.emplace(FileName, file_name);
    info.emplace(Instrument, wide(record->manufacturer + " " + record->model));
    info.emplace(MassAnalyzer, wide(record->mass_analyzer));
    info.emplace(Operator, wide(record->operator_name));
    if (!record->ionisation.empty())
        info.emplace(Detail, wide("Ionisation|" + record->ionisation));
    if (!record->detector.empty())
        info.emplace(Detail, wide("Detector|" + record->detector));
    return info;
}

std::int64_t MzxmlIntf::get_completion_time() {
    check_open();
    DataProcessingRecord processing;
    // No notices on this path: the host asks for a value, not a diagnosis;
    // only why the file could not be read goes to the sink given at open.
    if (!reader.read_data_processing(processing, PAL::SmartPtr<PAL::EventSocket>())) {
        if (reader.read_failed())
            raise_if_unread(open_events, msg::NO_COMPLETION_TIME.code,
                            PAL::Message(msg::NO_COMPLETION_TIME.id)
                                .add(PAL::WindowsError(reader.read_error(), __LINE__, source_file)
                                         .description()));
        raise_if_unread(open_events, msg::NO_COMPLETION_TIME.code,
                        PAL::Message(msg::NO_COMPLETION_TIME.id)
                            .add(std::wstring(MzXMLReader::FILE_CHANGED_REASON)));
        PAL_RAISE(PAL::AppError, msg::NO_COMPLETION_TIME.code,
                  PAL::Message(msg::NO_COMPLETION_TIME.id)
                      .add(std::wstring(L"dataProcessing element missing")));
    }
    if (processing.completionTime.empty())
        return 0;
    try {
        return PAL::datetime_from_iso8601(processing.completionTime, PAL::assume_utc,
                                          std::locale::classic());
    } catch (const PAL::Exception& error) {
        PAL_RAISE(PAL::AppError, msg::NO_COMPLETION_TIME.code,
                  PAL::Message(msg::NO_COMPLETION_TIME.id).add(error.description()));
    }
}

} // namespace orvoeng

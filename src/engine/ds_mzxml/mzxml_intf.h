// The mzXML data source: the factory the plug-in's export hands out and the
// data source object it creates, one per file.
#pragma once

#include "mzXMLReader.h"

#include <ds/data_source_intf.h>
#include <ds/messages.h>
#include <ds/types.h>
#include <ds/utils.h>

#include <pal/exception.h>
#include <pal/message.h>

#include <cstdint>
#include <string>

#if defined(_WIN32)
#define ORVO_DS_EXPORT __declspec(dllexport)
#else
#define ORVO_DS_EXPORT __attribute__((visibility("default")))
#endif

namespace orvoeng {

class MzxmlIntfFactory final : public DataSourceIntfFactory {
public:
    DataSourceIntf* create() override;
};

// Reads one mzXML file for the host. A file is open when `file_name` is not
// empty; it stays open until the object is destroyed. Calls must not overlap.
// Not final: get_raw_spec_info fetches through the virtual table, which the
// compiler would bypass for a final class.
class MzxmlIntf : public DataSourceIntf {
public:
    MzxmlIntf();
    ~MzxmlIntf() override;

    std::uint16_t revision() override;
    void peek_file(const std::wstring& path, int selector,
                   const PAL::SmartPtr<PAL::EventSocket>& events) override;
    ScanList open_file(const std::wstring& path, int selector, const PeakListOptions* options,
                       std::uint32_t first_label, const PAL::SmartPtr<PAL::EventSocket>& events,
                       const PAL::SmartPtr<PAL::Progress>& progress) override;
    std::uint32_t data_set_count() override;
    InstrumentInfo get_instrument_info() override;
    std::int64_t get_completion_time() override;
    bool is_open() override;
    bool is_centroided() override;
    std::int32_t get_scan_mix() override;
    std::uint32_t listed_data_set_count() override;
    std::uint32_t get_scan_count() override;
    void get_raw_spec_info(std::uint32_t label, std::uint32_t sub_key, RawSpecInfo& out) override;
    PAL::SmartPtr<Spectrum> get_spectrum(std::uint32_t label, std::uint32_t sub_key,
                                         const PAL::SmartPtr<PAL::EventSocket>& events) override;

    // Guards: New refuses everything past open; Peeked has no scan list.
    void check_not_open() const;
    void check_open() const;
    void check_listed() const;

    void open_reader(const std::wstring& path, int selector,
                     const PAL::SmartPtr<PAL::EventSocket>& events,
                     const PAL::SmartPtr<PAL::Progress>& progress);
    ScanList scan_walk(const PAL::SmartPtr<PAL::EventSocket>& events,
                       const PAL::SmartPtr<PAL::Progress>& parent);
    // When the reader's last operation failed to read or found the file
    // changed: posts READ_FAILED or FILE_CHANGED through `events` and raises
    // `code` with `message` (its arguments given); returns otherwise.
    void raise_if_unread(const PAL::SmartPtr<PAL::EventSocket>& events, std::uint32_t code,
                         const PAL::Message& message) const;

    // The 1-based scan position of `label`. The range is tested on the
    // distance from `first_label`, so labels near the top of the 32-bit
    // range cannot wrap into validity.
    std::uint32_t label_to_position(std::uint32_t label) const {
        constexpr const char* source_file = "mzxml_intf";
        if (label < first_label || label - first_label >= reader.scan_count())
            PAL_RAISE(PAL::AppError, msg::NO_SUCH_LABEL.code,
                      PAL::Message(msg::NO_SUCH_LABEL.id).add(label, 0, 10, true));
        return label - first_label + 1;
    }

    std::wstring file_name;
    bool header_only = true;
    std::uint32_t first_label = 1;
    MzXMLReader reader;
    RawSpecInfoCache raw_spec_info;
    bool has_ms1 = false;
    bool has_ms2 = false;
    bool centroided = false;
    // The host's sink given at open: the run information, asked without
    // one, posts through it why a read failed.
    PAL::SmartPtr<PAL::EventSocket> open_events;
};

ORVO_DS_EXPORT DataSourceIntfFactory*
ds_mzxml_get_intf_factory(unsigned int version, const PAL::SmartPtr<PAL::EventSocket>& events);

} // namespace orvoeng

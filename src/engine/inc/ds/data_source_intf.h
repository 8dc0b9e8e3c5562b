// What a host engine and a data-source plug-in share: the abstract data
// source and its factory, the records they exchange, and the plug-in's entry
// point.
//
// The host owns these declarations; a plug-in implements them. The order of
// the virtual operations and the layout of every record are the contract, so
// nothing here may be reordered.
#pragma once

#include <ds/types.h>

#include <pal/atomic.h>
#include <pal/event.h>
#include <pal/mutex.h>
#include <pal/progress.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace orvoeng {

// The only interface version the plug-in serves.
constexpr unsigned int DS_INTF_VERSION = 20;

// The host's peak-list settings. A data source reads the flag word and,
// when CENTROIDED_GIVEN is set, `centroided`; the rest is the host's.
struct PeakListOptions {
    static constexpr std::uint32_t CENTROIDED_GIVEN = 8;

    std::uint32_t flags = 0;
    double min_mz = 0.0;
    double max_mz = 0.0;
    std::uint32_t min_peaks = 0;
    bool centroided = false;
};

struct Peak {
    double mz;
    double intensity;
};

// A scan's peak list.
struct Spectrum {
    std::int32_t peak_kind = -1;   // 0 centroided, 3 profile
    std::int32_t kind_detail = -1; // 1 with profile data
    double aux_value = 0.0;
    std::int32_t aux_number = -1;
    std::vector<double> aux_list;
    // The list with its record in one allocation.
    PAL::SmartPtr<std::vector<Peak>> peaks = PAL::make_smart<std::vector<Peak>>();
};

// What a data source remembers of a fetched spectrum.
struct RawSpecInfo {
    std::uint32_t peak_count = 0;
    bool centroided = false;
};

// Run information: entries with equal keys keep their insertion order.
using InstrumentInfo = std::multimap<std::int32_t, std::wstring>;

enum InfoKey : std::int32_t {
    FileName = 0,     // the path as the host passed it
    Operator = 4,     // the operator's name
    Instrument = 6,   // manufacturer, a blank, model
    MassAnalyzer = 7, // the mass analyzer
    Detail = 8,       // "category|value": ionisation, then detector
};

class DataSourceIntf {
public:
    // The mutex is the host's: a data source creates and closes it and never
    // waits on it. Creation failure raises PAL::WindowsError.
    DataSourceIntf() = default;
    DataSourceIntf(const DataSourceIntf&) = delete;
    DataSourceIntf& operator=(const DataSourceIntf&) = delete;

    virtual ~DataSourceIntf() = default;
    virtual std::uint16_t revision() = 0;
    virtual void peek_file(const std::wstring& path, int selector,
                           const PAL::SmartPtr<PAL::EventSocket>& events) = 0;
    virtual ScanList open_file(const std::wstring& path, int selector,
                               const PeakListOptions* options, std::uint32_t first_label,
                               const PAL::SmartPtr<PAL::EventSocket>& events,
                               const PAL::SmartPtr<PAL::Progress>& progress) = 0;
    virtual std::uint32_t data_set_count() = 0;
    virtual InstrumentInfo get_instrument_info() = 0;
    virtual std::int64_t get_completion_time() = 0;
    virtual bool is_open() = 0;
    virtual bool is_centroided() = 0;
    virtual std::int32_t get_scan_mix() = 0;
    virtual std::uint32_t listed_data_set_count() = 0;
    virtual std::uint32_t get_scan_count() = 0;
    virtual void get_raw_spec_info(std::uint32_t label, std::uint32_t sub_key,
                                   RawSpecInfo& out) = 0;
    virtual PAL::SmartPtr<Spectrum> get_spectrum(std::uint32_t label, std::uint32_t sub_key,
                                                 const PAL::SmartPtr<PAL::EventSocket>& events) = 0;

    PAL::Mutex access_mutex;
};

// Makes data sources. The factory belongs to the module that hands it out,
// so it has no public destructor: a host never deletes one.
class DataSourceIntfFactory {
public:
    virtual DataSourceIntf* create() = 0;

protected:
    DataSourceIntfFactory() = default;
    ~DataSourceIntfFactory() = default;
};

// The plug-in's one export. Version DS_INTF_VERSION gives the factory; any
// other gives null and, when `events` holds a socket, one error event.
DataSourceIntfFactory* ds_mzxml_get_intf_factory(unsigned int version,
                                                 const PAL::SmartPtr<PAL::EventSocket>& events);

using GetIntfFactory = DataSourceIntfFactory* (*)(unsigned int,
                                                  const PAL::SmartPtr<PAL::EventSocket>&);

// The export's mangled name (Itanium C++ ABI), for dlsym. The build takes it
// from here for the module's export map and for the check of the module's
// exports, so it is spelled nowhere else.
constexpr const char* DS_MZXML_ENTRY_SYMBOL =
    "_ZN7orvoeng25ds_mzxml_get_intf_factoryEjRKN3PAL8SmartPtrINS0_11EventSocketEEE";

} // namespace orvoeng

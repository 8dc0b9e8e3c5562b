#include "mzXMLReader.h"

#include <ds/messages.h>

#include <pal/message.h>

#include <memory>
#include <string>

namespace orvoeng {

namespace {

// The `value` of a detail tag that also names its `category`.
void read_detail(const std::string& element, const char* name, std::string& field) {
    const std::string tag = find_start_tag(element, name);
    std::string category;
    std::string value;
    if (find_attribute(tag, "category", category) && find_attribute(tag, "value", value))
        field = value;
}

} // namespace

InstrumentRecord* MzXMLReader::read_instrument() {
    std::string element;
    begin_operation();
    seek_line(0);
    start_operation();
    if (!collect_element("<msInstrument", "</msInstrument>", element) ||
        !same_place(instrument_place))
        return nullptr;

    auto record = std::make_unique<InstrumentRecord>();
    read_detail(element, "msManufacturer", record->manufacturer);
    read_detail(element, "msModel", record->model);
    read_detail(element, "msIonisation", record->ionisation);
    read_detail(element, "msMassAnalyzer", record->mass_analyzer);
    read_detail(element, "msDetector", record->detector);

    const std::string tag = find_start_tag(element, "Operator");
    std::string first;
    std::string last;
    const bool has_first = find_attribute(tag, "first", first);
    const bool has_last = find_attribute(tag, "last", last);
    if (has_first || has_last)
        record->operator_name = first.empty() ? last : first + ' ' + last;
    return record.release();
}

bool MzXMLReader::read_data_processing(DataProcessingRecord& record,
                                       const PAL::SmartPtr<PAL::EventSocket>& socket) {
    record.centroided = false;
    record.software_name.clear();
    record.completionTime.clear();

    std::string element;
    begin_operation();
    seek_line(0);
    start_operation();
    collect_element("<dataProcessing", "</dataProcessing>", element);
    // Neither a failed read nor a changed file may pass for a file without
    // the element.
    if (view.failed() || !same_place(processing_place))
        return false;
    if (element.empty()) {
        PAL::post_message(
            socket, msg::NO_DATA_PROCESSING.level,
            PAL::Message(msg::NO_DATA_PROCESSING.id).add(std::wstring(L"dataProcessing")));
        return false;
    }

    std::string value;
    if (find_attribute(element, "centroided", value)) {
        run_centroided_given = true;
        record.centroided = is_true_value(value);
    }
    const std::string software = find_start_tag(element, "software");
    find_attribute(software, "name", record.software_name);
    find_attribute(software, "completionTime", record.completionTime);
    return true;
}

} // namespace orvoeng

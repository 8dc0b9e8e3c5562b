// The mzXML reader: one file held open for one data source.
//
// The reader builds no XML tree. It reads the file as 8-bit text, line by
// line or in blocks, and finds tags, attributes and element texts by plain,
// case-sensitive text search. Scans are reached through `offsets`, a table of
// 64-bit byte offsets taken from the file's own index when that index is
// sound, or built by searching the file for "<scan".
//
// The reader reports by bool results, `open_state` and message events posted
// through the host's socket (when one is given); it raises only what the
// platform layer raises. Every operation positions the file itself.
#pragma once

#include <pal/atomic.h>
#include <pal/event.h>
#include <pal/file.h>
#include <pal/progress.h>

#include <cstdint>
#include <string>
#include <vector>

// Header values of one scan.
struct ScanHeader {
    std::int32_t msLevel = 0;
    std::int32_t polarity = -1; // 0 "+", 1 "-"; 0 when the scan gives none
    double retentionTime = 0.0; // seconds
    double precursorMz = 0.0;
    std::int32_t precursorCharge = 0;
    double totalIonCurrent = 0.0;
    bool centroided = false;
};

// The msInstrument element's texts; empty when not found.
struct InstrumentRecord {
    std::string manufacturer;
    std::string model;
    std::string ionisation;
    std::string mass_analyzer;
    std::string detector;
    std::string operator_name;
};

// What the dataProcessing element says.
struct DataProcessingRecord {
    bool centroided = false;
    std::string software_name;
    std::string completionTime; // as written in the file; empty when absent
};

class MzXMLReader {
public:
    // Reads of read_line, and the blocks of build_index.
    static constexpr std::uint32_t LINE_BUFFER_SIZE = 1024;
    static constexpr std::uint32_t SCAN_BUFFER_SIZE = 102400;
    // Lines examined for the opening tags and the schema marker.
    static constexpr int OPENING_LINES = 26;

    // open_state values.
    enum OpenState : std::uint32_t {
        OPEN_OK = 0,        // or not openable, or some opening tags missing
        OPEN_NO_SCHEMA = 1, // no mzXML 2.0 or 2.1 schema marker
        OPEN_NO_INDEX = 2,  // the index could neither be read nor built
        OPEN_NO_SCAN_COUNT = 3,
        OPEN_NO_START_TAGS = 4,
    };

    MzXMLReader();
    ~MzXMLReader();
    MzXMLReader(const MzXMLReader&) = delete;
    MzXMLReader& operator=(const MzXMLReader&) = delete;

    // ---- opening and the scan index --------------------------------------

    // Recognises the file and, unless `header_only`, reads its scan count and
    // reads or builds the scan index. False with `open_state` on failure.
    bool open(std::wstring file_name, bool header_only,
              const PAL::SmartPtr<PAL::EventSocket>& socket,
              const PAL::SmartPtr<PAL::Progress>& progress);
    bool recognise_format(const PAL::SmartPtr<PAL::EventSocket>& socket);
    bool read_scan_count(const PAL::SmartPtr<PAL::EventSocket>& socket);
    std::int64_t read_index_offset(const PAL::SmartPtr<PAL::EventSocket>& socket);
    bool read_index(const PAL::SmartPtr<PAL::EventSocket>& socket,
                    const PAL::SmartPtr<PAL::Progress>& progress);
    bool build_index(const PAL::SmartPtr<PAL::EventSocket>& socket,
                     const PAL::SmartPtr<PAL::Progress>& progress);

    // ---- scans ---------------------------------------------------------

    // Header of the scan at 1-based position `scan_number`.
    bool read_scan_header(std::uint32_t scan_number, ScanHeader& header);
    // Whether the file states centroiding for the run or for every scan read.
    bool centroid_info_complete(const PAL::SmartPtr<PAL::EventSocket>& socket);
    // Appends the scan's peaks to the two (empty) lists; false when the scan
    // has no usable peaks element. Raises StrDecodeError for bad peak data.
    bool read_peaks(std::uint32_t scan_number, bool& centroided, std::vector<double>& mz_values,
                    std::vector<double>& intensities,
                    const PAL::SmartPtr<PAL::EventSocket>& socket);

    // ---- run metadata --------------------------------------------------

    // Always a new record, owned by the caller (who deletes it).
    InstrumentRecord* read_instrument();
    bool read_data_processing(DataProcessingRecord& record,
                              const PAL::SmartPtr<PAL::EventSocket>& socket);

    // ---- file access ---------------------------------------------------

    // The next line at the current position, line feed included when one
    // ends it; false at the end of the file or on a read error.
    bool read_line(std::string& line);

    // Reads lines until one holds `open_text`, then gathers lines into `text`
    // up to and including the first newly read line holding `close_text` (or
    // to the end of the file). `text` is empty when no line holds `open_text`.
    void collect_element(const std::string& open_text, const std::string& close_text,
                         std::string& text);

    // Fields.
    PAL::File file;
    std::uint32_t open_state;
    std::vector<std::int64_t> offsets;
    std::wstring file_name;
    std::uint32_t scanCount;
    std::uint32_t centroided_scans;
    bool run_centroided_given;

private:
    // Index building (scan_index.cpp).
    bool index_is_sound();
    // Scan access (scan_header.cpp, peak_list.cpp).
    bool scan_range(std::uint32_t scan_number, std::int64_t& begin, std::int64_t& end) const;
};

// ---- text search (never touches a file, never raises) ----------------------

// The value of `name="..."`: the first occurrence of name followed by "=",
// anywhere (a name also matches the tail of a longer name). The value starts
// two characters after the name and ends before the next double quote. False,
// `value` untouched, when there is no closing quote.
bool find_attribute(const std::string& text, const std::string& name, std::string& value);

// The text of element `name`: "<name" followed by a blank or ">", up to
// "</name" or the end of the text. An empty text is not found.
bool find_element_text(const std::string& text, const std::string& name, std::string& value);

// The inside of the first "<name" tag, from the name up to (not including)
// the next ">"; empty when absent.
std::string find_start_tag(const std::string& text, const std::string& name);

// Exactly "1", "true" or "TRUE".
bool is_true_value(const std::string& value);

namespace orvoeng {
using ::DataProcessingRecord;
using ::find_attribute;
using ::find_element_text;
using ::find_start_tag;
using ::InstrumentRecord;
using ::is_true_value;
using ::MzXMLReader;
using ::ScanHeader;
} // namespace orvoeng

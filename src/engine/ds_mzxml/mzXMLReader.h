// The mzXML reader: one file held open for one data source.
//
// The reader builds no XML tree. It reads the file as 8-bit text, line by
// line or in blocks, and finds tags, attributes and element texts by literal,
// case-sensitive text search. Scans are reached through the scan index, a
// table of 64-bit byte offsets taken from the file's own index when that
// index is sound, or built by searching the file for "<scan".
//
// The reader reports by bool results, `open_state()` and message events
// posted through the host's socket (when one is given); it raises only what
// the platform layer raises. Every operation starts at its own place in the
// file; bytes come through the reading layer (file_view.h), and the text
// logic works on spans (line_cursor.h, tag_search.h).
//
// Bytes that could not be read are never taken for the file's content: an
// operation in which a read failed says so (read_failed()) instead of
// judging the file by the bytes it got, and a fetch of peaks raises the
// system's error. Bytes that are no longer what the listing found (a file
// rewritten or cut while open) are refused as a changed file.
#pragma once

#include "early_headers.h"
#include "file_view.h"
#include "header_values.h"
#include "line_cursor.h"
#include "look_ahead.h"
#include "reader_types.h"
#include "tag_search.h"

#include <ds/data_source_intf.h>

#include <pal/event.h>
#include <pal/file.h>
#include <pal/progress.h>

#include <cstdint>
#include <string>
#include <vector>

namespace orvoeng {

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

// What a fetch of peaks straight into the host's list found.
struct PeakRead {
    bool complete = false;    // the scan held its peak count of peaks
    std::uint32_t values = 0; // peaks decoded, before any was left out
    std::wstring refusal;     // why peaks that are there were not read, if so
};

class MzXMLReader {
public:
    // Reads of read_line; the blocks of build_index.
    static constexpr std::uint32_t LINE_BUFFER_SIZE = LineCursor::LINE_BUFFER_SIZE;
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
        OPEN_READ_FAILED = 5, // a read failed: READ_FAILED was posted
    };

    // Why a fetch refuses peaks of a scan whose bytes changed since the listing.
    static constexpr const wchar_t* FILE_CHANGED_REASON =
        L"The file has changed since it was opened";

    MzXMLReader();
    ~MzXMLReader();
    MzXMLReader(const MzXMLReader&) = delete;
    MzXMLReader& operator=(const MzXMLReader&) = delete;

    // ---- opening and the scan index --------------------------------------

    // Recognises the file and, unless `header_only`, reads its scan count and
    // reads or builds the scan index. False with `open_state()` on failure.
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
    // The records of the scans from the first on whose headers the open
    // read, each as its header gives it (scan_record.h), for the walk over
    // the scans to complete; their statements of centroiding are counted as
    // read_scan_header counts them. The list's own memory: the walk hands it
    // on instead of writing a second list into fresh pages.
    std::vector<ScanRecord> take_early_records();
    // Whether the file states centroiding for the run or for every scan read.
    bool centroid_info_complete(const PAL::SmartPtr<PAL::EventSocket>& socket);

    // Appends the scan's peaks to the two (empty) lists; false when the scan
    // has no usable peaks element. Raises StrDecodeError for bad peak data.
    // The reference way, value by value through the exact decoder.
    // `refusal` (when given) says why peaks that are there were not read.
    bool read_peaks(std::uint32_t scan_number, bool& centroided, std::vector<double>& mz_values,
                    std::vector<double>& intensities, const PAL::SmartPtr<PAL::EventSocket>& socket,
                    std::wstring* refusal = nullptr);
    // read_peaks decoded straight into the host's (empty) list, keeping only
    // peaks above `min_mz`: the same peaks, events and errors as read_peaks
    // followed by that filter, without the lists between.
    PeakRead read_peaks_into(std::uint32_t scan_number, bool& centroided, std::vector<Peak>& peaks,
                             double min_mz, const PAL::SmartPtr<PAL::EventSocket>& socket);

    // ---- run metadata --------------------------------------------------

    // A new record, owned by the caller (who deletes it); null when the file
    // could not be read up to the element or to its end, or when the element
    // is no longer where an earlier read found it (file_changed()).
    InstrumentRecord* read_instrument();
    // False also when a read failed or the element moved (see above).
    bool read_data_processing(DataProcessingRecord& record,
                              const PAL::SmartPtr<PAL::EventSocket>& socket);

    // ---- lines -----------------------------------------------------------

    // The next line at the line position (see line_cursor.h), line feed
    // included when one ends it; false at the end of the file.
    bool read_line(std::string& line);
    void seek_line(std::int64_t position) { line_position = position; }

    // Reads lines until one holds `open_text`, then gathers lines into `text`
    // up to and including the first newly read line holding `close_text` (or
    // to the end of the file). `text` is empty when no line holds `open_text`.
    // False when the bytes ran out before the end the file had when opened:
    // a read failed, or the file was cut since.
    bool collect_element(std::string_view open_text, std::string_view close_text,
                         std::string& text);

    // ---- state -------------------------------------------------------------

    std::uint32_t open_state() const { return state; }
    std::uint32_t scan_count() const { return scanCount; }
    const ScanOffsets& offsets() const { return index; }
    std::uint32_t centroided_scans() const { return centroided_count; }

    // Whether a read failed in the last operation, and the OS error number.
    bool read_failed() const { return view.failed(); }
    std::uint32_t read_error() const { return view.failure(); }
    // Posts READ_FAILED with the path, the system's text of read_error()
    // and the number.
    void post_read_failure(const PAL::SmartPtr<PAL::EventSocket>& socket) const;
    // Whether the last run-information read found its element somewhere
    // else than the first read did: the file changed since it was opened.
    bool file_changed() const { return changed; }

    // Every span read anew and the peaks through the exact decoder: the
    // reference the fast paths are checked against.
    void use_reference_paths(bool on);

private:
    friend struct ReaderAccess; // the tests' way to set up a reader on a file

    // Whether the offsets of the index just read can be the file's: rising,
    // and within the file.
    bool index_is_sound() const;
    // Reads every listed scan's header in one forward pass, for the walk
    // that follows an open: the file is then read once, not twice, before
    // any spectrum is fetched. False when a listed offset starts no scan
    // tag: the index is not this file's (offsets shifted by a converter
    // that miscounted line ends, or a file rewritten after indexing).
    bool read_headers_ahead();
    // Starts an operation of the interface: no read failed in it yet.
    void begin_operation() {
        view.clear_failure();
        changed = false;
    }
    // open's end when a read failed: OPEN_READ_FAILED, READ_FAILED posted.
    bool refuse_unread(const PAL::SmartPtr<PAL::EventSocket>& socket);
    // Whether the element gathered last stands where the first read of it
    // found it (`place`, which that first read sets); false sets `changed`.
    bool same_place(std::int64_t& place);
    // How a scan's header was read: not at all, in one pass over bytes that
    // start with the scan's tag (read here or by the look-ahead), or by the
    // exact reader, which leaves that tag unchecked.
    enum class HeaderRead { FAILED, ONE_PASS, LINES };
    // A scan header as read from the file, the fast ways first; its
    // `centroided_met` when it states centroiding (read_scan_header counts
    // those).
    HeaderRead parse_scan_header(std::uint32_t scan_number, HeaderValues& values);
    // Where the exact reader starts on a scan's lines: at the scan's start,
    // or after a start tag whose values a one-pass read took.
    struct HeaderLines {
        std::int64_t start = 0;
        bool after_tag = false;
    };
    // The header of the scan at [begin, end) from the look-ahead or from a
    // one-pass read; false when neither read it whole, with `values` and
    // `from` set for the exact reader.
    bool read_header_fast(std::uint32_t scan_number, std::int64_t begin, std::int64_t end,
                          HeaderValues& values, HeaderLines& from);
    // The exact reader: the header's lines one at a time from `from`, never
    // past `end`; false when the scan's bytes end before its start tag does,
    // or a read failed.
    bool read_header_lines(std::uint32_t scan_number, HeaderLines from, std::int64_t end,
                           HeaderValues& values);

    // ---- block planning: what each operation reads, and reads ahead ----

    // Starts an operation that reads all its bytes and works nothing out
    // ahead.
    void start_operation() { start_operation(view.size(), AheadWork{}, false); }
    void start_operation(std::int64_t read_ahead_end, AheadWork work, bool leave_peak_data) {
        look_ahead.expect(reference ? AheadWork{} : work);
        header_read_gaps = leave_peak_data && !reference;
        view.start_operation(read_ahead_end);
    }
    // A header read of the scan: it reads ahead over the following scans'
    // headers, leaving the peak data of large scans unread.
    void start_header_read(std::uint32_t scan_number);
    // A peak read of the scan, reading ahead over the following scans.
    void start_peak_read(std::uint32_t scan_number);
    bool scan_range(std::uint32_t scan_number, std::int64_t& begin, std::int64_t& end) const;
    bool listed(std::uint32_t scan_number) const {
        return scan_number != 0 && scan_number <= scanCount;
    }
    // The scan's bytes for a peak read, reading ahead over the following
    // scans that fit a block. False when there are none: a scan out of range
    // (nothing posted), or a range the file cannot hold or no longer holds
    // (posted as a count mismatch).
    // A failed read raises the system's error (READ_FAILED posted first);
    // bytes that no longer hold the scan's start tag where the listing
    // found it are none, with `refusal` saying that the file changed.
    // With `ahead`, the peaks the look-ahead decoded from these bytes, when
    // it did.
    struct AheadPeaks {
        const PlainPeaks* peaks = nullptr;
        const unsigned char* values = nullptr; // of `peaks`, decoded
    };
    bool scan_text(std::uint32_t scan_number, std::string_view& text,
                   const PAL::SmartPtr<PAL::EventSocket>& socket, std::wstring& refusal,
                   AheadPeaks* ahead = nullptr);
    std::int64_t read_ahead_end(std::uint32_t scan_number) const;
    // Brings the first `most` bytes of the scan after this one into the
    // processor's cache, where the view holds them: scans are mostly read
    // in order, and the next one is then on its way while this one is read.
    void prefetch_next_scan(std::uint32_t scan_number, std::int64_t most) const;
    // Where the refill of a scan read starting at `from` ends: `from` when
    // no scan that fits a block starts there.
    std::int64_t refill_end_from(std::int64_t from) const;
    // What a header read leaves unread in [from, end): the bytes of large
    // scans past what their headers take. Nothing for other operations.
    void header_gaps(std::int64_t from, std::int64_t end, Gaps& gaps) const;
    // Where the peaks of a scan's bytes are; false (events posted) when the
    // scan has none to decode.
    struct PeakText;
    bool locate_peaks(std::uint32_t scan_number, std::string_view text, bool& centroided,
                      PeakText& found, const PAL::SmartPtr<PAL::EventSocket>& socket);
    // read_peaks_into for a plain scan (one_pass_peaks.h), from `ahead`
    // when the look-ahead read the scan. False, nothing changed, for
    // any other scan, which the exact way reads; `count` the scan's peak
    // count.
    bool read_plain_peaks(std::string_view text, const AheadPeaks& ahead, bool& centroided,
                          std::vector<Peak>& peaks, double min_mz, PeakRead& read,
                          std::int32_t& count);

    PAL::File file;
    ScanOffsets index;
    // Before the view, which works with it until the view is gone.
    LookAhead look_ahead{index};
    bool header_read_gaps = false; // the operation leaves large scans' peak data unread
    FileView view{
        file, [this](std::int64_t from) { return refill_end_from(from); },
        [this](std::int64_t from, std::int64_t end, Gaps& gaps) { header_gaps(from, end, gaps); },
        &look_ahead};
    std::uint32_t state = OPEN_OK;
    std::wstring file_name;
    std::uint32_t scanCount = 0;
    std::uint32_t centroided_count = 0;
    bool run_centroided_given = false;
    bool reference = false;
    std::int64_t line_position = 0;
    // Where collect_element found its opening line last; -1 when it did not.
    std::int64_t element_start = -1;
    // Where the run information's elements were first found (-1: not
    // found); UNSEEN until a read looked for them.
    static constexpr std::int64_t UNSEEN = -2;
    std::int64_t instrument_place = UNSEEN;
    std::int64_t processing_place = UNSEEN;
    bool changed = false;
    std::string precursor_text;            // reused by the scan header's precursor
    std::vector<unsigned char> peak_bytes; // reused by every fetch of peaks
    // Records of the headers read while the file's index was checked, for
    // the walk, and how many of those headers state their centroiding.
    std::vector<ScanRecord> early_records;
    std::uint32_t early_centroided = 0;
    // Reads the first scans' headers into early_records while the index is
    // read; after the list, so that it ends before the list is freed.
    EarlyHeaders early_headers;
    // The last scan read_ahead_end was asked for, and its bound's place.
    mutable std::uint32_t ahead_scan = 0;
    mutable std::size_t ahead_after = 0;
};

} // namespace orvoeng

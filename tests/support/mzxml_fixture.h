// A small writer of mzXML test files that computes the offsets a reader
// must find, so tests state what a file holds instead of carrying opaque
// blobs. Also a temporary folder for the files; the peaks' text comes from
// the encoder in peak_encoding.h.
#pragma once

#include "support/peak_encoding.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace fixture {

// One scan element. The start tag is written as
//   <scan num="N" msLevel="L" [polarity="P"] retentionTime="R" peaksCount="C" EXTRA>
// then an optional precursorMz element, then the peaks element, then
// `inner` (nested scans, for example), then </scan>.
struct ScanSpec {
    std::optional<int> num; // default: the scan's position
    int ms_level = 1;
    std::optional<std::string> polarity = "+";
    std::string retention_time = "PT1.5S";
    std::string extra_attributes;   // more attributes of the start tag
    std::optional<int> peaks_count; // default: values.size() / 2
    std::vector<double> values;     // m/z, intensity, m/z, intensity...
    int precision = 32;
    // Attributes of the peaks start tag; default:
    //   precision="<precision>" byteOrder="network" pairOrder="m/z-int"
    std::optional<std::string> peaks_attributes;
    std::optional<std::string> peaks_text; // raw element text instead of encoded values
    bool no_peaks_element = false;
    std::optional<std::string> precursor; // whole precursorMz element text, with its tags
    std::string inner;                    // raw text before </scan>
    bool multi_line_start_tag = false;    // one attribute per line
};

class MzXmlWriter {
public:
    // `schema` is the marker in the mzXML namespace: "mzXML_2.0" or
    // "mzXML_2.1" (or anything else, for negative tests).
    explicit MzXmlWriter(std::string schema = "mzXML_2.1");

    // <?xml ...?>, <mzXML xmlns=".../<schema>" ...>, then
    // <msRun scanCount="<count>" ...> (no scanCount when count is empty).
    MzXmlWriter& begin(std::optional<int> scan_count);

    // Raw text as it stands (parentFile, msInstrument, dataProcessing...).
    MzXmlWriter& text(const std::string& raw);

    // A scan built from `spec` (position = number of scans added + 1); its
    // "<scan" offset is recorded. Nested scans in `inner` are not recorded.
    MzXmlWriter& scan(const ScanSpec& spec);

    // "</msRun>" (offset recorded) and a line feed.
    MzXmlWriter& end_run();

    // <index name="scan"> with one <offset id="i"> line per recorded scan (or
    // per entry of `offsets`), </index>, <indexOffset>OFFSET</indexOffset>, </mzXML>.
    MzXmlWriter& index(std::optional<std::vector<std::int64_t>> offsets = std::nullopt);

    // <indexOffset>0</indexOffset> (or the given raw line) and </mzXML>.
    MzXmlWriter& no_index(const std::string& index_offset_line = "<indexOffset>0</indexOffset>");

    const std::string& str() const { return content; }
    const std::vector<std::int64_t>& scan_offsets() const { return offsets; }
    std::int64_t run_end_offset() const { return run_end; } // -1 when not written
    std::int64_t index_offset() const { return index_at; }  // -1 when not written

    // Helper for tests that write a scan themselves.
    static std::string scan_element(const ScanSpec& spec, int position);

private:
    std::string schema;
    std::string content;
    std::vector<std::int64_t> offsets;
    std::int64_t run_end = -1;
    std::int64_t index_at = -1;
};

// A fresh folder under the system's temporary folder, removed with its
// content when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return root; }
    // Writes `bytes` to a file of that name and returns its full path.
    std::filesystem::path write(const std::string& name, const std::string& bytes) const;

private:
    std::filesystem::path root;
};

// The corpus of real mzXML files, or an empty path when it is absent.
std::filesystem::path corpus_dir();

// A file the project's generator writes with `options` (its command-line
// options) as `name` in `dir`; an empty path when the build has no
// generator to run (a cross build). Fails the test when the generator fails.
std::filesystem::path generated_file(const TempDir& dir, const std::string& name,
                                     const std::string& options);
// The options of generated files in each real converter's scan layout: many
// small scans, across several blocks.
inline const char* const CONVERTER_LAYOUTS[] = {"readw", "msconvert"};

// A file's outcome as the Summary table of the corpus's SOURCES.md states it.
struct CorpusOutcome {
    std::string file;
    unsigned scans = 0;         // <scan> elements in the file
    bool opens = false;         // the outcome names no open_state
    unsigned open_state = 0;    // the reader's state when refused, else 0
    unsigned walk_fails_at = 0; // position of the header that stops the walk; 0: no such
    std::string text;           // the outcome as written
};

// One entry a row of the table in `dir`; "as above" repeats the row before.
// Throws std::runtime_error at a row whose outcome it cannot read.
std::vector<CorpusOutcome> corpus_outcomes(const std::filesystem::path& dir);

// Sets an environment variable for the life of the object (LANG, TZ...).
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name;
    std::optional<std::string> saved;
};

// Whether this machine has the named locale.
bool has_locale(const char* name);

} // namespace fixture

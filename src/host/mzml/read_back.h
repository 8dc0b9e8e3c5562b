// An indexedmzML file read back as a stream with expat: each spectrum and
// chromatogram with its cvParams and decoded arrays, the offsets of their
// start tags and of the index list, the index entries, and the SHA-1 of
// the bytes its checksum covers. Holds one element at a time.
#pragma once

#include "array_encoding.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvohost::mzml {

struct ReadParam {
    std::string accession;
    std::string value;
    std::string unit; // its unitAccession, empty without one
};

struct ReadArray {
    std::vector<ReadParam> params;
    ArrayFormat format;
    std::vector<double> values;
};

// Where in a spectrum a cvParam stood.
enum class ParamPlace : unsigned char { ELEMENT, SCAN_LIST, SCAN, SELECTED_ION, ACTIVATION };

// A spectrum or chromatogram as read.
struct ReadElement {
    std::uint64_t offset = 0; // of its start tag's '<'
    std::string id;
    std::string index;
    std::size_t length = 0; // defaultArrayLength
    std::vector<std::pair<ParamPlace, ReadParam>> params;
    bool has_precursor = false;
    std::string spectrum_ref;
    std::string external_id;
    std::vector<ReadArray> arrays;

    // The first param of `accession` at `place`; null when there is none.
    const ReadParam* param(std::string_view accession,
                           ParamPlace place = ParamPlace::ELEMENT) const;
};

struct ReadIndexEntry {
    std::string index; // "spectrum" or "chromatogram"
    std::string id;
    std::string offset;
};

struct ReadBackHandlers {
    std::function<void(const ReadElement&)> spectrum;
    std::function<void(const ReadElement&)> chromatogram;
    std::function<void(const ReadIndexEntry&)> index_entry;
};

struct ReadBackResult {
    std::optional<std::uint64_t> index_list_at; // where <indexList starts
    std::string index_list_offset;              // the text of <indexListOffset>
    std::string checksum;                       // the text of <fileChecksum>
    std::optional<std::string> digest;          // SHA-1 of the bytes up to it
    std::size_t spectrum_list_count = 0;
};

// Reads `file`, calling the handlers as elements end. Raises MzmlArrayError
// for an array that does not decode and MzmlVerifyError for a file that is
// not well-formed XML, both naming the file; a handler's exceptions pass.
ReadBackResult read_back(const std::filesystem::path& file, const ReadBackHandlers& handlers);

} // namespace orvohost::mzml

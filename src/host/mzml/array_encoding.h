// A binaryDataArray's values as mzML carries them: little-endian 32- or
// 64-bit floats, or MS-Numpress bytes, optionally zlib-compressed, in
// base64; and the way back, for reading a written file.
#pragma once

#include "cv_terms.h"

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace orvohost::mzml {

enum class Numpress : unsigned char { NONE, LINEAR, PIC, SLOF };

// How one array is written.
struct ArrayFormat {
    bool wide = true; // 64-bit floats; numpress arrays decode to doubles and say so
    bool zlib = false;
    Numpress numpress = Numpress::NONE;

    friend bool operator==(const ArrayFormat&, const ArrayFormat&) = default;
};

// The term of the values' type and of their compression.
Cv type_term(const ArrayFormat& format);
Cv compression_term(const ArrayFormat& format);

// The array's values in the given format appended to `out` as base64;
// returns the number of characters, the array's encodedLength. The values
// are read `stride` doubles apart, so that the m/z or the intensities of a
// peak list are taken where they lie. Raises MzmlWriteError when numpress
// cannot hold a value (a negative intensity for pic, an overflow).
std::size_t append_encoded(std::string& out, const double* first, std::size_t count,
                           std::size_t stride, const ArrayFormat& format);

// The values of base64 `text` written in `format`; `count` is the length
// the element states. Raises MzmlArrayError on text that does not decode
// to `count` values.
std::vector<double> decode_array(std::string_view text, const ArrayFormat& format,
                                 std::size_t count);

// What a reader gets back of `values` written with `kind`: the values
// numpress keeps, as its decoder gives them.
std::vector<double> numpress_round_trip(std::span<const double> values, Numpress kind);

} // namespace orvohost::mzml

// A peak list as the peaks element holds it: m/z and intensity pairs of
// big-endian IEEE 754 values, base64 encoded.
#pragma once

#include "peak_list.h"

#include <string>
#include <vector>

namespace mkmzxml {

// Replaces `text` with the encoding of `peaks` at `precision` bits (32 or
// 64), the values first compressed with zlib when `zlib` is set; `bytes` is
// scratch storage, kept by the caller so that it grows once. Returns the
// compressed length, 0 when not compressed.
std::size_t encode_peaks(const PeakList& peaks, int precision, bool zlib,
                         std::vector<unsigned char>& bytes, std::string& text);

} // namespace mkmzxml

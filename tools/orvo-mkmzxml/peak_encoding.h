// A peak list as the peaks element holds it: m/z and intensity pairs of
// big-endian IEEE 754 values, base64 encoded.
#pragma once

#include "peak_list.h"

#include <string>
#include <vector>

namespace mkmzxml {

// Replaces `text` with the encoding of `peaks` at `precision` bits (32 or
// 64); `bytes` is scratch storage, kept by the caller so that it grows once.
void encode_peaks(const PeakList& peaks, int precision, std::vector<unsigned char>& bytes,
                  std::string& text);

} // namespace mkmzxml

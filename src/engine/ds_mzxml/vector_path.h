// The widest vector instructions the reader's byte searches may use: the
// processor's widest, chosen once per process. ORVO_BASE64, which names a
// narrower base64 path so that each can be checked on one machine, narrows
// these too ("avx2"; "ssse3" or "scalar" keep the 16-byte path every x86-64
// processor has).
#pragma once

namespace orvoeng {

enum class VectorPath {
    BASE,   // 16 bytes a step (SSE2), or a byte a step off x86
    AVX2,   // 32 bytes a step
    AVX512, // 64 bytes a step, with a bit mask of each compare
};

VectorPath vector_path();

// Whether this processor can take `path`, whatever ORVO_BASE64 says: the
// tests check each path the machine has.
bool can_take(VectorPath path);

} // namespace orvoeng

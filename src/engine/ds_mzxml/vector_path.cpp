#include "vector_path.h"

#include <cstdlib>
#include <string_view>

namespace orvoeng {

namespace {

VectorPath pick_vector_path() {
    const char* named = std::getenv("ORVO_BASE64");
    const std::string_view cap = named != nullptr ? named : "";
    if ((cap.empty() || cap == "avx512") && can_take(VectorPath::AVX512))
        return VectorPath::AVX512;
    if ((cap.empty() || cap == "avx512" || cap == "avx2") && can_take(VectorPath::AVX2))
        return VectorPath::AVX2;
    return VectorPath::BASE;
}

} // namespace

bool can_take(VectorPath path) {
    if (path == VectorPath::BASE)
        return true;
#if defined(__x86_64__) || defined(__i386__)
    __builtin_cpu_init();
    if (path == VectorPath::AVX512)
        return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw");
    return __builtin_cpu_supports("avx2");
#else
    return false;
#endif
}

VectorPath vector_path() {
    static const VectorPath chosen = pick_vector_path();
    return chosen;
}

} // namespace orvoeng

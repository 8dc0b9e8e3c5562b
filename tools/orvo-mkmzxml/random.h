// The generator's source of randomness: xoshiro256** seeded through
// splitmix64. Both are fixed algorithms, so a seed gives the same file on
// every machine and every run, which std::mt19937 with std::uniform_*
// distributions would not promise across standard libraries.
#pragma once

#include <cstdint>

namespace mkmzxml {

// One step of splitmix64: also a good stateless hash of a 64-bit value.
constexpr std::uint64_t splitmix64(std::uint64_t& state) {
    std::uint64_t z = (state += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

class Random {
public:
    explicit Random(std::uint64_t seed) {
        for (auto& word : s)
            word = splitmix64(seed);
    }

    std::uint64_t next() {
        const std::uint64_t result = rotl(s[1] * 5, 7) * 9;
        const std::uint64_t t = s[1] << 17;
        s[2] ^= s[0];
        s[3] ^= s[1];
        s[1] ^= s[2];
        s[0] ^= s[3];
        s[2] ^= t;
        s[3] = rotl(s[3], 45);
        return result;
    }

    // Uniform in [0, 1) with 53 bits.
    double uniform() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }

    // Uniform integer in [0, n) for small n; the bias is below 2^-32.
    std::uint32_t below(std::uint32_t n) {
        return static_cast<std::uint32_t>(((next() >> 32) * n) >> 32);
    }

private:
    static constexpr std::uint64_t rotl(std::uint64_t x, int k) {
        return (x << k) | (x >> (64 - k));
    }

    std::uint64_t s[4];
};

} // namespace mkmzxml

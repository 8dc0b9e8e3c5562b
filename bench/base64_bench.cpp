// Base64 peak decoding speed next to a plain copy of the same bytes, so the
// figure means something on a noisy machine, and next to the exact path
// without vector instructions.
#include <pal/memory.h>
#include <pal/string.h>

#include "support/peak_encoding.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr std::size_t VALUES = 200000; // a large spectrum: 100000 peaks

// Big-endian units of `unit_size` bytes as base64, optionally with a line
// break after every 19 groups as converters write it.
std::string peak_text(std::size_t unit_size, bool line_breaks) {
    std::vector<double> values(VALUES);
    for (std::size_t i = 0; i < VALUES; ++i)
        values[i] = 100.0 + static_cast<double>(i) * 0.37;
    return fixture::encode_values(values, static_cast<int>(unit_size * 8), line_breaks ? 19 : 0);
}

// Base64 text bytes per second (printed as bytes_per_second, binary units).
void report(benchmark::State& state, std::size_t text_size) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(text_size));
}

void decode(benchmark::State& state) {
    const auto unit_size = static_cast<std::size_t>(state.range(0));
    const std::string text = peak_text(unit_size, state.range(1) != 0);
    std::vector<unsigned char> out(VALUES * unit_size + unit_size);
    for (auto _ : state) {
        const auto units =
            PAL::base64_decode_ws(text, PAL::BIG_ENDIAN_ORDER, unit_size, VALUES + 1, out.data());
        benchmark::DoNotOptimize(units);
        benchmark::ClobberMemory();
    }
    report(state, text.size());
}

// The same work through the exact path: the scalar loop alone, then the byte order.
void decode_exact(benchmark::State& state) {
    const auto unit_size = static_cast<std::size_t>(state.range(0));
    const std::string text = peak_text(unit_size, state.range(1) != 0);
    std::vector<unsigned char> out(VALUES * unit_size + unit_size);
    for (auto _ : state) {
        const auto bytes = PAL::base64_decode_exact(text, " \t\n\r", out.size(), out.data());
        PAL::convert_byte_order(out.data(), unit_size, bytes / unit_size, PAL::BIG_ENDIAN_ORDER,
                                PAL::NATIVE_ORDER);
        benchmark::DoNotOptimize(bytes);
        benchmark::ClobberMemory();
    }
    report(state, text.size());
}

// The floor: copying the text's bytes, no decoding at all.
void copy(benchmark::State& state) {
    const std::string text =
        peak_text(static_cast<std::size_t>(state.range(0)), state.range(1) != 0);
    std::vector<char> out(text.size());
    for (auto _ : state) {
        std::memcpy(out.data(), text.data(), text.size());
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    report(state, text.size());
}

} // namespace

BENCHMARK(decode)->ArgNames({"bits/8", "breaks"})->ArgsProduct({{4, 8}, {0, 1}});
BENCHMARK(decode_exact)->ArgNames({"bits/8", "breaks"})->ArgsProduct({{4, 8}, {0, 1}});
BENCHMARK(copy)->ArgNames({"bits/8", "breaks"})->ArgsProduct({{4, 8}, {0, 1}});

BENCHMARK_MAIN();

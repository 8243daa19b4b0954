// What validation costs: time and heap allocations per call of validate on a
// valid record and on records that fail each rule, and the renderers against
// the straightforward library calls they replace.
#include <benchmark/benchmark.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <optional>
#include <string>
#include <utility>

#include "allocation_control_test_support.h"
#include "hand_written_chain.h"
#include "settings/message_text.h"
#include "settings/validation.h"

namespace {

using settings::Config;

// Runs `call` for the benchmark and reports its heap allocations per call.
template <typename Call>
void measure(benchmark::State& state, Call call) {
    const std::uint64_t before = heapAllocationCount();
    for (auto _ : state) {
        benchmark::DoNotOptimize(call());
    }
    state.counters["allocs_per_call"] =
        benchmark::Counter(static_cast<double>(heapAllocationCount() - before), benchmark::Counter::kAvgIterations);
}

void handWrittenChainValid(benchmark::State& state) {
    const Config config;
    measure(state, [&] { return handWrittenChain(config); });
}
BENCHMARK(handWrittenChainValid);

void validateValid(benchmark::State& state) {
    const Config config;
    measure(state, [&] { return settings::validate(config); });
}
BENCHMARK(validateValid);

void validateAllValid(benchmark::State& state) {
    const Config config;
    measure(state, [&] { return settings::validateAll(config); });
}
BENCHMARK(validateAllValid);

// Records that fail one rule each, every earlier rule holding: what building the message costs.
using Change = void (*)(Config&);
const std::array<std::pair<const char*, Change>, 10> kFailingRecords = {{
    {"version", [](Config& c) { c.version = 2; }},
    {"deviceNamePattern", [](Config& c) { c.audio.deviceNamePattern.clear(); }},
    {"bufferSizeMs", [](Config& c) { c.audio.bufferSizeMs = 0; }},
    {"sensitivity", [](Config& c) { c.detection.sensitivity = -1.0F; }},
    {"sensitivityLargest", [](Config& c) { c.detection.sensitivity = std::numeric_limits<float>::max(); }},
    {"minDurationMs", [](Config& c) { c.detection.minDurationMs = 99; }},
    {"cooldownMs", [](Config& c) { c.detection.cooldownMs = -100; }},
    {"fftSizeRange", [](Config& c) { c.detection.fftSize = 256; }},
    {"fftSizePowerOfTwo", [](Config& c) { c.detection.fftSize = 1000; }},
    {"dataFile", [](Config& c) { c.training.dataFile.clear(); }},
}};

void registerFailingRecords() {
    for (const auto& [name, change] : kFailingRecords) {
        Config config;
        change(config);
        benchmark::RegisterBenchmark(
            (std::string("validateFailing/") + name).c_str(),
            [config](benchmark::State& state) { measure(state, [&] { return settings::validate(config); }); });
        benchmark::RegisterBenchmark(
            (std::string("validateAllFailing/") + name).c_str(),
            [config](benchmark::State& state) { measure(state, [&] { return settings::validateAll(config); }); });
    }
}

// Typical and extreme values, cycled so that no single value is measured alone.
constexpr std::array<float, 8> kReals = {-1.0F, 0.7F, 1.5F, 1.0000001F, -0.0078125F, 123.456F, 1e25F, 3.0e38F};
constexpr std::array<std::int32_t, 8> kIntegers = {0, -100, 1000, 8193, 2147483647, -2147483647 - 1, 7, 99};

template <typename Value, std::size_t Count, typename Render>
void renderEach(benchmark::State& state, const std::array<Value, Count>& values, Render render) {
    std::size_t next = 0;
    measure(state, [&] {
        next = (next + 1) % Count;
        return render(values[next]);
    });
}

void renderReal(benchmark::State& state) { renderEach(state, kReals, settings::renderReal); }
BENCHMARK(renderReal);

// The plain C way: "%.6f" into a buffer, then into a string.
void snprintfReal(benchmark::State& state) {
    renderEach(state, kReals, [](float value) {
        std::array<char, 64> buffer{};
        static_cast<void>(std::snprintf(buffer.data(), buffer.size(), "%.6f", static_cast<double>(value)));
        return std::string(buffer.data());
    });
}
BENCHMARK(snprintfReal);

void renderInteger(benchmark::State& state) { renderEach(state, kIntegers, settings::renderInteger); }
BENCHMARK(renderInteger);

void toStringInteger(benchmark::State& state) {
    renderEach(state, kIntegers, [](std::int32_t value) { return std::to_string(value); });
}
BENCHMARK(toStringInteger);

}  // namespace

int main(int argc, char** argv) {
    registerFailingRecords();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

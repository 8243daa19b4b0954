// What the settings in force cost a real-time thread: a real-time reader's
// read() (the watch's publication of its records, which
// SettingsWatcher::realtimeReader() hands out), against loading a plain
// std::atomic<const Config*>, the floor, which frees nothing safely, and
// against current(), the lock and the shared copy. Each reads one field,
// alone (writer:0) and while a writer publishes every millisecond
// (writer:1), on one thread and on four.
#include <benchmark/benchmark.h>

#include <array>
#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <thread>

#include "settings/config.h"
#include "settings/publication.h"

namespace {

using settings::Config;

std::optional<settings::Publication<Config>> publication;
std::array<Config, 2> plainRecords;
std::atomic<const Config*> plainInForce{plainRecords.data()};
std::atomic<bool> writing{false};
std::thread writer;

// Once before each benchmark's threads start, and once after they end.
void startWriting(const benchmark::State& state) {
    publication.emplace(std::make_shared<const Config>());
    if (state.range(0) == 0) {
        return;
    }
    writing = true;
    writer = std::thread([] {
        for (unsigned edit = 1; writing.load(); ++edit) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            Config edited;
            edited.detection.sensitivity = static_cast<float>(edit % 100) / 100.0F;
            publication->publish(std::make_shared<const Config>(edited));
            plainInForce.store(&plainRecords[edit % 2], std::memory_order_release);
        }
    });
}

void stopWriting(const benchmark::State& /*state*/) {
    writing = false;
    if (writer.joinable()) {
        writer.join();
    }
}

void realtimeRead(benchmark::State& state) {
    settings::Publication<Config>::Reader reader = publication->reader();
    while (state.KeepRunning()) {
        benchmark::DoNotOptimize(reader.read().detection.sensitivity);
    }
}

void plainAtomicRead(benchmark::State& state) {
    while (state.KeepRunning()) {
        benchmark::DoNotOptimize(plainInForce.load(std::memory_order_acquire)->detection.sensitivity);
    }
}

void currentRead(benchmark::State& state) {
    while (state.KeepRunning()) {
        benchmark::DoNotOptimize(publication->current()->detection.sensitivity);
    }
}

void eachCase(benchmark::internal::Benchmark* benchmark) {
    benchmark->ArgName("writer")->Arg(0)->Arg(1)->Threads(1)->Threads(4)->Setup(startWriting)->Teardown(stopWriting);
}

}  // namespace

BENCHMARK(plainAtomicRead)->Apply(eachCase);
BENCHMARK(realtimeRead)->Apply(eachCase);
BENCHMARK(currentRead)->Apply(eachCase);

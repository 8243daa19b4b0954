// A JACK client that detects audio events with the live settings. Its process
// callback reads the settings in force through a RealtimeReader every block
// and applies them to a level detector: an event is a level above
// 1 - sensitivity for at least minDurationMs, at most one per cooldownMs.
// What the callback sees goes through a wait-free queue to the main thread,
// which prints it:
//
//   jack_detector SETTINGS_FILE [--server NAME] [--test-tone]
//
// --test-tone mixes a burst of 0.3 s every second into the input, for a
// machine without a microphone. It runs until SIGINT or SIGTERM (or until the
// server goes), then prints the blocks processed, the xruns JACK reported and
// the longest the callback took.
#include <jack/jack.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>

#include "settings/sources.h"
#include "settings/validation.h"
#include "settings/watch.h"

namespace {

// What the callback tells the printing thread.
struct Report {
    enum class Kind { settings, event } kind = Kind::settings;
    std::uint64_t block = 0;
    float sensitivity = 0.0F;  // settings: the live ones of the record the block read
    std::int32_t minDurationMs = 0;
    std::int32_t cooldownMs = 0;
};

// One producer, one consumer, a fixed ring: push() and pop() each take a
// bounded number of atomic steps and never wait. A full queue drops.
template <typename Item, std::size_t capacity>
class WaitFreeQueue {
public:
    bool push(const Item& item) noexcept {
        const std::size_t tail = tail_.load(std::memory_order_relaxed);
        if (tail - head_.load(std::memory_order_acquire) == capacity) {
            return false;
        }
        items_[tail % capacity] = item;
        tail_.store(tail + 1, std::memory_order_release);
        return true;
    }

    std::optional<Item> pop() noexcept {
        const std::size_t head = head_.load(std::memory_order_relaxed);
        if (head == tail_.load(std::memory_order_acquire)) {
            return std::nullopt;
        }
        Item item = items_[head % capacity];
        head_.store(head + 1, std::memory_order_release);
        return item;
    }

private:
    std::array<Item, capacity> items_{};
    std::atomic<std::size_t> head_{0};
    std::atomic<std::size_t> tail_{0};
};

// Everything the process callback touches: made before the client is
// activated, so the callback allocates nothing.
struct Detector {
    explicit Detector(settings::RealtimeReader reader) : settings(std::move(reader)) {}

    settings::RealtimeReader settings;
    jack_port_t* input = nullptr;
    double framesPerMs = 48.0;
    bool testTone = false;
    WaitFreeQueue<Report, 4096> reports;
    std::atomic<std::uint64_t> dropped{0};
    std::atomic<std::uint64_t> blocks{0};
    std::atomic<std::uint64_t> xruns{0};
    // Of the callback's own work, in microseconds: an xrun with this under
    // the period was the system's (the callback woken late), not the client's.
    std::atomic<jack_time_t> longestCallbackUs{0};
    // The callback's own.
    const settings::Config* lastRead = nullptr;
    std::uint64_t frame = 0;
    std::uint64_t framesAbove = 0;
    bool eventReported = false;
    std::optional<std::uint64_t> lastEventFrame;

    void tell(const Report& report) noexcept {
        if (!reports.push(report)) {
            dropped.fetch_add(1, std::memory_order_relaxed);
        }
    }
};

float testToneAt(std::uint64_t frame, double framesPerMs) {
    const auto perSecond = static_cast<std::uint64_t>(framesPerMs * 1000.0);
    if (frame % perSecond >= perSecond * 3 / 10) {
        return 0.0F;
    }
    return 0.8F * static_cast<float>(std::sin(static_cast<double>(frame) * 2.0 * 3.141592653589793 / 48.0));
}

int process(jack_nframes_t frames, void* argument) noexcept {
    const jack_time_t start = jack_get_time();
    auto& detector = *static_cast<Detector*>(argument);
    const settings::Config& config = detector.settings.read();
    const std::uint64_t block = detector.blocks.load(std::memory_order_relaxed);
    if (&config != detector.lastRead) {
        detector.lastRead = &config;
        detector.tell({Report::Kind::settings, block, config.detection.sensitivity, config.detection.minDurationMs,
                       config.detection.cooldownMs});
    }
    const auto* samples = static_cast<const float*>(jack_port_get_buffer(detector.input, frames));
    float level = 0.0F;
    for (jack_nframes_t index = 0; index < frames; ++index) {
        const float tone = detector.testTone ? testToneAt(detector.frame + index, detector.framesPerMs) : 0.0F;
        level = std::fmax(level, std::fabs(samples[index] + tone));
    }
    if (level > 1.0F - config.detection.sensitivity) {
        detector.framesAbove += frames;
        const double cooldownFrames = config.detection.cooldownMs * detector.framesPerMs;
        const bool cooledDown = !detector.lastEventFrame ||
                                static_cast<double>(detector.frame - *detector.lastEventFrame) >= cooldownFrames;
        if (!detector.eventReported && cooledDown &&
            static_cast<double>(detector.framesAbove) >= config.detection.minDurationMs * detector.framesPerMs) {
            detector.eventReported = true;
            detector.lastEventFrame = detector.frame;
            detector.tell({Report::Kind::event, block, 0.0F, 0, 0});
        }
    } else {
        detector.framesAbove = 0;
        detector.eventReported = false;
    }
    detector.frame += frames;
    detector.blocks.store(block + 1, std::memory_order_relaxed);
    const jack_time_t took = jack_get_time() - start;
    if (took > detector.longestCallbackUs.load(std::memory_order_relaxed)) {
        detector.longestCallbackUs.store(took, std::memory_order_relaxed);
    }
    return 0;
}

std::atomic<bool> stopping{false};

void print(const Report& report) {
    if (report.kind == Report::Kind::event) {
        std::printf("block %llu: event\n", static_cast<unsigned long long>(report.block));
        return;
    }
    std::printf("block %llu: sensitivity %g, minDurationMs %d, cooldownMs %d\n",
                static_cast<unsigned long long>(report.block), static_cast<double>(report.sensitivity),
                report.minDurationMs, report.cooldownMs);
    settings::Config seen;
    seen.detection.sensitivity = report.sensitivity;
    seen.detection.minDurationMs = report.minDurationMs;
    seen.detection.cooldownMs = report.cooldownMs;
    for (const settings::ValidationError& error : settings::validateAll(seen)) {
        std::printf("block %llu: error: %s: %s\n", static_cast<unsigned long long>(report.block), error.field.c_str(),
                    error.message.c_str());
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::optional<std::string> path;
    std::optional<std::string> server;
    bool testTone = false;
    for (int index = 1; index < argc; ++index) {
        const std::string_view argument = argv[index];
        if (argument == "--server" && index + 1 < argc) {
            server = argv[++index];
        } else if (argument == "--test-tone") {
            testTone = true;
        } else if (!path && !argument.starts_with("--")) {
            path = argument;
        } else {
            path.reset();
            break;
        }
    }
    if (!path) {
        static_cast<void>(std::fprintf(stderr, "usage: jack_detector SETTINGS_FILE [--server NAME] [--test-tone]\n"));
        return 2;
    }

    settings::SettingsSources sources;
    sources.file = settings::SettingsFileText{*path, settings::readSettingsText(*path)};
    sources.environment = settings::processEnvironment();
    const settings::LoadedSettings loaded = settings::loadSettings(sources);
    for (const settings::SourcedProblem& problem : loaded.problems) {
        static_cast<void>(
            std::fprintf(stderr, "%s: %s\n", problem.problem.key.c_str(), problem.problem.message.c_str()));
    }
    if (settings::anyError(loaded.problems)) {
        return 1;
    }
    settings::WatchOptions options;
    options.environment = sources.environment;
    settings::SettingsWatcher watcher(*path, loaded.config, options);

    jack_status_t status{};
    const auto open = static_cast<jack_options_t>(JackNoStartServer | (server ? JackServerName : JackNullOption));
    jack_client_t* client = jack_client_open("jack_detector", open, &status, server ? server->c_str() : nullptr);
    if (client == nullptr) {
        static_cast<void>(std::fprintf(stderr, "jack_detector: no JACK server to join (status 0x%x)\n",
                                       static_cast<unsigned>(status)));
        return 1;
    }
    Detector detector(watcher.realtimeReader());  // before the audio starts
    detector.input = jack_port_register(client, "in", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
    detector.framesPerMs = jack_get_sample_rate(client) / 1000.0;
    const double periodUs = jack_get_buffer_size(client) / detector.framesPerMs * 1000.0;
    detector.testTone = testTone;
    jack_set_process_callback(client, process, &detector);
    jack_set_xrun_callback(
        client,
        [](void* argument) {
            static_cast<Detector*>(argument)->xruns.fetch_add(1);
            return 0;
        },
        &detector);
    jack_on_shutdown(
        client, [](void*) { stopping = true; }, nullptr);
    static_cast<void>(std::signal(SIGINT, [](int) { stopping = true; }));
    static_cast<void>(std::signal(SIGTERM, [](int) { stopping = true; }));
    if (detector.input == nullptr || jack_activate(client) != 0) {
        static_cast<void>(std::fprintf(stderr, "jack_detector: JACK refused the client\n"));
        jack_client_close(client);
        return 1;
    }
    static_cast<void>(std::setvbuf(stdout, nullptr, _IOLBF, 0));  // a line as soon as it is printed
    while (!stopping) {
        while (const std::optional<Report> report = detector.reports.pop()) {
            print(*report);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    jack_deactivate(client);
    jack_client_close(client);
    while (const std::optional<Report> report = detector.reports.pop()) {
        print(*report);
    }
    std::printf("blocks %llu, xruns %llu, longest callback %llu us of a %.0f us period, reports dropped %llu\n",
                static_cast<unsigned long long>(detector.blocks.load()),
                static_cast<unsigned long long>(detector.xruns.load()),
                static_cast<unsigned long long>(detector.longestCallbackUs.load()), periodUs,
                static_cast<unsigned long long>(detector.dropped.load()));
    return 0;
}

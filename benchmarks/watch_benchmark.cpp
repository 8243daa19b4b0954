// The watch with its default options: time from a completed save (a new file
// renamed over the old one) to the record published, over many saves made at
// random moments of the polling, and the processor time the watch uses over a
// minute in which nothing changes, of one file and of a layered set of 22.
//
//   detector_settings_watch_benchmark [saves] [idle seconds]
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "settings/watch.h"

namespace {

using Clock = std::chrono::steady_clock;

double milliseconds(Clock::duration duration) { return std::chrono::duration<double, std::milli>(duration).count(); }

void save(const std::filesystem::path& path, const std::string& text) {
    const std::filesystem::path beside = path.string() + ".new";
    std::ofstream(beside, std::ios::binary) << text;
    std::filesystem::rename(beside, path);
}

// The processor time of the whole process over `seconds` in which nothing
// changes, past the seconds in which texts are compared after the last change.
double idleProcessorMs(int seconds) {
    std::this_thread::sleep_for(std::chrono::seconds(4));
    const std::clock_t start = std::clock();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    return 1000.0 * static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
}

}  // namespace

int main(int argc, char** argv) {
    const int saves = argc > 1 ? std::stoi(argv[1]) : 100;
    const int idleSeconds = argc > 2 ? std::stoi(argv[2]) : 60;
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() /
        ("detector_settings_watch_benchmark_" + std::to_string(std::random_device{}()));
    std::filesystem::create_directories(folder);
    const std::filesystem::path path = folder / "settings.toml";
    save(path, "");

    std::mutex mutex;
    std::condition_variable published;
    Clock::time_point publishedAt;
    int publications = 0;
    settings::WatchOptions options;
    options.onApplied = [&](const settings::AppliedChange&) {
        const std::scoped_lock lock(mutex);
        publishedAt = Clock::now();
        ++publications;
        published.notify_one();
    };
    settings::SettingsWatcher watcher(path, settings::Config{}, options);

    std::vector<double> latencies;
    // NOLINTNEXTLINE(cert-msc32-c,cert-msc51-cpp): a fixed seed, so that runs compare.
    std::mt19937 random(20261209);
    std::uniform_int_distribution<int> pause(0, static_cast<int>(options.pollInterval.count()) * 2);
    for (int i = 0; i < saves; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(pause(random)));
        std::unique_lock lock(mutex);
        const int before = publications;
        lock.unlock();
        save(path, "[detection]\nsensitivity = " + std::to_string(i % 2 == 0 ? 0.25 : 0.5) + "\n");
        const Clock::time_point saved = Clock::now();
        lock.lock();
        published.wait(lock, [&] { return publications > before; });
        latencies.push_back(milliseconds(publishedAt - saved));
    }
    std::sort(latencies.begin(), latencies.end());
    const auto percentile = [&](double p) {
        return latencies.at(static_cast<std::size_t>(p * static_cast<double>(latencies.size() - 1)));
    };
    std::printf("save to published (poll every %lld ms, settle %lld ms), %d saves:\n",
                static_cast<long long>(options.pollInterval.count()),
                static_cast<long long>(options.settleTime.count()), saves);
    std::printf("  median %.1f ms, 99th percentile %.1f ms, most %.1f ms\n", percentile(0.5), percentile(0.99),
                latencies.back());

    const double used = idleProcessorMs(idleSeconds);
    std::printf("nothing changing for %d s: %.1f ms of processor time (%.4f%% of one core)\n", idleSeconds, used,
                100.0 * used / (1000.0 * idleSeconds));
    watcher.stop();

    // A layered set of a base, the operator's file and 20 drop-ins, in the same run.
    std::filesystem::create_directories(folder / "settings.d");
    save(folder / "base.toml", "version = 1\n");
    for (int i = 0; i < 20; ++i) {
        save(folder / "settings.d" / (std::to_string(10 + i) + "-site.toml"), "detection.cooldownMs = 400\n");
    }
    settings::WatchOptions layered;
    layered.layers = {folder / "base.toml", folder / "settings.d"};
    const settings::SettingsWatcher setWatcher(path, settings::Config{}, layered);
    const double usedBySet = idleProcessorMs(idleSeconds);
    std::printf("a set of 22 files, nothing changing for %d s: %.1f ms of processor time (%.2f times one file's)\n",
                idleSeconds, usedBySet, usedBySet / used);
    std::filesystem::remove_all(folder);
    return 0;
}

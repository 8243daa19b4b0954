// A real-time thread's read() allocates, frees and locks nothing while the
// watch publishes, and sees every record whole; current() does all three,
// so the count can fail. Its own program, with realtime_calls_test_support.cpp.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "file/watch/realtime_calls_test_support.h"
#include "file/watch/settings_watcher_test_support.h"
#include "settings/watch.h"

namespace settings {
namespace {

std::string sensitivityText(int edit) {
    return "[detection]\nsensitivity = " + std::to_string(static_cast<double>(edit) / 2000.0) + "\n";
}

// Runs `read` on two threads marked real-time while the watch publishes
// `edits` records, at least `readsAtLeast` times on each, and returns what
// those threads called that they must not.
template <typename Read>
std::uint64_t forbiddenWhilePublishing(int edits, std::uint64_t readsAtLeast, std::uint64_t& reads, int& torn,
                                       Read read) {
    test::WatchFolder folder;
    folder.change(test::Change::renameOver, sensitivityText(0));
    std::mutex mutex;
    std::condition_variable published;
    int applied = 0;
    WatchOptions options;
    options.pollInterval = std::chrono::milliseconds(1);
    options.settleTime = std::chrono::milliseconds(1);
    options.onApplied = [&](const AppliedChange&) {
        const std::scoped_lock lock(mutex);
        ++applied;
        published.notify_all();
    };
    Config running;
    running.detection.sensitivity = 0.0F;  // as the file says at first
    SettingsWatcher watcher(folder.file(), running, std::move(options));
    std::atomic<bool> done = false;
    std::atomic<std::uint64_t> readCount = 0;
    std::atomic<int> tornCount = 0;
    test::resetForbiddenCalls();
    std::vector<std::thread> threads;
    threads.reserve(2);
    for (int thread = 0; thread < 2; ++thread) {
        threads.emplace_back([&, realtime = watcher.realtimeReader()]() mutable {
            test::markRealtimeThread(true);
            std::uint64_t count = 0;
            float last = 0.0F;
            while (!done.load(std::memory_order_relaxed) || count < readsAtLeast) {
                const float sensitivity = read(realtime, watcher);
                if (sensitivity < last) {
                    tornCount.fetch_add(1);  // records go back in time: one was torn or lost
                }
                last = sensitivity;
                ++count;
            }
            test::markRealtimeThread(false);
            readCount += count;
        });
    }
    for (int edit = 1; edit <= edits; ++edit) {
        folder.change(test::Change::renameOver, sensitivityText(edit));
        std::unique_lock lock(mutex);
        published.wait(lock, [&] { return applied >= edit; });
    }
    done = true;
    for (std::thread& thread : threads) {
        thread.join();
    }
    reads = readCount;
    torn = tornCount;
    return test::forbiddenCalls();
}

TEST(RealtimeReader, ReadsWithoutLockingAllocatingOrFreeing) {
    std::uint64_t reads = 0;
    int torn = 0;
    const std::uint64_t forbidden = forbiddenWhilePublishing(
        1000, 1'000'000, reads, torn,
        [](RealtimeReader& reader, const SettingsWatcher&) { return reader.read().detection.sensitivity; });
    EXPECT_EQ(forbidden, 0U);
    EXPECT_EQ(torn, 0);
    EXPECT_GE(reads, 2'000'000U);
}

// The test can fail: current() locks, and the last copy of a record frees it.
TEST(RealtimeReader, CurrentLocksOnTheSameThreads) {
    std::uint64_t reads = 0;
    int torn = 0;
    const std::uint64_t forbidden = forbiddenWhilePublishing(
        20, 0, reads, torn,
        [](RealtimeReader&, const SettingsWatcher& watcher) { return watcher.current()->detection.sensitivity; });
    EXPECT_GE(forbidden, reads);
}

}  // namespace
}  // namespace settings

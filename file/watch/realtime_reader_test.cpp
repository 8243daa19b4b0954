// A real-time thread's read() allocates, frees and locks nothing while the
// watch publishes, and sees every record whole; current() does all three,
// so the count can fail. Its own program: it replaces operator new and
// delete and pthread_mutex_lock, counting the calls made on threads marked
// real-time, as a real-time sanitizer would.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <pthread.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "file/watch/settings_watcher_test_support.h"
#include "settings/watch.h"

namespace {

thread_local bool realtimeThread = false;
std::atomic<std::uint64_t> forbiddenCalls{0};

void forbiddenOnRealtimeThreads() {
    if (realtimeThread) {
        forbiddenCalls.fetch_add(1, std::memory_order_relaxed);
    }
}

using MutexLock = int (*)(pthread_mutex_t*);
MutexLock systemMutexLock() {
    static const auto lock = reinterpret_cast<MutexLock>(dlsym(RTLD_NEXT, "pthread_mutex_lock"));
    return lock;
}

}  // namespace

void* operator new(std::size_t size) {
    forbiddenOnRealtimeThreads();
    if (void* memory = std::malloc(size == 0 ? 1 : size)) {
        return memory;
    }
    throw std::bad_alloc();
}

void operator delete(void* memory) noexcept {
    if (memory != nullptr) {
        forbiddenOnRealtimeThreads();
    }
    std::free(memory);
}

void operator delete(void* memory, std::size_t /*size*/) noexcept { operator delete(memory); }

extern "C" int pthread_mutex_lock(pthread_mutex_t* mutex) {
    forbiddenOnRealtimeThreads();
    return systemMutexLock()(mutex);
}

namespace settings {
namespace {

std::string sensitivityText(int edit) {
    return "[detection]\nsensitivity = " + std::to_string(static_cast<double>(edit) / 2000.0) + "\n";
}

// Runs `read` on two threads marked real-time while the watch publishes
// `edits` records, and returns what those threads called that they must not.
template <typename Read>
std::uint64_t forbiddenWhilePublishing(int edits, std::uint64_t& reads, int& torn, Read read) {
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
    forbiddenCalls = 0;
    std::vector<std::thread> threads;
    for (int thread = 0; thread < 2; ++thread) {
        threads.emplace_back([&, realtime = watcher.realtimeReader()]() mutable {
            realtimeThread = true;
            std::uint64_t count = 0;
            float last = 0.0F;
            while (!done.load(std::memory_order_relaxed)) {
                const float sensitivity = read(realtime, watcher);
                if (sensitivity < last) {
                    tornCount.fetch_add(1);  // records go back in time: one was torn or lost
                }
                last = sensitivity;
                ++count;
            }
            realtimeThread = false;
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
    return forbiddenCalls;
}

TEST(RealtimeReader, ReadsWithoutLockingAllocatingOrFreeing) {
    std::uint64_t reads = 0;
    int torn = 0;
    const std::uint64_t forbidden = forbiddenWhilePublishing(
        1000, reads, torn,
        [](RealtimeReader& reader, const SettingsWatcher&) { return reader.read().detection.sensitivity; });
    EXPECT_EQ(forbidden, 0U);
    EXPECT_EQ(torn, 0);
    EXPECT_GT(reads, 1000U);
}

// The test can fail: current() locks, and the last copy of a record frees it.
TEST(RealtimeReader, CurrentLocksOnTheSameThreads) {
    std::uint64_t reads = 0;
    int torn = 0;
    const std::uint64_t forbidden = forbiddenWhilePublishing(
        20, reads, torn,
        [](RealtimeReader&, const SettingsWatcher& watcher) { return watcher.current()->detection.sensitivity; });
    EXPECT_GE(forbidden, reads);
}

}  // namespace
}  // namespace settings

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <new>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>
#include <variant>

#include "file/base/internal/path_names.h"
#include "file/watch/internal/forks.h"
#include "file/watch/internal/observer.h"
#include "file/watch/internal/publisher.h"
#include "settings/watch.h"

namespace settings {

using namespace file_internal;
namespace {

using Clock = std::chrono::steady_clock;

// Times from a millisecond to an hour: no poll spins, no wait overflows.
WatchOptions withSaneTimes(WatchOptions options) {
    constexpr std::chrono::milliseconds kShortest(1);
    constexpr std::chrono::milliseconds kLongest = std::chrono::hours(1);
    options.pollInterval = std::clamp(options.pollInterval, kShortest, kLongest);
    options.settleTime = std::clamp(options.settleTime, kShortest, kLongest);
    options.emptyFileSettleTime = std::clamp(options.emptyFileSettleTime, kShortest, kLongest);
    return options;
}

}  // namespace

struct SettingsWatcher::State {
    State(std::filesystem::path watched, Config running, WatchOptions watchOptions)
        : path(std::move(watched)),
          options(withSaneTimes(std::move(watchOptions))),
          publisher(utf8Name(path), std::move(running), options.environment, options.overrides),
          inForce(publisher.inForce()) {}

    void watch() {
        FileObserver observer(watched(), options.settleTime, options.emptyFileSettleTime, Clock::now());
        std::unique_lock lock(stopMutex);
        // While a change settles, the next look is due when it would have settled.
        while (!wake.wait_for(
            lock, observer.settling() ? std::min(options.settleTime, options.pollInterval) : options.pollInterval,
            [this] { return stopping; })) {
            lock.unlock();
            try {
                if (std::optional<WatchedTexts> edit = observer.poll(Clock::now())) {
                    report(publisher.judge(std::move(*edit)));
                }
            } catch (const std::bad_alloc&) {  // GCOVR_EXCL_LINE: only when memory runs out
                // The watch goes on, and looks at the file afresh once memory allows.
                // GCOVR_EXCL_START
                observer = FileObserver(watched(), options.settleTime, options.emptyFileSettleTime, Clock::now());
                // GCOVR_EXCL_STOP
            }
            lock.lock();
        }
    }

    [[nodiscard]] WatchedFiles watched() const {
        WatchedFiles files{options.layers, std::nullopt};
        if (!path.empty()) {
            files.file = path;
        }
        return files;
    }

    void report(Publisher::Verdict verdict) {
        if (auto* change = std::get_if<AppliedChange>(&verdict)) {
            // The records it replaces go once the lock is free: nothing
            // that may lock (freeing memory) runs under it, so that a fork,
            // which takes it, never waits on a lock held by the fork itself.
            inForce.publish(change->config);
            if (options.onApplied) {
                options.onApplied(*change);
            }
        } else if (auto* rejected = std::get_if<RejectedEdit>(&verdict)) {
            if (options.onRejected) {
                options.onRejected(*rejected);
            }
        }
    }

    std::filesystem::path path;
    WatchOptions options;
    Publisher publisher;  // the watch's thread's alone

    // The record in force, for current() and the real-time readers.
    Publication<Config> inForce;

    std::mutex stopMutex;
    std::condition_variable wake;
    bool stopping = false;
    std::thread thread;
    // In a process forked from the one that started the watch: its thread
    // was not copied, and is neither joined nor detached.
    std::atomic<bool> inherited = false;
    // The next of the process's watches (watches()), linked without allocating.
    State* nextWatch = nullptr;
};

namespace {

// Every watch of the process, so that a fork finds their locks free (none
// held by a thread the child does not have) and the child knows that none
// of them runs. A fork takes these locks, after the memory allocator's (as
// sanitizers take it), so nothing allocates while it holds them.
struct Watches {
    std::mutex mutex;
    SettingsWatcher::State* first = nullptr;

    template <typename Visit>
    void forEach(Visit visit) {
        for (SettingsWatcher::State* state = first; state != nullptr; state = state->nextWatch) {
            visit(*state);
        }
    }
};

Watches& watches();

void lockEveryWatch() {
    watches().mutex.lock();
    watches().forEach([](SettingsWatcher::State& state) {
        state.stopMutex.lock();
        state.inForce.lock();
    });
}

void unlockEveryWatch() {
    watches().forEach([](SettingsWatcher::State& state) {
        state.inForce.unlock();
        state.stopMutex.unlock();
    });
    watches().mutex.unlock();
}

void inheritEveryWatch() {
    watches().forEach([](SettingsWatcher::State& state) { state.inherited = true; });
    unlockEveryWatch();
}

Watches& watches() {
    static auto* const all = [] {
        onEveryFork(lockEveryWatch, unlockEveryWatch, inheritEveryWatch);
        return new Watches();  // never destroyed: a watch may end after static destructors ran
    }();                       // GCOVR_EXCL_BR_LINE: the guard of a static's first use
    return *all;
}

}  // namespace

SettingsWatcher::SettingsWatcher(std::filesystem::path path, Config running, WatchOptions options)
    : state_(std::make_shared<State>(std::move(path), std::move(running), std::move(options))) {
    {
        const std::scoped_lock registering(watches().mutex);
        state_->nextWatch = std::exchange(watches().first, state_.get());
    }
    try {
        // The thread shares the state: a watcher destroyed by its own listener
        // leaves it to the thread, which ends once the listener returns.
        state_->thread = std::thread([state = state_] { state->watch(); });
    } catch (const std::system_error&) {  // GCOVR_EXCL_LINE: only when the system has no thread to give
    }
}

SettingsWatcher::~SettingsWatcher() {
    stop();
    {
        const std::scoped_lock registering(watches().mutex);
        State** link = &watches().first;
        while (*link != state_.get()) {
            link = &(*link)->nextWatch;
        }
        *link = state_->nextWatch;
    }
    if (state_->inherited) {
        // The thread's share of the state is never let go: the state stays, as the parent's thread left it.
        return;
    }
    if (state_->thread.joinable()) {
        state_->thread.detach();  // destroyed by its own listener: see stop()
    }
}

std::shared_ptr<const Config> SettingsWatcher::current() const { return state_->inForce.current(); }

RealtimeReader SettingsWatcher::realtimeReader() { return RealtimeReader(state_->inForce.reader()); }

bool SettingsWatcher::watching() const {
    const std::scoped_lock lock(state_->stopMutex);
    return state_->thread.joinable() && !state_->stopping && !state_->inherited;
}

void SettingsWatcher::stop() {
    {
        const std::scoped_lock stopping(state_->stopMutex);
        state_->stopping = true;
    }
    state_->wake.notify_all();
    // A listener that stops the watch is on the watch's thread, which cannot
    // wait for itself: the watch ends once the listener returns.
    if (state_->thread.joinable() && state_->thread.get_id() != std::this_thread::get_id() && !state_->inherited) {
        state_->thread.join();
    }
}

}  // namespace settings

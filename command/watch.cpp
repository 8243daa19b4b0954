#include "settings/watch.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <memory>
#include <thread>
#include <utility>

#include "diagnostics.h"
#include "event_queue.h"
#include "run.h"
#include "subcommands.h"
#include "watch_events.h"

namespace command {
namespace {

// Set by SIGINT and SIGTERM, which end a watch. The handler may run on any
// thread (on Windows, always on one of its own), so the flag is atomic.
std::atomic<int> interruption{0};
static_assert(std::atomic<int>::is_always_lock_free, "a signal handler may only touch lock-free atomics");

void interrupt(int signal) { interruption.store(signal); }

// How long, once interrupted, the watch may take to stop and its last events to be written.
constexpr std::chrono::milliseconds kStopped(800);

// SIGINT and SIGTERM set `interruption` while it lives; the handlers before are restored after.
class InterruptionHandlers {
public:
    InterruptionHandlers() {
        interruption.store(0);
        onInterrupt_ = std::signal(SIGINT, interrupt);
        onTerminate_ = std::signal(SIGTERM, interrupt);
    }
    ~InterruptionHandlers() {
        static_cast<void>(std::signal(SIGINT, onInterrupt_));
        static_cast<void>(std::signal(SIGTERM, onTerminate_));
    }
    InterruptionHandlers(const InterruptionHandlers&) = delete;
    InterruptionHandlers& operator=(const InterruptionHandlers&) = delete;
    InterruptionHandlers(InterruptionHandlers&&) = delete;
    InterruptionHandlers& operator=(InterruptionHandlers&&) = delete;

private:
    using Handler = void (*)(int);
    Handler onInterrupt_ = nullptr;
    Handler onTerminate_ = nullptr;
};

// Ends the watch, then the queue: no event comes after.
void stop(std::unique_ptr<settings::SettingsWatcher>& watcher, EventQueue& queue) {
    watcher.reset();
    queue.close();
}

}  // namespace

// A file with errors would not start a detector: they are reported as check
// reports them. The listeners only queue lines, and a thread of the command's
// own writes them, so that a reader that stalls never holds up the watch nor
// an interruption.
int watch(const std::string& file, const Request& request, Streams& streams) {
    const bool json = request.format == Format::json;
    std::optional<GivenFile> given;
    if (!file.empty()) {
        given = readGivenFile(file, streams.in);
    }
    const settings::SettingsSources sources = sourcesWith(std::move(given), request);
    const settings::LoadedSettings loaded = settings::loadSettings(sources);
    if (settings::anyError(loaded.problems)) {
        if (json) {
            streams.out.write(rejectedJson(loaded.problems));
        } else {
            writeText(streams.err, loaded.problems, textsOf(sources));
        }
        return statusOf(loaded.problems);
    }
    if (!json) {
        writeText(streams.err, loaded.problems, textsOf(sources));
    }
    streams.out.write(json ? watchingJson(file, request.layers, loaded.problems) : watchingText(file, request.layers));

    EventQueue queue;
    settings::WatchOptions options;
    options.environment = request.environment;
    options.overrides = request.overrides;
    options.layers = layerPaths(request.layers);
    options.onApplied = [&](const settings::AppliedChange& change) { queue.add(appliedEvent(change, json)); };
    options.onRejected = [&](const settings::RejectedEdit& edit) { queue.add(rejectedEvent(edit, file, json)); };
    const InterruptionHandlers handlers;
    std::packaged_task<void()> writing(  // GCOVR_EXCL_BR_LINE: exception edges, which gcovr 5.2 loses
        [&] { writeEvents(queue, streams, json ? skippedJson : skippedText); });
    std::future<void> written = writing.get_future();
    std::thread writer(std::move(writing));
    auto watcher = std::make_unique<settings::SettingsWatcher>(pathOf(file), loaded.config, std::move(options));
    while (interruption.load() == 0 && written.wait_for(kInterruptionSeen) == std::future_status::timeout) {
    }
    // The watch stops (no listener is called after), then what it said before
    // is written, within a deadline: the watch may be judging a large file, and
    // the reader may have stopped reading. A thread blocked in a write cannot
    // be woken on every system, and leaving normally would wait to flush what
    // it holds: past the deadline the process ends at once.
    std::packaged_task<void()> stopping([&] { stop(watcher, queue); });
    std::future<void> stopped = stopping.get_future();
    std::thread stopper(std::move(stopping));
    // Without an interruption, the output failed: the watch stops as it will, and the command fails.
    const auto deadline = std::chrono::steady_clock::now() + kStopped;
    // GCOVR_EXCL_BR_START: past the deadline the process ends before its coverage is written
    if (interruption.load() != 0 && (stopped.wait_until(deadline) == std::future_status::timeout ||
                                     written.wait_until(deadline) == std::future_status::timeout)) {
        std::_Exit(kAllValid);  // GCOVR_EXCL_LINE
    }
    // GCOVR_EXCL_BR_STOP
    stopper.join();
    writer.join();
    return kAllValid;
}

}  // namespace command

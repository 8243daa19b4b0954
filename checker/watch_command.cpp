#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <filesystem>
#include <mutex>
#include <utility>

#include "command.h"
#include "commands.h"
#include "diagnostics.h"
#include "settings/text_lines.h"
#include "settings/watch.h"
#include "watch_events.h"

namespace checker {
namespace {

// Set by SIGINT and SIGTERM, which end a watch. The handler may run on any
// thread (on Windows, always on one of its own), so the flag is atomic.
std::atomic<int> interruption{0};
static_assert(std::atomic<int>::is_always_lock_free, "a signal handler may only touch lock-free atomics");

void interrupt(int signal) { interruption.store(signal); }

// What the watch's thread has to say, for the main thread, which alone writes the streams.
class EventLines {
public:
    void add(std::string out, std::string err) {
        const std::scoped_lock lock(mutex_);
        lines_.emplace_back(std::move(out), std::move(err));
        added_.notify_one();
    }

    // The lines there are, waiting for some at most `timeout`.
    std::vector<std::pair<std::string, std::string>> take(std::chrono::milliseconds timeout) {
        std::unique_lock lock(mutex_);
        added_.wait_for(lock, timeout, [this] { return !lines_.empty(); });
        return std::exchange(lines_, {});
    }

private:
    std::mutex mutex_;
    std::condition_variable added_;
    std::vector<std::pair<std::string, std::string>> lines_;
};

}  // namespace

// A file with problems would not start a detector: they are reported as check reports them.
int watch(const std::string& file, const Request& request, Outputs& streams) {
    const bool json = request.format == Format::json;
    const settings::SettingsSources sources = sourcesWith(load(file, streams.in), request);
    const settings::LoadedSettings loaded = settings::loadSettings(sources);
    if (!loaded.problems.empty()) {
        if (json) {
            streams.out.write(rejectedJson(loaded.problems));
        } else {
            writeText(streams.err, loaded.problems, fileTextOf(sources));
        }
        return statusOf(loaded.problems);
    }

    EventLines lines;
    settings::WatchOptions options;
    options.environment = request.environment;
    options.overrides = request.overrides;
    options.onApplied = [&](const settings::AppliedChange& change) {
        lines.add(json ? appliedJson(change) : appliedText(change), "");
    };
    options.onRejected = [&](const settings::RejectedEdit& edit) {
        std::string diagnostics;
        if (!json) {
            const settings::TextLines textLines(edit.text);
            for (const settings::SourcedProblem& problem : edit.problems) {
                diagnostics += textDiagnostic(problem, textLines);
            }
        }
        lines.add(json ? rejectedJson(edit.problems) : rejectedText(edit.problems), std::move(diagnostics));
    };
    interruption.store(0);
    const auto previousOnInterrupt = std::signal(SIGINT, interrupt);
    const auto previousOnTerminate = std::signal(SIGTERM, interrupt);
    settings::SettingsWatcher watcher(std::filesystem::path(std::u8string(file.begin(), file.end())), loaded.config,
                                      std::move(options));
    streams.out.write(json ? watchingJson(file) : watchingText(file));
    const auto writeLines = [&](std::chrono::milliseconds wait) {
        for (const auto& [out, err] : lines.take(wait)) {
            streams.out.write(out);
            streams.err.write(err);
        }
        return streams.out.finish() && streams.err.finish();
    };
    constexpr std::chrono::milliseconds kInterruptionSeen(50);
    while (writeLines(kInterruptionSeen) && interruption.load() == 0) {
    }
    watcher.stop();
    // What the watch said before it stopped is written too.
    static_cast<void>(writeLines(std::chrono::milliseconds(0)));
    static_cast<void>(std::signal(SIGINT, previousOnInterrupt));
    static_cast<void>(std::signal(SIGTERM, previousOnTerminate));
    return kAllValid;
}

}  // namespace checker

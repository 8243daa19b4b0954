#include "settings/watch.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <new>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>
#include <variant>

#include "file/internal/file_access.h"
#include "file/internal/reader.h"
#include "file/internal/reload_judge.h"

namespace settings {

using namespace file_internal;
namespace {

using Clock = std::chrono::steady_clock;

// After a change the text is compared too, for this long: a later write can
// keep the size and, within the file system's clock tick (up to 2 s on FAT),
// the modification time.
constexpr Clock::duration kTextComparedAfterChange = std::chrono::seconds(3);

bool sameContent(const SettingsText& a, const SettingsText& b) {
    const auto messageOf = [](const SettingsText& content) {
        return content.problem ? std::string_view(content.problem->message) : std::string_view();
    };
    return std::pair(std::string_view(a.text), messageOf(a)) == std::pair(std::string_view(b.text), messageOf(b));
}

// A FIFO or a device at the path, whenever it appears, is a problem and is
// never waited on: it could block the watch, and its stop with it.
SettingsText readWatched(const std::filesystem::path& path) { return loadSettingsText(path, Opening::regularOnly); }

// What one poll sees of the file.
struct Look {
    FileStatus status;
    std::optional<SettingsText> content;  // only while texts are compared

    // Whether nothing changed since the `last` look, which has its text; a
    // look without one says nothing of the text. A text that differs under
    // the same status is a write within one tick of the file system's clock,
    // which tests cause only by chance.
    [[nodiscard]] bool sameAs(const Look& last) const {
        return status == last.status && (!content || sameContent(*content, *last.content));  // GCOVR_EXCL_BR_LINE
    }
};

Look lookAt(const std::filesystem::path& path, bool withContent) {
    Look look{lookAtFile(path), std::nullopt};
    if (withContent) {
        look.content = readWatched(path);
    }
    return look;
}

// Which texts of the file are edits to judge: each one that differs from the
// last judged, once the file has stayed the same for the settle time.
class FileObserver {
public:
    FileObserver(std::filesystem::path path, Clock::duration settleTime, Clock::time_point now)
        : path_(std::move(path)),
          settleTime_(settleTime),
          last_(lookAt(path_, true)),
          changedAt_(now),
          compareTextUntil_(now + kTextComparedAfterChange) {}

    std::optional<SettingsText> poll(Clock::time_point now) {
        Look look = lookAt(path_, now < compareTextUntil_);
        if (!look.sameAs(last_)) {
            last_ = std::move(look);
            if (!last_.content) {
                // A change seen outside the window opens one: its text is compared from now on.
                last_.content = readWatched(path_);
            }
            changedAt_ = now;
            compareTextUntil_ = now + kTextComparedAfterChange;
            unsettled_ = true;
            return std::nullopt;
        }
        if (!unsettled_ || now - changedAt_ < settleTime_) {
            return std::nullopt;
        }
        unsettled_ = false;
        // Read again rather than kept: the text judged is the file's as it is
        // now. Every settled change is judged, even to a text judged before:
        // a rejected file saved again is rejected again, for all to see.
        return readWatched(path_);
    }

    [[nodiscard]] bool settling() const { return unsettled_; }

private:
    std::filesystem::path path_;
    Clock::duration settleTime_;
    Look last_;  // with its text
    Clock::time_point changedAt_;
    Clock::time_point compareTextUntil_;
    bool unsettled_ = true;  // the file as found at the start is judged too
};

// The path as problems name their file: as given, in UTF-8.
std::string utf8Name(const std::filesystem::path& path) {
    try {
        const std::u8string name = path.u8string();
        return {name.begin(), name.end()};
    } catch (const std::system_error&) {        // GCOVR_EXCL_LINE: a lone surrogate, on Windows
        return "(a name that is not Unicode)";  // GCOVR_EXCL_LINE
    }
}

// Times from a millisecond to an hour: no poll spins, no wait overflows.
WatchOptions withSaneTimes(WatchOptions options) {
    constexpr std::chrono::milliseconds kShortest(1);
    constexpr std::chrono::milliseconds kLongest = std::chrono::hours(1);
    options.pollInterval = std::clamp(options.pollInterval, kShortest, kLongest);
    options.settleTime = std::clamp(options.settleTime, kShortest, kLongest);
    return options;
}

}  // namespace

struct SettingsWatcher::State {
    State(std::filesystem::path watched, Config running, WatchOptions watchOptions)
        : path(std::move(watched)),
          options(withSaneTimes(std::move(watchOptions))),
          judge(utf8Name(path), std::move(running), options.environment, options.overrides),
          inForce(judge.inForce()) {}

    void watch() {
        FileObserver observer(path, options.settleTime, Clock::now());
        std::unique_lock lock(stopMutex);
        // While a change settles, the next look is due when it would have settled.
        while (!wake.wait_for(
            lock, observer.settling() ? std::min(options.settleTime, options.pollInterval) : options.pollInterval,
            [this] { return stopping; })) {
            lock.unlock();
            try {
                if (std::optional<SettingsText> edit = observer.poll(Clock::now())) {
                    report(judge.judge(std::move(*edit)));
                }
            } catch (const std::bad_alloc&) {  // GCOVR_EXCL_LINE: only when memory runs out
                // The watch goes on, and looks at the file afresh once memory allows.
                observer = FileObserver(path, options.settleTime, Clock::now());  // GCOVR_EXCL_LINE
            }
            lock.lock();
        }
    }

    void report(ReloadJudge::Verdict verdict) {
        if (auto* change = std::get_if<AppliedChange>(&verdict)) {
            {
                const std::scoped_lock publishing(inForceMutex);
                inForce = change->config;
            }
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
    ReloadJudge judge;  // the watch's thread's alone

    mutable std::mutex inForceMutex;
    std::shared_ptr<const Config> inForce;

    std::mutex stopMutex;
    std::condition_variable wake;
    bool stopping = false;
    std::thread thread;
};

SettingsWatcher::SettingsWatcher(std::filesystem::path path, Config running, WatchOptions options)
    : state_(std::make_shared<State>(std::move(path), std::move(running), std::move(options))) {
    try {
        // The thread shares the state: a watcher destroyed by its own listener
        // leaves it to the thread, which ends once the listener returns.
        state_->thread = std::thread([state = state_] { state->watch(); });
    } catch (const std::system_error&) {  // GCOVR_EXCL_LINE: only when the system has no thread to give
    }
}

SettingsWatcher::~SettingsWatcher() {
    stop();
    if (state_->thread.joinable()) {
        state_->thread.detach();  // destroyed by its own listener: see stop()
    }
}

std::shared_ptr<const Config> SettingsWatcher::current() const {
    const std::scoped_lock reading(state_->inForceMutex);
    return state_->inForce;
}

bool SettingsWatcher::watching() const {
    const std::scoped_lock lock(state_->stopMutex);
    return state_->thread.joinable() && !state_->stopping;
}

void SettingsWatcher::stop() {
    {
        const std::scoped_lock stopping(state_->stopMutex);
        state_->stopping = true;
    }
    state_->wake.notify_all();
    // A listener that stops the watch is on the watch's thread, which cannot
    // wait for itself: the watch ends once the listener returns.
    if (state_->thread.joinable() && state_->thread.get_id() != std::this_thread::get_id()) {
        state_->thread.join();
    }
}

}  // namespace settings

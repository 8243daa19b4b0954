// The watch of a settings file: every way a file changes is noticed, a burst
// is judged once, a rewrite that keeps size and time is still seen, and stop()
// ends it at once.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "file/watch/settings_watcher_test_support.h"
#include "settings/read.h"
#include "settings/watch.h"

namespace settings {
namespace {

using namespace std::chrono_literals;
using test::Change;

std::string withSensitivity(const std::string& value) { return "[detection]\nsensitivity = " + value + "\n"; }

bool appliedWithSensitivity(const test::WatchLog::Event& event, float sensitivity) {
    return event.applied && event.change.config->detection.sensitivity == sensitivity;
}

Config runningWith(float sensitivity) {
    Config running;
    running.detection.sensitivity = sensitivity;
    return running;
}

struct ChangeCase {
    const char* name;
    Change change;
};

std::ostream& operator<<(std::ostream& out, const ChangeCase& c) { return out << c.name; }

class WatchChangeTest : public testing::TestWithParam<ChangeCase> {};

TEST_P(WatchChangeTest, IsNoticedAndJudged) {
    const Change change = GetParam().change;
    if (change == Change::linkSwap && !test::kLinksAvailable) {
        GTEST_SKIP() << "links need an administrator on Windows";
    }
    test::WatchFolder folder;
    folder.change(change == Change::remove ? Change::inPlace : change, withSensitivity("0.5"));
    test::WatchLog log;
    SettingsWatcher watcher(folder.file(), runningWith(0.5F), log.options(20ms));
    ASSERT_TRUE(watcher.watching());

    // Each change is looked for among the events, as a write may be seen halfway too.
    folder.change(change, withSensitivity("0.25"));
    if (change == Change::remove) {
        ASSERT_TRUE(log.waitFor(0, [](const test::WatchLog::Event& e) {
            return !e.applied && e.rejected.problems.at(0).problem.message == "no such file";
        }));
        EXPECT_EQ(watcher.current()->detection.sensitivity, 0.5F);  // a deleted file is no switch to defaults
        folder.change(Change::inPlace, withSensitivity("0.75"));
        ASSERT_TRUE(log.waitFor(0, [](const test::WatchLog::Event& e) { return appliedWithSensitivity(e, 0.75F); }));
        return;
    }
    ASSERT_TRUE(log.waitFor(0, [](const test::WatchLog::Event& e) {
        return appliedWithSensitivity(e, 0.25F) &&
               e.change.changed == std::vector<std::string_view>{"detection.sensitivity"};
    }));
    EXPECT_EQ(watcher.current()->detection.sensitivity, 0.25F);

    const std::size_t before = log.size();
    folder.change(change, withSensitivity("1.5"));
    ASSERT_TRUE(log.waitFor(before, [](const test::WatchLog::Event& e) {
        return !e.applied && e.rejected.text == withSensitivity("1.5");
    }));
    EXPECT_EQ(watcher.current()->detection.sensitivity, 0.25F);
}

INSTANTIATE_TEST_SUITE_P(EveryChange, WatchChangeTest,
                         testing::Values(ChangeCase{"in_place", Change::inPlace},
                                         ChangeCase{"rename_over", Change::renameOver},
                                         ChangeCase{"link_swap", Change::linkSwap},
                                         ChangeCase{"recreate", Change::recreate},
                                         ChangeCase{"remove", Change::remove}),
                         [](const testing::TestParamInfo<ChangeCase>& changes) { return changes.param.name; });

TEST(WatchTest, JudgesTheFileAsFoundWhenItChangedSinceItWasLoaded) {
    test::WatchFolder folder;
    folder.change(Change::inPlace, withSensitivity("0.25"));
    test::WatchLog log;
    const SettingsWatcher watcher(folder.file(), runningWith(0.5F), log.options());
    // The watch may already have judged the file when current() is first asked, so the start is seen in the
    // first edit: it changed the sensitivity, so it began from the running settings, not from the file.
    ASSERT_TRUE(log.waitFor(0, [](const test::WatchLog::Event& e) {
        return appliedWithSensitivity(e, 0.25F) &&
               e.change.changed == std::vector<std::string_view>{"detection.sensitivity"};
    }));
}

TEST(WatchTest, ARealtimeReaderReadsTheLastRecordInForceOnceTheWatcherIsGone) {
    test::WatchFolder folder;
    folder.change(Change::inPlace, withSensitivity("0.25"));
    test::WatchLog log;
    std::optional<SettingsWatcher> watcher(std::in_place, folder.file(), runningWith(0.5F), log.options());
    RealtimeReader reader = watcher->realtimeReader();
    ASSERT_TRUE(log.waitFor(0, [](const test::WatchLog::Event& e) { return appliedWithSensitivity(e, 0.25F); }));
    watcher.reset();
    EXPECT_EQ(reader.read().detection.sensitivity, 0.25F);
}

TEST(WatchTest, JudgesABurstOfWritesOnceItHasSettled) {
    test::WatchFolder folder;
    folder.change(Change::inPlace, withSensitivity("0.5"));
    test::WatchLog log;
    const SettingsWatcher watcher(folder.file(), runningWith(0.5F), log.options(2500ms));
    for (int step = 1; step <= 10; ++step) {
        folder.change(Change::inPlace, withSensitivity(std::to_string(0.3 + 0.01 * step)));
    }
    ASSERT_TRUE(log.waitFor(0, [](const test::WatchLog::Event& e) { return appliedWithSensitivity(e, 0.4F); }));
    std::this_thread::sleep_for(500ms);
    EXPECT_EQ(log.size(), 1U);
}

// A file renamed over the watched one with the same size and time (as cp -p,
// rsync -t and tar x leave it) is seen, end to end; the file observer's
// tests take the rest of such saves on a clock of their own.
TEST(WatchTest, SeesAReplacementOfTheSameSizeAndTime) {
    test::WatchFolder folder;
    folder.change(Change::inPlace, withSensitivity("0.25"));
    test::WatchLog log;
    const SettingsWatcher watcher(folder.file(), runningWith(0.5F), log.options());
    ASSERT_TRUE(log.waitFor(0, [](const test::WatchLog::Event& e) { return appliedWithSensitivity(e, 0.25F); }));
    folder.replaceWrittenAt(withSensitivity("0.75"), std::filesystem::last_write_time(folder.file()));
    ASSERT_TRUE(log.waitFor(
        0, [](const test::WatchLog::Event& e) { return appliedWithSensitivity(e, 0.75F); }, 10s));
}

// Each problem of the file is reported once: gone, then a directory in its place.
TEST(WatchTest, ReportsEachNewProblemOfTheFileOnce) {
    test::WatchFolder folder;
    folder.change(Change::inPlace, withSensitivity("0.5"));
    test::WatchLog log;
    const SettingsWatcher watcher(folder.file(), runningWith(0.5F), log.options());
    const auto rejectedFor = [](std::string_view message) {
        return [message](const test::WatchLog::Event& e) {
            return !e.applied && e.rejected.problems.at(0).problem.message == message;
        };
    };
    folder.change(Change::remove, "");
    ASSERT_TRUE(log.waitFor(0, rejectedFor("no such file")));
    std::filesystem::create_directory(folder.file());
    ASSERT_TRUE(log.waitFor(0, rejectedFor("is a directory, not a settings file")));
    std::this_thread::sleep_for(200ms);  // time enough for a problem to be told twice
    test::WatchFolder::retried([&] { std::filesystem::remove(folder.file()); });
    folder.change(Change::inPlace, withSensitivity("0.25"));
    ASSERT_TRUE(log.waitFor(0, [](const test::WatchLog::Event& e) { return appliedWithSensitivity(e, 0.25F); }));
    EXPECT_EQ(watcher.current()->detection.sensitivity, 0.25F);
    // Each state lasted long enough for many polls, and was told once while it lasted.
    const std::vector<test::WatchLog::Event> events = log.events();
    const auto directory =
        std::find_if(events.begin(), events.end(), rejectedFor("is a directory, not a settings file"));
    EXPECT_EQ(std::count_if(events.begin(), directory, rejectedFor("no such file")), 1);
    EXPECT_EQ(std::count_if(events.begin(), events.end(), rejectedFor("is a directory, not a settings file")), 1);
}

// stop() wakes a watch that waits an hour between polls.
TEST(WatchTest, StopEndsTheWatchAtOnceAndTwiceIsHarmless) {
    test::WatchFolder folder;
    WatchOptions options;
    options.pollInterval = std::chrono::hours(1);
    options.settleTime = std::chrono::hours(1);
    SettingsWatcher watcher(folder.file(), Config{}, options);
    EXPECT_TRUE(watcher.watching());
    std::this_thread::sleep_for(100ms);  // long enough for the watch to be waiting on its hour
    const auto start = std::chrono::steady_clock::now();
    watcher.stop();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    watcher.stop();
    EXPECT_FALSE(watcher.watching());
    EXPECT_TRUE(sameNamedSettings(*watcher.current(), Config{}));
}

// A listener may stop the watch, or destroy the watcher: no listener is called after.
TEST(WatchTest, AListenerMayStopOrDestroyTheWatch) {
    for (const bool destroy : {false, true}) {
        test::WatchFolder folder;
        folder.change(Change::inPlace, withSensitivity("0.25"));
        std::mutex mutex;  // held by the test until the watcher is there
        std::condition_variable called;
        int calls = 0;
        std::unique_ptr<SettingsWatcher> watcher;
        WatchOptions options = test::WatchLog().options();
        options.onApplied = [&, destroy](const AppliedChange&) {
            std::unique_lock lock(mutex);
            ++calls;
            called.notify_all();
            if (destroy) {
                const std::unique_ptr<SettingsWatcher> gone = std::move(watcher);
                lock.unlock();
            } else {
                watcher->stop();
                EXPECT_FALSE(watcher->watching());
            }
        };
        options.onRejected = [&](const RejectedEdit&) { options.onApplied({}); };
        std::unique_lock lock(mutex);
        watcher = std::make_unique<SettingsWatcher>(folder.file(), Config{}, options);
        ASSERT_TRUE(called.wait_for(lock, 60s, [&] { return calls > 0; })) << destroy;
        lock.unlock();
        folder.change(Change::renameOver, withSensitivity("1.5"));
        std::this_thread::sleep_for(200ms);  // long enough for the edit to be judged, were the watch on
        lock.lock();
        EXPECT_EQ(calls, 1) << destroy;
        EXPECT_EQ(watcher == nullptr, destroy);
    }
}

// Without listeners the watch still publishes, and passes over a rejected edit.
TEST(WatchTest, WorksWithoutListeners) {
    test::WatchFolder folder;
    folder.change(Change::inPlace, withSensitivity("2"));
    WatchOptions options = test::WatchLog().options();
    options.onApplied = nullptr;
    options.onRejected = nullptr;
    const SettingsWatcher watcher(folder.file(), Config{}, options);
    std::this_thread::sleep_for(200ms);  // long enough for the rejected edit to be judged
    EXPECT_EQ(watcher.current()->detection.sensitivity, Config{}.detection.sensitivity);
    folder.change(Change::inPlace, withSensitivity("0.25"));
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    while (watcher.current()->detection.sensitivity != 0.25F && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(1ms);
    }
    EXPECT_EQ(watcher.current()->detection.sensitivity, 0.25F);
}

// The file as the detector loaded it, touched, or saved again as it was, is
// no edit: nothing is reported.
TEST(WatchTest, ASaveOfTheSameSettingsIsNoEdit) {
    test::WatchFolder folder;
    folder.change(Change::inPlace, withSensitivity("0.25"));
    test::WatchLog log;
    const SettingsWatcher watcher(folder.file(), runningWith(0.25F), log.options());
    std::this_thread::sleep_for(200ms);  // long enough for the file as found to be judged
    folder.replaceWrittenAt(withSensitivity("0.25"),
                            std::filesystem::last_write_time(folder.file()) + std::chrono::seconds(10));
    std::this_thread::sleep_for(200ms);  // and the save
    folder.change(Change::renameOver, withSensitivity("0.75"));
    ASSERT_TRUE(log.waitFor(0, [](const test::WatchLog::Event& e) { return appliedWithSensitivity(e, 0.75F); }));
    EXPECT_EQ(log.size(), 1U);
}

}  // namespace
}  // namespace settings

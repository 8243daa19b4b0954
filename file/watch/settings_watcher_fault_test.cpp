// Ten thousand scripted edits, half of them invalid, made in every way a file
// changes and in bursts, while readers on other threads take the record in
// force again and again. Each edit gives the sensitivity a value of its own,
// the invalid ones too, beside a problem of every kind. No record may break a
// rule, hold an invalid edit's sensitivity, nor differ from the running one in
// a restart-only setting or in the setting the environment gives; the edit
// each burst ends with is always reported; and at the end the last edit is in
// force.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "file/watch/settings_watcher_test_support.h"
#include "settings/table.h"
#include "settings/validation.h"
#include "settings/watch.h"

namespace settings {
namespace {

using test::Change;

constexpr int kEdits = 10'000;
constexpr int kMaxBurst = 4;
constexpr std::int32_t kMinDurationFromEnvironment = 700;

struct Edit {
    Change how = Change::inPlace;
    std::string text;
    bool valid = false;
    float sensitivity = 0;  // of a valid edit
};

// The sensitivity of edit `number`, unique to it.
std::string sensitivityOf(int number) { return std::to_string((number + 1) / (kEdits + 2.0)); }

// Whether `sensitivity` is an invalid edit's: theirs are the even ones.
bool fromAnInvalidEdit(float sensitivity) { return std::lround(sensitivity * (kEdits + 2.0)) % 2 == 1; }

// The edits, from a fixed seed: every odd one is valid, so the last one is.
// Only a burst's last edit deletes the file, and never two bursts running:
// the watch judges only where a burst ends, and a file still gone is no edit.
class EditScript {
public:
    Edit make(int number, bool endsBurst) {
        Edit edit;
        edit.valid = number % 2 == 1;
        const std::string header = "# edit " + std::to_string(number) + "\n";
        // Unique to the edit, so that each valid edit changes what is in force.
        const std::string sensitivity = sensitivityOf(number);
        edit.sensitivity = static_cast<float>(std::stod(sensitivity));
        std::vector<Change> ways = {Change::inPlace, Change::renameOver, Change::recreate};
        if (test::kLinksAvailable) {
            ways.push_back(Change::linkSwap);
        }
        edit.how = ways.at(pick(ways.size()));
        if (edit.valid) {
            edit.text = header + "[audio]\nbufferSizeMs = " + std::to_string(5 + pick(96)) +
                        "\n[detection]\nsensitivity = " + sensitivity +
                        "\ncooldownMs = " + std::to_string(100 + pick(1901)) +
                        "\nminDurationMs = " + std::to_string(100 + pick(1901)) + "\n";
            gone_ = gone_ && !endsBurst;
            return edit;
        }
        // A problem of each kind before a live setting that would be valid, so
        // that a write seen halfway holds the problem whenever it holds the value.
        const std::string live = "sensitivity = " + sensitivity + "\n";
        const std::array<std::string, 7> invalid = {
            "[detection]\ncooldownMs = 50\n" + live,
            "[detection\n" + live,
            "[detection]\ncooldownMs = \"long\"\n" + live,
            "[detection]\nsensitivty = 0.5\n" + live,
            "[detection]\nfftSize = 1000\n" + live,
            "[detection]\nsensitivity = 0.0\n" + live,
            "[audio]\nbufferSizeMs = 0\n[detection]\n" + live,
        };
        const std::size_t variant = pick(invalid.size() + 1);
        if (variant == invalid.size() && endsBurst && !gone_) {
            edit.how = Change::remove;
            gone_ = true;
            return edit;
        }
        edit.text = header + invalid.at(variant % invalid.size());
        gone_ = gone_ && !endsBurst;
        return edit;
    }

    std::size_t pick(std::size_t choices) {
        return std::uniform_int_distribution<std::size_t>(0, choices - 1)(random_);
    }

private:
    // NOLINTNEXTLINE(cert-msc32-c,cert-msc51-cpp): a fixed seed, so that every run makes the same edits.
    std::mt19937 random_{20261209};
    bool gone_ = false;  // where the last burst ended
};

// Threads that take the record in force again and again and count what they
// saw, until they are stopped (at the latest when this ends): one through
// current(), one through a real-time reader.
class Readers {
public:
    Readers(SettingsWatcher& watcher, const Config& running) {
        threads_.emplace_back([this, &watcher, &running] { read(running, [&watcher] { return watcher.current(); }); });
        threads_.emplace_back([this, &running, reader = watcher.realtimeReader()]() mutable {
            read(running, [&reader] { return &reader.read(); });
        });
    }
    ~Readers() { stop(); }
    Readers(const Readers&) = delete;
    Readers& operator=(const Readers&) = delete;

    void stop() {
        stop_.store(true);
        for (std::thread& thread : threads_) {
            if (thread.joinable()) {
                thread.join();
            }
        }
    }

    std::atomic<long> records{0};
    std::atomic<long> invalid{0};
    std::atomic<long> restartOnlyChanged{0};
    std::atomic<long> environmentLost{0};
    std::atomic<long> fromInvalidEdits{0};

private:
    template <typename Take>
    void read(const Config& running, Take take) {
        while (!stop_.load()) {
            const auto record = take();
            records.fetch_add(1);
            if (!validateAll(*record).empty()) {
                invalid.fetch_add(1);
            }
            if (record->detection.sensitivity != running.detection.sensitivity &&
                fromAnInvalidEdit(record->detection.sensitivity)) {
                fromInvalidEdits.fetch_add(1);
            }
            if (record->detection.minDurationMs != kMinDurationFromEnvironment) {
                environmentLost.fetch_add(1);
            }
            forEachSetting([&](const auto& row) {
                if (row.applies == Applies::atRestart && !sameValue(row.member(*record), row.member(running))) {
                    restartOnlyChanged.fetch_add(1);
                }
            });
        }
    }

    std::atomic<bool> stop_{false};
    std::vector<std::thread> threads_;
};

TEST(WatchFaultTest, TenThousandEditsPublishOnlyGoodSettings) {
    test::WatchFolder folder;
    folder.change(Change::inPlace, "");
    Config running;
    running.detection.minDurationMs = kMinDurationFromEnvironment;
    test::WatchLog log;
    WatchOptions options = log.options();
    options.environment = {"DETECTOR_DETECTION_MIN_DURATION_MS=" + std::to_string(kMinDurationFromEnvironment)};
    SettingsWatcher watcher(folder.file(), running, options);

    Readers readers(watcher, running);

    EditScript script;
    int bursts = 0;
    int invalidEndingBursts = 0;
    float lastSensitivity = 0;
    for (int number = 0; number < kEdits;) {
        const int burst = std::min(static_cast<int>(1 + script.pick(kMaxBurst)), kEdits - number);
        const std::size_t from = log.size();
        Edit edit;
        for (int i = 0; i < burst; ++i, ++number) {
            edit = script.make(number, i == burst - 1);
            folder.change(edit.how, edit.text);
        }
        const bool reported = log.waitFor(from, [&](const test::WatchLog::Event& e) {
            if (edit.valid) {
                return e.applied && e.change.config->detection.sensitivity == edit.sensitivity;
            }
            if (edit.how == Change::remove) {
                return !e.applied && e.rejected.problems.at(0).problem.kind == ProblemKind::file;
            }
            return !e.applied && e.rejected.text == edit.text;
        });
        ASSERT_TRUE(reported) << "edit " << number - 1 << " was not reported: " << edit.text;
        ++bursts;
        invalidEndingBursts += edit.valid ? 0 : 1;
        lastSensitivity = edit.valid ? edit.sensitivity : lastSensitivity;
    }
    readers.stop();
    watcher.stop();

    EXPECT_GT(invalidEndingBursts, 0);
    EXPECT_EQ(watcher.current()->detection.sensitivity, lastSensitivity);
    EXPECT_GT(readers.records.load(), 0);
    EXPECT_EQ(readers.invalid.load(), 0);
    EXPECT_EQ(readers.restartOnlyChanged.load(), 0);
    EXPECT_EQ(readers.environmentLost.load(), 0);
    EXPECT_EQ(readers.fromInvalidEdits.load(), 0);
    // Each burst was reported, by the kind of its last edit.
    const std::vector<test::WatchLog::Event> events = log.events();
    const auto rejected = std::count_if(events.begin(), events.end(), [](const auto& e) { return !e.applied; });
    EXPECT_GE(rejected, invalidEndingBursts);
    EXPECT_GE(std::ssize(events) - rejected, bursts - invalidEndingBursts);
    for (const test::WatchLog::Event& event : events) {
        if (event.applied && event.change.config->detection.sensitivity != running.detection.sensitivity) {
            EXPECT_FALSE(fromAnInvalidEdit(event.change.config->detection.sensitivity));
        }
    }
}

}  // namespace
}  // namespace settings

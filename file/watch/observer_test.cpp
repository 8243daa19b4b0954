// Which texts of a watched file are judged, on a clock the test moves: a
// save in parts is judged once, whole; a file emptied by a writer waits; a
// file rewritten in place with its old size and time is seen.
#include "file/watch/internal/observer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "file/base/texts_test_support.h"

namespace settings {

using namespace settings::file_internal;
namespace {

using Clock = FileObserver::Clock;
using std::chrono::milliseconds;

constexpr milliseconds kSettle(50);
constexpr milliseconds kEmptySettle(1000);

class FileObserverTest : public testing::Test {
protected:
    void write(const std::string& text) const { std::ofstream(path_, std::ios::binary) << text; }

    // The texts judged by polls at each of `offsets` after the start, one poll each.
    std::vector<std::string> pollAt(FileObserver& observer, const std::vector<milliseconds>& offsets) const {
        std::vector<std::string> judged;
        for (const milliseconds offset : offsets) {
            if (const std::optional<WatchedTexts> texts = observer.poll(start_ + offset)) {
                judged.push_back(texts->file->text);
            }
        }
        return judged;
    }

    test::TestFolder folder_;
    std::filesystem::path path_ = folder_ / "settings.toml";
    Clock::time_point start_ = Clock::now();
};

// A writer that pauses within the settle time has its whole save judged, once.
TEST_F(FileObserverTest, JudgesASaveInPartsOnceWhole) {
    write("[detection]\n");
    FileObserver observer({{}, path_}, kSettle, kEmptySettle, start_);
    EXPECT_EQ(pollAt(observer, {kSettle}), std::vector<std::string>{"[detection]\n"});
    write("[detection]\nsensi");
    EXPECT_EQ(pollAt(observer, {milliseconds(100), milliseconds(140)}), std::vector<std::string>{});
    write("[detection]\nsensitivity = 0.5\n");
    EXPECT_EQ(pollAt(observer, {milliseconds(149), milliseconds(198)}), std::vector<std::string>{});
    EXPECT_EQ(pollAt(observer, {milliseconds(199), milliseconds(300)}),
              std::vector<std::string>{"[detection]\nsensitivity = 0.5\n"});
    EXPECT_FALSE(observer.settling());
}

// "generator > settings.toml": the shell empties the file, then the
// generator writes it. The empty file is judged only once it stays empty.
TEST_F(FileObserverTest, AnEmptiedFileWaitsToStayEmpty) {
    write("[detection]\nsensitivity = 0.5\n");
    FileObserver observer({{}, path_}, kSettle, kEmptySettle, start_);
    EXPECT_EQ(pollAt(observer, {kSettle}).size(), 1U);
    write("");
    EXPECT_EQ(pollAt(observer, {milliseconds(100), milliseconds(200), milliseconds(1099)}), std::vector<std::string>{});
    write("[detection]\nsensitivity = 0.25\n");
    EXPECT_EQ(pollAt(observer, {milliseconds(1100), milliseconds(1150)}),
              std::vector<std::string>{"[detection]\nsensitivity = 0.25\n"});
    write("");
    EXPECT_EQ(pollAt(observer, {milliseconds(1200), milliseconds(1250), milliseconds(2199)}),
              std::vector<std::string>{});
    EXPECT_EQ(pollAt(observer, {milliseconds(2200)}), std::vector<std::string>{""});
    // Empty after empty is judged as any change is: nothing was lost.
    write("");
    std::filesystem::remove(path_);
    write("");
    EXPECT_EQ(pollAt(observer, {milliseconds(2300), milliseconds(2350)}), std::vector<std::string>{""});
}

// A rewrite in place that keeps the size and puts back the modification
// time, long after the last change, is a change all the same.
TEST_F(FileObserverTest, SeesARewriteInPlaceThatKeepsSizeAndTime) {
    write("version = 1\n");
    FileObserver observer({{}, path_}, kSettle, kEmptySettle, start_);
    EXPECT_EQ(pollAt(observer, {kSettle}).size(), 1U);
    const auto modified = std::filesystem::last_write_time(path_);
    // Until the file system's clock moves on, a change could keep every time.
    const std::filesystem::path clock = folder_ / "clock";
    do {
        std::ofstream{clock};
    } while (std::filesystem::last_write_time(clock) <= modified);
    write("version = 2\n");
    std::filesystem::last_write_time(path_, modified);
    const milliseconds late = std::chrono::duration_cast<milliseconds>(kTextComparedAfterChange) + milliseconds(1000);
    EXPECT_EQ(pollAt(observer, {late, late + kSettle}), std::vector<std::string>{"version = 2\n"});
}

// Long after the last change, a file renamed over the old one with the same
// size and time (cp -p, rsync -t, tar x) is another file; a rejected text
// saved again is judged again.
TEST_F(FileObserverTest, SeesEveryReplacementWhateverItsSizeAndTimes) {
    write("version = 2\n");
    const auto written = std::filesystem::last_write_time(path_);
    FileObserver observer({{}, path_}, kSettle, kEmptySettle, start_);
    EXPECT_EQ(pollAt(observer, {kSettle}).size(), 1U);
    milliseconds at = std::chrono::duration_cast<milliseconds>(kTextComparedAfterChange);
    for (const std::string text : {"version = 3\n", "version = 3\n", "version = 4\n"}) {
        at += milliseconds(4000);
        std::ofstream(folder_ / "new.toml", std::ios::binary) << text;
        std::filesystem::last_write_time(folder_ / "new.toml", written);
        std::filesystem::rename(folder_ / "new.toml", path_);
        EXPECT_EQ(pollAt(observer, {at, at + kSettle}), std::vector<std::string>{text}) << text;
    }
}

// A layered set alone: a drop-in added long after the last change is seen
// by its folder's status, and judged with the rest of the set.
TEST_F(FileObserverTest, SeesADropInAddedLongAfterTheLastChange) {
    std::filesystem::create_directories(folder_ / "settings.d");
    std::ofstream(folder_ / "settings.d" / "50.toml", std::ios::binary) << "version = 1\n";
    FileObserver observer({{folder_ / "base.toml", folder_ / "settings.d"}, std::nullopt}, kSettle, kEmptySettle,
                          start_);
    ASSERT_EQ(observer.poll(start_ + kSettle)->layers.size(), 1U);
    const milliseconds late = std::chrono::duration_cast<milliseconds>(kTextComparedAfterChange) + milliseconds(1000);
    EXPECT_EQ(observer.poll(start_ + late), std::nullopt);
    std::ofstream(folder_ / "settings.d" / "60.toml", std::ios::binary) << "version = 1\n";
    EXPECT_EQ(observer.poll(start_ + late + kSettle), std::nullopt);
    const std::optional<WatchedTexts> texts = observer.poll(start_ + late + 2 * kSettle);
    ASSERT_TRUE(texts);
    EXPECT_EQ(texts->layers.size(), 2U);
    EXPECT_FALSE(texts->file);
}

}  // namespace
}  // namespace settings

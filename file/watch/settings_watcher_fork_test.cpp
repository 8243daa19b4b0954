// A process forked while a watch runs (POSIX only: Windows has no fork).
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <optional>

#include "file/watch/settings_watcher_test_support.h"
#include "settings/watch.h"

namespace settings {
namespace {

// The child has no watch's thread: its copy of the watcher watches nothing,
// and stopping it or destroying it joins nothing. The child allocates and
// frees nothing, so that it waits on no allocator's lock another thread held at
// the fork (AddressSanitizer's are not released for the child).
int childOf(std::optional<SettingsWatcher>& watcher, bool stopFirst) {
    if (watcher->watching() || watcher->current() == nullptr) {
        return 1;
    }
    if (stopFirst) {
        watcher->stop();
    }
    watcher.reset();
    return 0;
}

TEST(WatchForkTest, AForkedChildHasNoWatch) {
    test::WatchFolder folder;
    folder.change(test::Change::inPlace, "[detection]\nsensitivity = 0.5\n");
    WatchOptions options;
    options.pollInterval = std::chrono::milliseconds(1);
    options.settleTime = std::chrono::milliseconds(1);
    std::optional<SettingsWatcher> older(std::in_place, folder.file(), Config{}, options);
    std::optional<SettingsWatcher> watcher(std::in_place, folder.file(), Config{}, options);
    // Forks while the watch's thread looks at the file, now and then in the middle of a look.
    for (int fork = 0; fork < 40; ++fork) {
        const pid_t child = ::fork();
        ASSERT_NE(child, -1);
        if (child == 0) {
            ::_exit(childOf(watcher, fork % 2 == 0));
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "fork " << fork << ", status " << status;
    }
    EXPECT_TRUE(watcher->watching());
    older.reset();  // not the newest of the process's watches
    EXPECT_TRUE(watcher->watching());
}

}  // namespace
}  // namespace settings

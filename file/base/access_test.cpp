// One look at a file tells what the path leads to and which file it is: a
// file renamed over it is another, whatever its size and times.
#include "file/base/internal/access.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

#include "file/base/internal/path_names.h"
#include "file/base/texts_test_support.h"

namespace settings {

using namespace settings::file_internal;
namespace {

void write(const std::filesystem::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

TEST(FileAccess, LooksAtWhatThePathLeadsTo) {
    const test::TestFolder folder;
    write(folder / "settings.toml", "version = 1\n");
    EXPECT_EQ(lookAtFile(folder / "settings.toml").kind, FileKind::regular);
    EXPECT_EQ(lookAtFile(folder / "settings.toml").size, 12U);
    EXPECT_EQ(lookAtFile(folder.path()).kind, FileKind::directory);
    EXPECT_EQ(lookAtFile(folder / "missing.toml"), FileStatus{});
    EXPECT_EQ(lookAtFile(folder / "settings.toml" / "x").kind, FileKind::missing);
    std::error_code error;
    std::filesystem::create_symlink("loop", folder / "loop", error);
    if (!error) {  // links need an administrator on Windows
        EXPECT_EQ(lookAtFile(folder / "loop").kind, FileKind::unknown);
        std::filesystem::create_symlink("settings.toml", folder / "link");
        EXPECT_EQ(lookAtFile(folder / "link"), lookAtFile(folder / "settings.toml"));
    }
    if (std::filesystem::exists("/dev/null")) {
        EXPECT_EQ(lookAtFile("/dev/null").kind, FileKind::other);
    }
}

TEST(FileAccess, AFileRenamedOverTheOldOneIsAnotherWhateverItsSizeAndTimes) {
    const test::TestFolder folder;
    // A time in whole seconds, which every platform sets exactly.
    const auto written =
        std::chrono::time_point_cast<std::chrono::seconds>(std::filesystem::file_time_type::clock::now());
    write(folder / "settings.toml", "version = 1\n");
    std::filesystem::last_write_time(folder / "settings.toml", written);
    const FileStatus before = lookAtFile(folder / "settings.toml");
    EXPECT_EQ(lookAtFile(folder / "settings.toml"), before);
    write(folder / "new.toml", "version = 2\n");
    std::filesystem::last_write_time(folder / "new.toml", written);
    std::filesystem::rename(folder / "new.toml", folder / "settings.toml");
    const FileStatus after = lookAtFile(folder / "settings.toml");
    EXPECT_EQ(after.size, before.size);
    EXPECT_EQ(after.modified, before.modified);
    EXPECT_NE(after, before);
    EXPECT_NE(after.index, before.index);
}

// Names go to paths and back whole, beyond ASCII too, on every platform.
TEST(FileAccess, NamesInUtf8AreThePathsTheyName) {
    for (const std::string name : {"settings.toml", "r\xC3\xA9glages.toml", "\xF0\x9F\x8E\xA4/x.toml"}) {
        EXPECT_EQ(utf8Name(pathOfUtf8(name)), name);
    }
    EXPECT_EQ(pathOfUtf8("r\xC3\xA9glages.toml"), std::filesystem::path(u8"r\u00E9glages.toml"));
}

}  // namespace
}  // namespace settings

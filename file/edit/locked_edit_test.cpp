// Edits of settings files on disk: the file a link leads to, its permission
// bits, files that are no settings file, what an edit stopped halfway left,
// and another edit under way.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/resource.h>
#endif

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <future>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <variant>

#include "file/base/internal/path_names.h"
#include "file/base/texts_test_support.h"
#include "file/edit/internal/replace.h"
#include "settings/edit.h"

namespace settings {

using namespace settings::file_internal;
namespace {

const std::vector<SettingEdit> kEdit = {SettingEdit::set("detection.sensitivity", "0.8")};

class FileEditTest : public testing::Test {
protected:
    [[nodiscard]] std::filesystem::path write(const std::string& name, const std::string& text) const {
        std::ofstream(folder_ / name, std::ios::binary) << text;
        return folder_ / name;
    }
    static std::string read(const std::filesystem::path& path) {
        std::ostringstream text;
        text << std::ifstream(path, std::ios::binary).rdbuf();
        return text.str();
    }
    // The one problem of `edit`, a file's.
    static std::string fileProblem(const FileEdit& edit) {
        EXPECT_EQ(edit.problems.size(), 1U);
        EXPECT_FALSE(edit.written);
        return edit.problems.empty() || edit.problems.front().problem.kind != ProblemKind::file
                   ? "(none)"
                   : edit.problems.front().problem.message;
    }

    test::TestFolder folder_;
};

TEST_F(FileEditTest, ReplacesTheFileKeepingItsPermissions) {
    const std::filesystem::path path = write("settings.toml", "# mine\n[detection]\nsensitivity = 0.5\n");
    std::filesystem::permissions(path, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write |
                                           std::filesystem::perms::group_read);
    const auto permissions = std::filesystem::status(path).permissions();
    const FileEdit edit = editSettingsFile(path, kEdit);
    EXPECT_TRUE(edit.written);
    EXPECT_EQ(edit.oldText, "# mine\n[detection]\nsensitivity = 0.5\n");
    EXPECT_EQ(read(path), "# mine\n[detection]\nsensitivity = 0.8\n");
    EXPECT_EQ(std::filesystem::status(path).permissions(), permissions);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder_.path()), {}), 1);
}

TEST_F(FileEditTest, WritesNothingWithoutAChangeOrInADryRun) {
    const std::filesystem::path path = write("settings.toml", "[detection]\nsensitivity = 0.8\n");
    const auto written = std::filesystem::last_write_time(path);
    EXPECT_FALSE(editSettingsFile(path, kEdit).written);
    FileEditOptions dryRun;
    dryRun.dryRun = true;
    const FileEdit edit = editSettingsFile(path, {SettingEdit::set("detection.sensitivity", "0.25")}, dryRun);
    EXPECT_FALSE(edit.written);
    EXPECT_EQ(edit.text, "[detection]\nsensitivity = 0.25\n");
    EXPECT_EQ(read(path), "[detection]\nsensitivity = 0.8\n");
    EXPECT_EQ(std::filesystem::last_write_time(path), written);
    const FileEdit invalid = editSettingsFile(path, {SettingEdit::set("detection.fftSize", "1000")});
    EXPECT_FALSE(invalid.written);
    EXPECT_EQ(read(path), "[detection]\nsensitivity = 0.8\n");
}

// A link stays a link: the file it leads to is edited, or made, through it.
TEST_F(FileEditTest, EditsTheFileALinkLeadsTo) {
    std::error_code error;
    std::filesystem::create_symlink("settings.toml", folder_ / "link.toml", error);
    if (error) {
        GTEST_SKIP() << "links need an administrator on Windows";
    }
    EXPECT_EQ(fileProblem(editSettingsFile(folder_ / "link.toml", kEdit)), "no such file");
    FileEditOptions create;
    create.create = true;
    EXPECT_TRUE(editSettingsFile(folder_ / "link.toml", kEdit, create).written);
    EXPECT_TRUE(std::filesystem::is_symlink(folder_ / "link.toml"));
    EXPECT_EQ(read(folder_ / "settings.toml"), "[detection]\nsensitivity = 0.8\n");
    EXPECT_TRUE(editSettingsFile(folder_ / "link.toml", {SettingEdit::unset("detection.sensitivity")}).written);
    EXPECT_TRUE(std::filesystem::is_symlink(folder_ / "link.toml"));
    EXPECT_EQ(read(folder_ / "settings.toml"), "[detection]\n");
    std::filesystem::create_symlink(folder_ / "settings.toml", folder_ / "absolute.toml");
    EXPECT_TRUE(editSettingsFile(folder_ / "absolute.toml", kEdit).written);
    EXPECT_EQ(read(folder_ / "settings.toml"), "[detection]\nsensitivity = 0.8\n");
}

#ifndef _WIN32
// A write that fails (here past a limit on the size of files) leaves the file as it was, and says why.
TEST_F(FileEditTest, AFailedWriteLeavesTheFileAsItWas) {
    const std::filesystem::path path = write("settings.toml", "# short\n");
    rlimit before{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &before), 0);
    const auto onLimit = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = before;
    small.rlim_cur = 16;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const FileEdit edit = editSettingsFile(path, kEdit);
    static_cast<void>(setrlimit(RLIMIT_FSIZE, &before));
    static_cast<void>(std::signal(SIGXFSZ, onLimit));
    EXPECT_EQ(fileProblem(edit), "cannot be written: File too large");
    EXPECT_EQ(read(path), "# short\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder_.path()), {}), 1);
}
#endif

TEST_F(FileEditTest, RefusesWhatIsNoSettingsFile) {
    EXPECT_EQ(fileProblem(editSettingsFile(folder_ / "missing.toml", kEdit)), "no such file");
    const std::filesystem::path file = write("file.toml", "");
    EXPECT_EQ(fileProblem(editSettingsFile(file / "settings.toml", kEdit)), "no such file");
    std::error_code error;
    std::filesystem::create_symlink("loop", folder_ / "loop", error);
    if (!error) {  // a link to itself leads nowhere, as a file or as a folder
        const std::string loop = "cannot be read: Too many levels of symbolic links";
        EXPECT_EQ(fileProblem(editSettingsFile(folder_ / "loop", kEdit)), loop);
        EXPECT_EQ(fileProblem(editSettingsFile(folder_ / "loop" / "settings.toml", kEdit)),
                  "cannot be edited: its folder " + (folder_ / "loop").string() +
                      " cannot be opened: Too many levels of symbolic links");
    }
    EXPECT_EQ(fileProblem(editSettingsFile(folder_.path(), kEdit)), "is a directory, not a settings file");
    const std::filesystem::path large = write("large.toml", std::string(kMaxSettingsFileBytes + 1, '#'));
    EXPECT_EQ(fileProblem(editSettingsFile(large, kEdit)), "is larger than the limit of 1048576 bytes (1 MiB)");
    if (std::filesystem::exists("/dev/null")) {
        EXPECT_EQ(fileProblem(editSettingsFile("/dev/null", kEdit)), "is not a regular file");
    }
}

// What an edit stopped halfway left beside the file goes with the next one.
TEST_F(FileEditTest, ClearsWhatAnEditStoppedHalfwayLeft) {
    const std::filesystem::path path = write("settings.toml", "");
    static_cast<void>(write(leftoverPrefix(path) + "12345", "[detection]\nsensi"));
    static_cast<void>(write("other.toml", ""));
    EXPECT_TRUE(editSettingsFile(path, kEdit).written);
    EXPECT_FALSE(std::filesystem::exists(folder_ / (leftoverPrefix(path) + "12345")));
    EXPECT_TRUE(std::filesystem::exists(folder_ / "other.toml"));
}

// While another edit holds the lock, an edit waits for it, then says it could not.
TEST_F(FileEditTest, WaitsForAnotherEditThenSaysItCouldNot) {
    const std::filesystem::path path = write("settings.toml", "");
    FileEditOptions options;
    options.lockTimeout = std::chrono::milliseconds(50);
    {
        const std::variant<EditLock, std::string> held = EditLock::take(path, std::chrono::seconds(10), {});
        ASSERT_TRUE(std::holds_alternative<EditLock>(held));
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(fileProblem(editSettingsFile(path, kEdit, options)),
                  beingEdited(lockName(path), options.lockTimeout));
        EXPECT_GE(std::chrono::steady_clock::now() - start, options.lockTimeout);
    }
    EXPECT_TRUE(editSettingsFile(path, kEdit, options).written);
    EXPECT_EQ(fileProblem(editSettingsFile(folder_ / "no" / "settings.toml", kEdit, options)), "no such file");
}

// The lock is held from the read to the replacement: an edit that waited
// reads the file as the edit before it left it. Asked now and then whether
// to go on, it may stop, however long it would wait: a timeout beyond an
// hour is an hour, not one that overflows into none.
TEST_F(FileEditTest, ReadsTheFileOnlyOnceItHoldsTheLock) {
    const std::filesystem::path path = write("settings.toml", "");
    std::optional<std::variant<EditLock, std::string>> held(EditLock::take(path, std::chrono::seconds(10), {}));
    ASSERT_TRUE(std::holds_alternative<EditLock>(*held));
    std::promise<void> waiting;
    FileEditOptions options;
    options.lockTimeout = std::chrono::milliseconds::max();
    options.keepWaiting = [&, asked = false]() mutable {
        if (!std::exchange(asked, true)) {
            waiting.set_value();
        }
        return true;
    };
    std::future<FileEdit> edit = std::async(std::launch::async, [&] { return editSettingsFile(path, kEdit, options); });
    for (const std::future<void> asked = waiting.get_future();
         asked.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready;) {
        ASSERT_NE(edit.wait_for(std::chrono::seconds(0)), std::future_status::ready)
            << "the edit did not wait: " << fileProblem(edit.get());
    }
    static_cast<void>(write("settings.toml", "# by the edit before\n"));
    held.reset();
    EXPECT_EQ(edit.get().oldText, "# by the edit before\n");
    EXPECT_EQ(read(path), "# by the edit before\n\n[detection]\nsensitivity = 0.8\n");

    held.emplace(EditLock::take(path, std::chrono::seconds(10), {}));
    int asked = 0;
    options.keepWaiting = [&] { return ++asked < 3; };
    EXPECT_EQ(fileProblem(editSettingsFile(path, kEdit, options)), kStoppedWaiting);
    EXPECT_EQ(asked, 3);
}

// A file made anew holds the settings it was made with, defaults too, so
// that it is there for a watch; a name as long as the system allows takes
// its edit's new file beside it.
TEST_F(FileEditTest, MakesAFileWithTheSettingsGivenAndEditsLongNames) {
    FileEditOptions create;
    create.create = true;
    const FileEdit made =
        editSettingsFile(folder_ / "new.toml", {SettingEdit::set("detection.sensitivity", "0.7")}, create);
    EXPECT_TRUE(made.written);
    EXPECT_TRUE(made.changes.empty());
    EXPECT_EQ(read(folder_ / "new.toml"), "[detection]\nsensitivity = 0.7\n");
    const std::filesystem::path longName = write(std::string(240, 'n') + ".toml", "");
    EXPECT_TRUE(editSettingsFile(longName, kEdit).written);
    EXPECT_EQ(read(longName), "[detection]\nsensitivity = 0.8\n");
    EXPECT_EQ(leftoverPrefix(longName), "." + std::string(kLongestNamePart, 'n') + ".edit-");
    // Cut before a character that the limit would split.
    const std::filesystem::path accented = std::string(kLongestNamePart - 1, 'n') + "\xC3\xA9.toml";
    EXPECT_EQ(leftoverPrefix(accented), "." + std::string(kLongestNamePart - 1, 'n') + ".edit-");
}

// One file of a layered set: the set judged as the edit would leave it, the
// change a later layer or the environment overrides told with its origin.
TEST_F(FileEditTest, InALayeredSetJudgesTheWholeSet) {
    std::filesystem::create_directories(folder_ / "etc.d");
    const std::filesystem::path base = write("base.toml", "[detection]\nsensitivity = 0.5\n");
    static_cast<void>(write("etc.d/60.toml", "[detection]\nsensitivity = 0.6\n"));
    FileEditOptions options;
    options.layers = {base, folder_ / "etc.d"};
    options.environment = {"DETECTOR_DETECTION_COOLDOWN_MS=900"};
    const std::vector<SettingEdit> edits = {SettingEdit::set("detection.sensitivity", "0.8"),
                                            SettingEdit::set("detection.cooldownMs", "500"),
                                            SettingEdit::set("detection.minDurationMs", "200")};
    const FileEdit edit = editSettingsFile(base, edits, options);
    EXPECT_TRUE(edit.written);
    EXPECT_EQ(
        edit.overridden,
        (std::vector<OverriddenChange>{
            {"detection.sensitivity", {{SourceKind::file, utf8Name(folder_ / "etc.d" / "60.toml")}, 2, 15, "0.6"}},
            {"detection.cooldownMs", {{SourceKind::environment, "DETECTOR_DETECTION_COOLDOWN_MS"}, 0, 0, "900"}}}));
    // A value of its own that is wrong is told as without the set; another layer's error writes nothing.
    EXPECT_EQ(editSettingsFile(base, {SettingEdit::set("detection.sensitivity", "2")}, options).problems.size(), 1U);
    const std::string before = read(base);
    static_cast<void>(write("etc.d/70.toml", "version = 2\n"));
    const FileEdit refused = editSettingsFile(base, {SettingEdit::set("detection.sensitivity", "0.9")}, options);
    EXPECT_FALSE(refused.written);
    EXPECT_TRUE(refused.changes.empty());
    ASSERT_EQ(refused.problems.size(), 1U);
    EXPECT_EQ(refused.problems.front().problem.message, "must equal 1; got 2");
    EXPECT_EQ(read(base), before);
    EXPECT_EQ(fileProblem(editSettingsFile(folder_ / "etc.d" / "notes.txt", kEdit, options)),
              "is neither a file of the layered set nor a drop-in (NAME.toml) of one of its folders");
}

}  // namespace
}  // namespace settings

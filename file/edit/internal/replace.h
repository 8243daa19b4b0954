// Replacing a settings file so that no fault leaves it torn, no two edits
// undo each other, and no edit changes who may read or write it. Internal to
// the settings-file library; each platform has its source
// (replace_posix.cpp, replace_windows.cpp).
#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace settings::file_internal {

// The lock of the edits of the files of one folder. The system releases it
// when the process ends, however it ends, so that none is left to block the
// edits after it: POSIX locks the folder itself (flock); Windows holds a file
// beside the settings file open alone, which the system deletes once closed.
class EditLock {
public:
    // Waits at most `timeout` for the lock of the edits of `file`, asking
    // `keepWaiting` (if any) now and then whether to go on; or the message of
    // the `file` problem of why it has none: another edit held it all that
    // time, the folder is missing or may not be read, or the system refused
    // the lock (with its reason).
    static std::variant<EditLock, std::string> take(const std::filesystem::path& file,
                                                    std::chrono::milliseconds timeout,
                                                    const std::function<bool()>& keepWaiting);

    EditLock(EditLock&& other) noexcept;
    EditLock& operator=(EditLock&& other) = delete;
    EditLock(const EditLock&) = delete;
    EditLock& operator=(const EditLock&) = delete;
    ~EditLock();

private:
    struct Held;
    explicit EditLock(std::unique_ptr<Held> held);
    std::unique_ptr<Held> held_;
};

// The lock of the edits of `file`, as messages name it: "the lock of its
// folder /srv/detector" (POSIX), "the lock C:\detector\settings.toml.lock".
std::string lockName(const std::filesystem::path& file);

// Said of a file whose lock another edit held for the whole timeout, and of
// one whose edit was asked to stop waiting.
std::string beingEdited(std::string_view lock, std::chrono::milliseconds waited);
inline constexpr std::string_view kStoppedWaiting = "was not edited: the wait for another edit of it was stopped";

// How EditLock::take waits for another edit of `file` to end, on every system:
// it tries again every millisecond, asks `keepWaiting` (if any) every 10 ms
// whether to go on, and gives up after `timeout`.
class LockWait {
public:
    LockWait(const std::filesystem::path& file, std::chrono::milliseconds timeout,
             const std::function<bool()>& keepWaiting);
    // After a try that another edit refused: why to stop waiting, once it is
    // time to; otherwise it waits a millisecond before the next try.
    std::optional<std::string> refused();

private:
    const std::filesystem::path& file_;
    std::chrono::milliseconds timeout_;
    const std::function<bool()>& keepWaiting_;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point asked_ = start_;
};

// Replaces `file` (or makes it, if it is missing) with a new file of `text`:
// a file beside it, with the old one's owner, group, permission bits and
// extended attributes (its access control list among them), flushed to disk,
// then put in its place in one step, and the folder flushed. A file that the
// process may not write, that has other names (hard links) or whose owner,
// group, bits or attributes the new one could not take is not replaced. On
// failure the file is as it was, and the message says why, as the `file`
// problem says it: "is read-only", "cannot be written: No space left on device".
std::optional<std::string> replaceFile(const std::filesystem::path& file, std::string_view text);

// Removes what an edit of `file` that was stopped halfway left beside it.
// Only an edit that holds the lock may: no other edit is under way.
void removeLeftovers(const std::filesystem::path& file);

// The name of `file` in UTF-8, cut to its first kLongestNamePart bytes (whole
// characters), so that a name made of it fits where the file's own does.
std::string boundedName(const std::filesystem::path& file);
inline constexpr std::size_t kLongestNamePart = 200;

// The name of an edit's new file beside `file` starts with this: "." and
// boundedName(file), then ".edit-".
std::string leftoverPrefix(const std::filesystem::path& file);

// Texts that both platforms' messages share.
inline constexpr std::string_view kCannotBeWritten = "cannot be written: ";
inline constexpr std::string_view kReadOnly = "is read-only";
inline constexpr std::string_view kNotYours = "may not be written by you";

// "has 2 hard links, ..." of a file of `links` names.
std::string hardLinksRefusal(std::uint64_t links);

// The folder of `file`, "." for a bare name.
std::filesystem::path folderOf(const std::filesystem::path& file);

// The path as messages name it: in UTF-8, absolute where the system can tell.
std::string absoluteName(const std::filesystem::path& path);

}  // namespace settings::file_internal

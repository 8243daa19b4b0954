// Replacing a settings file so that no fault leaves it torn, and no two
// edits undo each other. Internal to the settings-file library; each platform
// has its source (file_replace_posix.cpp, file_replace_windows.cpp).
#pragma once

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace settings::file_internal {

// Said of a file whose lock another edit held for the whole timeout.
inline constexpr std::string_view kBeingEdited = "is being edited by another process; try again";

// The lock of the edits of the files of one folder. The system releases it
// when the process ends, however it ends, so that none is left to block the
// edits after it: POSIX locks the folder itself (flock); Windows holds a file
// beside the settings file open alone, which the system deletes once closed.
class EditLock {
public:
    // Waits at most `timeout` for the lock of the edits of `file`; or why it
    // has none: kBeingEdited, when another edit held it all that time;
    // kNoSuchFile or kCannotRead, of a folder that is missing or closed to it.
    static std::variant<EditLock, std::string_view> take(const std::filesystem::path& file,
                                                         std::chrono::milliseconds timeout);

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

// Replaces `file` (or makes it, if it is missing) with a new file of `text`:
// a file beside it, with the old one's permission bits (and owner and group,
// where the process may set them), flushed to disk, then put in its place in
// one step, and the folder flushed. On failure the file is as it was, and the
// reason is the system's: "No space left on device".
std::optional<std::string> replaceFile(const std::filesystem::path& file, std::string_view text);

// Removes what an edit of `file` that was stopped halfway left beside it.
// Only an edit that holds the lock may: no other edit is under way.
void removeLeftovers(const std::filesystem::path& file);

// The name of an edit's new file beside `file` starts with this.
std::string leftoverPrefix(const std::filesystem::path& file);

}  // namespace settings::file_internal

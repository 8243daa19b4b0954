// How the library reaches a settings file on each platform: one look at what
// the path leads to, and opening it for reading without ever waiting on a
// FIFO or a device. Internal to the settings-file library; each platform has
// its source (access_posix.cpp, access_windows.cpp).
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <variant>

#include "settings/opening.h"

namespace settings::file_internal {

// What a path leads to, through every link.
enum class FileKind { missing, regular, directory, other, unknown };  // unknown: the system would not say

// One look at a file. Two looks are equal when nothing about the file changed
// that a save could change: a file renamed over it or written anew is another
// file (device and index) or has a new change time, whatever its size and
// modification time.
struct FileStatus {
    FileKind kind = FileKind::missing;
    std::uint64_t device = 0;  // POSIX: st_dev and st_ino; Windows: the volume's serial number and the file index
    std::uint64_t index = 0;
    std::uint64_t size = 0;
    std::int64_t modified = 0;      // times in the platform's units, only compared
    std::int64_t changed = 0;       // POSIX: the status change time; Windows: ChangeTime
    std::uint32_t permissions = 0;  // POSIX: st_mode; Windows: the file's attributes

    friend bool operator==(const FileStatus&, const FileStatus&) = default;
};

FileStatus lookAtFile(const std::filesystem::path& path);

struct FileCloser {
    void operator()(std::FILE* file) const { static_cast<void>(std::fclose(file)); }
};
using OpenFile = std::unique_ptr<std::FILE, FileCloser>;

// Why a file was not opened; the texts are the `file` problems' messages.
inline constexpr std::string_view kIsDirectory = "is a directory, not a settings file";
inline constexpr std::string_view kNotRegularFile = "is not a regular file";
inline constexpr std::string_view kCannotRead = "cannot be read";

// kCannotRead, then the system's reason for `error` (an errno): "cannot be
// read: Too many levels of symbolic links".
std::string cannotRead(int error);

// The file opened for reading in binary mode, or why it was not.
std::variant<OpenFile, std::string> openSettingsFile(const std::filesystem::path& path, Opening opening);

}  // namespace settings::file_internal

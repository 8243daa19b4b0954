// How a settings file is opened and how much of it is read: what every part
// of the library that reaches a file shares.
#pragma once

#include <cstdint>
#include <string_view>

namespace settings {

// Which files a read takes: any that opens, a FIFO too (a command reading
// what a shell made with `<(...)`, which waits for its writer), or only
// regular files, for a reader that must never wait (a watch, an edit, a
// library called by a script), which opens without blocking and judges the
// type of what it opened: anything else is the `file` problem "is not a
// regular file".
enum class Opening { anyFile, regularOnly };

inline constexpr std::uintmax_t kMaxSettingsFileBytes = 1'048'576;  // 1 MiB

// The `file` problem of a file that is missing: "no such file".
inline constexpr std::string_view kNoSuchFile = "no such file";

}  // namespace settings

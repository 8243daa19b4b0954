// Paths are bytes, as the system takes them.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "file/base/internal/access.h"

namespace settings::file_internal {
namespace {

constexpr std::int64_t nanoseconds(const timespec& time) {
    constexpr std::int64_t kPerSecond = 1'000'000'000;
    return static_cast<std::int64_t>(time.tv_sec) * kPerSecond + static_cast<std::int64_t>(time.tv_nsec);
}

}  // namespace

FileStatus lookAtFile(const std::filesystem::path& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        return {errno == ENOENT || errno == ENOTDIR ? FileKind::missing : FileKind::unknown};
    }
    const FileKind kind = S_ISREG(status.st_mode)   ? FileKind::regular
                          : S_ISDIR(status.st_mode) ? FileKind::directory
                                                    : FileKind::other;
    return {kind,
            static_cast<std::uint64_t>(status.st_dev),
            static_cast<std::uint64_t>(status.st_ino),
            static_cast<std::uint64_t>(status.st_size),
            nanoseconds(status.st_mtim),
            nanoseconds(status.st_ctim),
            static_cast<std::uint32_t>(status.st_mode)};
}

std::variant<OpenFile, std::string> openSettingsFile(const std::filesystem::path& path, Opening opening) {
    // Opening a FIFO waits for a writer, unless it is opened without blocking;
    // a regular file reads the same either way. A signal that interrupts the
    // wait for a writer ends it, so that Ctrl-C does; one that interrupts an
    // open that never waits is no reason to fail.
    const int blocking = opening == Opening::regularOnly ? O_NONBLOCK : 0;
    int descriptor = -1;
    do {
        descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | blocking);
    } while (descriptor < 0 && errno == EINTR && opening == Opening::regularOnly);  // GCOVR_EXCL_BR_LINE: a signal
    if (descriptor < 0 && (errno == ENOENT || errno == ENOTDIR)) {
        return std::string(kNoSuchFile);
    }
    if (descriptor < 0) {
        return cannotRead(errno);
    }
    // The type of what was opened, which may not be what the path led to a
    // moment before. Should fstat fail, the mode stays 0: no regular file.
    struct stat status {};
    static_cast<void>(::fstat(descriptor, &status));
    std::string_view refusal = S_ISDIR(status.st_mode)                                       ? kIsDirectory
                               : opening == Opening::regularOnly && !S_ISREG(status.st_mode) ? kNotRegularFile
                                                                                             : kCannotRead;
    if (refusal == kCannotRead) {
        if (OpenFile file{::fdopen(descriptor, "rb")}) {  // GCOVR_EXCL_BR_LINE: fails only when memory runs out
            return file;
        }
    }
    static_cast<void>(::close(descriptor));
    return std::string(refusal);
}

}  // namespace settings::file_internal

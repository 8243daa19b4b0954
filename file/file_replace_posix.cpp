// POSIX: the folder is the lock (flock, which the system releases with the
// process), the new file is renamed over the old one, and fsync makes both
// last.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <random>
#include <thread>
#include <utility>

#include "file/internal/file_access.h"
#include "file/internal/file_replace.h"

namespace settings::file_internal {
namespace {

// Closes a descriptor, once.
class Descriptor {
public:
    explicit Descriptor(int descriptor) : descriptor_(descriptor) {}
    Descriptor(Descriptor&& other) noexcept : descriptor_(std::exchange(other.descriptor_, -1)) {}
    Descriptor& operator=(Descriptor&&) = delete;
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() {
        if (descriptor_ >= 0) {
            static_cast<void>(::close(descriptor_));
        }
    }

    [[nodiscard]] int get() const { return descriptor_; }
    // Closes it now; false when the system says the writes before failed.
    bool close() { return ::close(std::exchange(descriptor_, -1)) == 0; }

private:
    int descriptor_;
};

std::filesystem::path folderOf(const std::filesystem::path& file) {
    return file.has_parent_path() ? file.parent_path() : std::filesystem::path(".");
}

Descriptor openFolder(const std::filesystem::path& file) {
    return Descriptor(::open(folderOf(file).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

std::optional<std::string> reason() { return std::string(std::strerror(errno)); }

// Writes all of `text`, however the system splits it.
bool writeAll(int descriptor, std::string_view text) {
    while (!text.empty()) {
        const ssize_t written = ::write(descriptor, text.data(), text.size());
        if (written < 0 && errno != EINTR) {  // GCOVR_EXCL_BR_LINE: a signal that stops a write halfway
            return false;
        }
        text.remove_prefix(written < 0 ? 0 : static_cast<std::size_t>(written));
    }
    return true;
}

}  // namespace

struct EditLock::Held {
    Descriptor folder;
};

EditLock::EditLock(std::unique_ptr<Held> held) : held_(std::move(held)) {}
EditLock::EditLock(EditLock&&) noexcept = default;
EditLock::~EditLock() = default;  // closing the folder releases the lock

std::variant<EditLock, std::string_view> EditLock::take(const std::filesystem::path& file,
                                                        std::chrono::milliseconds timeout) {
    Descriptor folder = openFolder(file);
    if (folder.get() < 0) {
        return errno == ENOENT || errno == ENOTDIR ? kNoSuchFile : kCannotRead;
    }
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (::flock(folder.get(), LOCK_EX | LOCK_NB) != 0) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return kBeingEdited;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return EditLock(std::make_unique<Held>(Held{std::move(folder)}));
}

std::optional<std::string> replaceFile(const std::filesystem::path& file, std::string_view text) {
    // A file made anew gets what the umask leaves; one that replaces another,
    // readable by its owner alone until it has the old one's bits.
    struct stat old {};
    const bool exists = ::stat(file.c_str(), &old) == 0;
    std::random_device random;
    const std::filesystem::path beside = folderOf(file) / (leftoverPrefix(file) + std::to_string(random()));
    Descriptor out(::open(beside.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, exists ? 0600 : 0666));
    // GCOVR_EXCL_START: a folder closed to writing, which the end-to-end tests reach as another user, whose
    // process cannot write its coverage
    if (out.get() < 0) {
        return reason();
    }
    // GCOVR_EXCL_STOP
    if (exists) {
        // The owner and group may be set only by a privileged process; the bits always.
        static_cast<void>(::fchown(out.get(), old.st_uid, old.st_gid));
    }
    // GCOVR_EXCL_BR_START: of these, only the writing fails in the tests; the system's flushing, closing and
    // renaming of a file it just wrote do not
    const bool done = writeAll(out.get(), text) && (!exists || ::fchmod(out.get(), old.st_mode & 07777) == 0) &&
                      ::fsync(out.get()) == 0 && out.close() && ::rename(beside.c_str(), file.c_str()) == 0;
    // GCOVR_EXCL_BR_STOP
    if (!done) {
        std::optional<std::string> failure = reason();
        static_cast<void>(::unlink(beside.c_str()));
        return failure;
    }
    // The rename lasts once the folder is on disk too.
    const Descriptor folder = openFolder(file);
    static_cast<void>(::fsync(folder.get()));
    return std::nullopt;
}

}  // namespace settings::file_internal

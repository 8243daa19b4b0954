// POSIX: the folder is the lock (flock, which the system releases with the
// process), the new file takes the old one's owner, group, bits and extended
// attributes, and is renamed over the old one; fsync makes both last.
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <random>
#include <system_error>
#include <utility>
#include <vector>

#include "file/base/internal/access.h"
#include "file/edit/internal/replace.h"
#include "settings/message_text.h"

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

Descriptor openFolder(const std::filesystem::path& file) {
    return Descriptor(::open(folderOf(file).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

std::string reason(int error) { return std::generic_category().message(error); }

std::string cannotBeWritten(int error) { return concatenate({kCannotBeWritten, reason(error)}); }

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

// A user's or a group's name, or its number where the system has none.
std::string userName(uid_t user) {
    std::array<char, 4096> buffer{};
    passwd entry{};
    passwd* found = nullptr;
    // GCOVR_EXCL_BR_START: the lookup itself fails only where the system cannot read its users and groups
    if (::getpwuid_r(user, &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr) {
        return entry.pw_name;
    }
    // GCOVR_EXCL_BR_STOP
    return std::to_string(user);
}

std::string groupName(gid_t group) {
    std::array<char, 4096> buffer{};
    struct group entry {};
    struct group* found = nullptr;
    // GCOVR_EXCL_BR_START: the lookup itself fails only where the system cannot read its users and groups
    if (::getgrgid_r(group, &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr) {
        return entry.gr_name;
    }
    // GCOVR_EXCL_BR_STOP
    return std::to_string(group);
}

// Whether the process may write the existing file `file`, as the system
// would judge `echo >> file` (permission bits, access control lists, root's
// powers, a read-only mount), without opening it: an open for writing is an
// event that others' watches may act on. Why not, if it may not.
std::optional<std::string> mayNotWrite(const std::filesystem::path& file, const struct stat& status) {
    if (::faccessat(AT_FDCWD, file.c_str(), W_OK, AT_EACCESS) == 0) {
        return std::nullopt;
    }
    if (errno != EACCES) {
        return cannotBeWritten(errno);
    }
    return std::string((status.st_mode & 0222U) == 0 ? kReadOnly : kNotYours);
}

// The names of a file's extended attributes: none where the file system has
// none; nothing (errno telling why) where the system refuses to list them,
// which the edit must not take for a file without an access control list.
std::optional<std::vector<std::string>> attributeNames(int descriptor) {
    std::vector<char> names;
    for (;;) {
        const ssize_t size = ::flistxattr(descriptor, nullptr, 0);
        if (size < 0 && errno != ENOTSUP) {
            return std::nullopt;
        }
        if (size <= 0) {
            return std::vector<std::string>{};
        }
        names.resize(static_cast<std::size_t>(size));
        const ssize_t listed = ::flistxattr(descriptor, names.data(), names.size());
        if (listed >= 0) {  // GCOVR_EXCL_BR_LINE: refused only for attributes added between the two calls
            names.resize(static_cast<std::size_t>(listed));
            break;
        }
        // GCOVR_EXCL_START: a listing refused only the second time, but for attributes added meanwhile
        if (errno != ERANGE) {
            return std::nullopt;
        }
        // GCOVR_EXCL_STOP
    }
    // Each name ends with a null character.
    std::vector<std::string> split;
    for (auto start = names.begin(); start != names.end();) {
        const auto end = std::find(start, names.end(), '\0');
        split.emplace_back(start, end);
        start = end == names.end() ? end : end + 1;  // GCOVR_EXCL_BR_LINE: the system ends every name
    }
    return split;
}

// The value of the attribute `name`; none when it cannot be read.
std::optional<std::string> attributeValue(int descriptor, const std::string& name) {
    std::string value;
    for (;;) {
        const ssize_t size = ::fgetxattr(descriptor, name.c_str(), nullptr, 0);
        if (size < 0) {
            return std::nullopt;
        }
        value.resize(static_cast<std::size_t>(size));
        const ssize_t read = ::fgetxattr(descriptor, name.c_str(), value.data(), value.size());
        if (read >= 0) {  // GCOVR_EXCL_BR_LINE: refused only for an attribute grown between the two calls
            value.resize(static_cast<std::size_t>(read));
            return value;
        }
        // GCOVR_EXCL_START: a read refused only the second time, but for an attribute grown meanwhile
        if (errno != ERANGE) {
            return std::nullopt;
        }
        // GCOVR_EXCL_STOP
    }
}

std::string attributeNotKept(const std::string& name, int error) {
    return concatenate({"cannot be replaced keeping its extended attribute ", name, ": ", reason(error)});
}

// Gives `to` the extended attributes of `from`, and only those: a file's
// access control list is one of them (system.posix_acl_access), which also
// sets the group's permission bits to its mask, as the old file has them.
std::optional<std::string> copyAttributes(int from, int to) {
    const std::optional<std::vector<std::string>> kept = attributeNames(from);
    const std::optional<std::vector<std::string>> inherited =  // such as the folder's default ACL
        kept ? attributeNames(to) : std::nullopt;
    if (!kept || !inherited) {
        return concatenate({"cannot be replaced keeping its extended attributes: ", reason(errno)});
    }
    for (const std::string& name : *inherited) {
        if (std::find(kept->begin(), kept->end(), name) == kept->end() && ::fremovexattr(to, name.c_str()) != 0) {
            return attributeNotKept(name, errno);
        }
    }
    for (const std::string& name : *kept) {
        const std::optional<std::string> value = attributeValue(from, name);
        if (!value) {
            return attributeNotKept(name, errno);
        }
        // GCOVR_EXCL_BR_START: a new file holds an old one's attribute only where it inherits an equal ACL
        if (attributeValue(to, name) != value && ::fsetxattr(to, name.c_str(), value->data(), value->size(), 0) != 0) {
            return attributeNotKept(name, errno);
        }
        // GCOVR_EXCL_BR_STOP
    }
    return std::nullopt;
}

// Gives the new file `out` the owner, group and bits of the old one, `old`;
// why not, where the process may not. A process that is not privileged can
// give a file it owns only a group it is a member of, and no other owner.
std::optional<std::string> keepOwnerAndMode(int out, const struct stat& old) {
    static_cast<void>(::fchown(out, old.st_uid, old.st_gid));  // what it could not do is told below
    struct stat now {};
    if (::fstat(out, &now) != 0) {      // GCOVR_EXCL_BR_LINE: fstat of a file just made
        return cannotBeWritten(errno);  // GCOVR_EXCL_LINE
    }
    if (now.st_uid != old.st_uid) {
        const std::string owner = userName(old.st_uid);
        return concatenate({"cannot be replaced keeping its owner ", owner, " and its group ", groupName(old.st_gid),
                            ": edit it as ", owner, " or as root"});
    }
    if (now.st_gid != old.st_gid) {
        const std::string group = groupName(old.st_gid);
        return concatenate({"cannot be replaced keeping its group ", group,
                            ", which you are not a member of: edit it as a member of ", group, " or as root"});
    }
    // After the owner, which clears the set-user and set-group bits.
    if (::fchmod(out, old.st_mode & 07777U) != 0) {  // GCOVR_EXCL_BR_LINE: the owner may set a file's bits
        return cannotBeWritten(errno);               // GCOVR_EXCL_LINE
    }
    return std::nullopt;
}

// Whether `out` now has every permission bit of `old`; an access control list
// set afterwards sets the group's bits, which must come out the same.
std::optional<std::string> modeKept(int out, const struct stat& old) {
    struct stat now {};
    if (::fstat(out, &now) != 0 || (now.st_mode & 07777U) != (old.st_mode & 07777U)) {  // GCOVR_EXCL_BR_LINE: fstat
        std::array<char, 8> octal{'0'};
        const char* const end =
            std::to_chars(octal.data() + 1, octal.data() + octal.size(), old.st_mode & 07777U, 8).ptr;
        return concatenate({"cannot be replaced keeping its permission bits ", std::string_view(octal.data(), end),
                            ": edit it as root"});
    }
    return std::nullopt;
}

}  // namespace

std::string lockName(const std::filesystem::path& file) {
    return concatenate({"the lock of its folder ", absoluteName(folderOf(file))});
}

struct EditLock::Held {
    Descriptor folder;
};

EditLock::EditLock(std::unique_ptr<Held> held) : held_(std::move(held)) {}
EditLock::EditLock(EditLock&&) noexcept = default;
EditLock::~EditLock() = default;  // closing the folder releases the lock

std::variant<EditLock, std::string> EditLock::take(const std::filesystem::path& file, std::chrono::milliseconds timeout,
                                                   const std::function<bool()>& keepWaiting) {
    Descriptor folder = openFolder(file);
    if (folder.get() < 0) {
        if (errno == ENOENT || errno == ENOTDIR) {
            return std::string(kNoSuchFile);
        }
        if (errno == EACCES) {
            return concatenate({"cannot be edited: its folder ", absoluteName(folderOf(file)),
                                " may not be read by you, and an edit locks the folder so that no two undo each "
                                "other"});
        }
        return concatenate(
            {"cannot be edited: its folder ", absoluteName(folderOf(file)), " cannot be opened: ", reason(errno)});
    }
    LockWait wait(file, timeout, keepWaiting);
    while (::flock(folder.get(), LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK && errno != EINTR) {  // GCOVR_EXCL_BR_LINE: EINTR, a signal's handler run
            // NFS, say, which locks no folder: waiting would not help.
            return concatenate({"cannot be edited: the system refused the lock of its folder ",
                                absoluteName(folderOf(file)), " against other edits: ", reason(errno)});
        }
        if (std::optional<std::string> refusal = wait.refused()) {
            return *std::move(refusal);
        }
    }
    return EditLock(std::make_unique<Held>(Held{std::move(folder)}));
}

std::optional<std::string> replaceFile(const std::filesystem::path& file, std::string_view text) {
    struct stat old {};
    const bool exists = ::stat(file.c_str(), &old) == 0;
    if (exists) {
        if (old.st_nlink > 1) {
            return hardLinksRefusal(old.st_nlink);
        }
        if (std::optional<std::string> refusal = mayNotWrite(file, old)) {
            return refusal;
        }
    }
    // A file made anew gets what the umask leaves; one that replaces another,
    // readable by its owner alone until it has the old one's owner and bits.
    std::random_device random;
    const std::filesystem::path beside = folderOf(file) / (leftoverPrefix(file) + std::to_string(random()));
    Descriptor out(::open(beside.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, exists ? 0600 : 0666));
    // GCOVR_EXCL_START: a folder closed to writing, which the end-to-end tests reach as another user
    if (out.get() < 0) {
        if (errno == EACCES) {
            return concatenate({kCannotBeWritten, "its folder ", absoluteName(folderOf(file)),
                                " may not be written by you (", reason(EACCES),
                                "), and an edit writes the new text beside the file"});
        }
        return cannotBeWritten(errno);
    }
    // GCOVR_EXCL_STOP
    std::optional<std::string> refusal;
    if (exists) {
        const Descriptor before(::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
        refusal = keepOwnerAndMode(out.get(), old);
        if (!refusal && before.get() >= 0) {  // GCOVR_EXCL_BR_LINE: the file was read just before
            refusal = copyAttributes(before.get(), out.get());
        }
        if (!refusal) {
            refusal = modeKept(out.get(), old);
        }
    }
    // GCOVR_EXCL_BR_START: of these, only the writing fails in the tests; the system's flushing, closing and
    // renaming of a file it just wrote do not
    if (!refusal && !(writeAll(out.get(), text) && ::fsync(out.get()) == 0 && out.close())) {
        refusal = cannotBeWritten(errno);
    }
    // GCOVR_EXCL_BR_STOP
    if (!refusal && ::rename(beside.c_str(), file.c_str()) != 0) {
        if (errno == EBUSY) {
            refusal =
                "cannot be replaced, as it is mounted on its own (a single file mounted, as a container's -v "
                "FILE:FILE or Kubernetes' subPath mounts it): edit the file it is mounted from, or mount its "
                "folder rather than the file";
        } else {
            refusal = cannotBeWritten(errno);
        }
    }
    if (refusal) {
        static_cast<void>(::unlink(beside.c_str()));
        return refusal;
    }
    // The rename lasts once the folder is on disk too.
    const Descriptor folder = openFolder(file);
    static_cast<void>(::fsync(folder.get()));
    return std::nullopt;
}

}  // namespace settings::file_internal

// Windows: the lock is a file beside the settings file that one process at a
// time holds open, which the system deletes once it is closed, however the
// process ends. The new file takes the old one's attributes and access rights
// and is renamed over it (MoveFileExW), which is one step on NTFS and under
// Wine: ReplaceFileW, which would carry them over itself, takes several under
// Wine, between which a killed process leaves no file at all. A replacement is
// tried again while another process (a watch, an editor, a virus scanner) has
// the file open.
#include <windows.h>
// After windows.h, which it needs.
#include <aclapi.h>

#include <random>
#include <string>
#include <thread>

#include "file/base/internal/access.h"
#include "file/base/internal/path_names.h"
#include "file/edit/internal/replace.h"
#include "settings/message_text.h"

namespace settings::file_internal {
namespace {

// How long a replacement is tried again while the file is open elsewhere.
constexpr std::chrono::seconds kReplaceRetries(5);

std::string reason(DWORD error) {
    wchar_t* text = nullptr;
    const DWORD length =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string utf8;
    if (length > 0) {
        const int size = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
        utf8.resize(static_cast<std::size_t>(size));
        static_cast<void>(
            WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), utf8.data(), size, nullptr, nullptr));
        LocalFree(text);
    }
    while (!utf8.empty() && (utf8.back() == '\n' || utf8.back() == '\r' || utf8.back() == '.' || utf8.back() == ' ')) {
        utf8.pop_back();
    }
    return utf8.empty() ? "error " + std::to_string(error) : utf8;
}

bool busy(DWORD error) {
    return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED || error == ERROR_LOCK_VIOLATION;
}

// Whether the process may write the existing `file`, and why not: opened for
// writing, which on Windows changes nothing of it, sharing it with everyone.
// A file that has other names (hard links) would lose them.
std::optional<std::string> mayNotWrite(const std::filesystem::path& file) {
    const HANDLE opened =
        CreateFileW(file.c_str(), FILE_WRITE_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (opened == INVALID_HANDLE_VALUE) {
        return GetLastError() == ERROR_ACCESS_DENIED ? std::optional(std::string(kNotYours)) : std::nullopt;
    }
    BY_HANDLE_FILE_INFORMATION information{};
    const bool linked = GetFileInformationByHandle(opened, &information) != 0 && information.nNumberOfLinks > 1;
    static_cast<void>(CloseHandle(opened));
    return linked ? std::optional(hardLinksRefusal(information.nNumberOfLinks)) : std::nullopt;
}

// The attributes and access rights of `from` given to `to`.
void carryOver(const std::filesystem::path& from, const std::filesystem::path& to) {
    constexpr DWORD kCarried =
        FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    const DWORD attributes = GetFileAttributesW(from.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & kCarried) != 0) {
        static_cast<void>(SetFileAttributesW(to.c_str(), attributes & kCarried));
    }
    PACL access = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoW(from.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &access,
                              nullptr, &descriptor) == ERROR_SUCCESS) {
        std::wstring name = to.wstring();
        static_cast<void>(SetNamedSecurityInfoW(name.data(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                                nullptr, access, nullptr));
        LocalFree(descriptor);
    }
}

// Beside the file, named after it.
std::filesystem::path lockFile(const std::filesystem::path& file) {
    const std::string name = concatenate({boundedName(file), ".lock"});
    return folderOf(file) / pathOfUtf8(name);
}

}  // namespace

std::string lockName(const std::filesystem::path& file) {
    return concatenate({"the lock ", absoluteName(lockFile(file))});
}

struct EditLock::Held {
    HANDLE file;
};

EditLock::EditLock(std::unique_ptr<Held> held) : held_(std::move(held)) {}
EditLock::EditLock(EditLock&&) noexcept = default;
EditLock::~EditLock() {
    if (held_) {
        static_cast<void>(CloseHandle(held_->file));
    }
}

std::variant<EditLock, std::string> EditLock::take(const std::filesystem::path& file, std::chrono::milliseconds timeout,
                                                   const std::function<bool()>& keepWaiting) {
    const std::filesystem::path lock = lockFile(file);
    LockWait wait(file, timeout, keepWaiting);
    for (;;) {
        const HANDLE held = CreateFileW(lock.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                        FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        if (held != INVALID_HANDLE_VALUE) {
            return EditLock(std::make_unique<Held>(Held{held}));
        }
        const DWORD error = GetLastError();
        if (error == ERROR_PATH_NOT_FOUND) {
            return std::string(kNoSuchFile);
        }
        if (!busy(error)) {
            return concatenate(
                {"cannot be edited: the lock ", absoluteName(lock), " against other edits: ", reason(error)});
        }
        if (std::optional<std::string> refusal = wait.refused()) {
            return *std::move(refusal);
        }
    }
}

std::optional<std::string> replaceFile(const std::filesystem::path& given, std::string_view text) {
    // The folder is named: Wine takes a file without one for one in a folder named "".
    std::error_code error;
    const std::filesystem::path file = std::filesystem::absolute(given, error);
    if (error) {
        return concatenate({kCannotBeWritten, reason(static_cast<DWORD>(error.value()))});
    }
    const DWORD attributes = GetFileAttributesW(file.c_str());
    const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
    if (exists) {
        if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) {
            return std::string(kReadOnly);
        }
        if (std::optional<std::string> refusal = mayNotWrite(file)) {
            return refusal;
        }
    }
    std::random_device random;
    const std::filesystem::path beside = file.parent_path() / (leftoverPrefix(file) + std::to_string(random()));
    const HANDLE out =
        CreateFileW(beside.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE) {
        const DWORD failure = GetLastError();
        if (failure == ERROR_ACCESS_DENIED) {
            return concatenate({kCannotBeWritten, "its folder ", absoluteName(file.parent_path()),
                                " may not be written by you (", reason(failure),
                                "), and an edit writes the new text beside the file"});
        }
        return concatenate({kCannotBeWritten, reason(failure)});
    }
    DWORD written = 0;
    bool done = text.empty() || WriteFile(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) != 0;
    done = done && written == text.size() && FlushFileBuffers(out) != 0;
    DWORD failure = GetLastError();
    done = CloseHandle(out) != 0 && done;
    if (done && exists) {
        carryOver(file, beside);
    }
    for (const auto until = std::chrono::steady_clock::now() + kReplaceRetries; done;) {
        if (MoveFileExW(beside.c_str(), file.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0) {
            return std::nullopt;
        }
        failure = GetLastError();
        if (!busy(failure) || std::chrono::steady_clock::now() >= until) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    static_cast<void>(DeleteFileW(beside.c_str()));
    return concatenate({kCannotBeWritten, reason(failure)});
}

}  // namespace settings::file_internal

// Paths are UTF-16. The standard fopen takes names in the ANSI code page,
// which cannot hold every name; the C runtime's _wfopen takes them whole.
// Files are opened sharing reading and writing but not deletion: under Wine,
// a file deleted while shared for deletion takes a successor created under
// its name with it when the last handle closes. A save that renames onto the
// file at that moment fails once and is tried again, as editors do.
#include <io.h>
#include <stdio.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>

#include "file/base/internal/access.h"

namespace settings::file_internal {
namespace {

constexpr std::int64_t ticks(FILETIME time) {
    return static_cast<std::int64_t>((static_cast<std::uint64_t>(time.dwHighDateTime) << 32U) | time.dwLowDateTime);
}

bool isMissing(DWORD error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }

}  // namespace

FileStatus lookAtFile(const std::filesystem::path& path) {
    // Opened for reading, as a read opens it: a handle for attributes alone
    // would not keep the file from being deleted under it, which under Wine
    // takes a file re-created under its name with it. The flag opens folders too.
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return {isMissing(GetLastError()) ? FileKind::missing : FileKind::unknown};
    }
    BY_HANDLE_FILE_INFORMATION information{};
    FILE_BASIC_INFO basic{};
    FileStatus status{FileKind::unknown};
    if (GetFileInformationByHandle(file, &information) != 0 &&
        GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof basic) != 0) {
        const bool directory = (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        status.kind = directory                             ? FileKind::directory
                      : GetFileType(file) == FILE_TYPE_DISK ? FileKind::regular
                                                            : FileKind::other;
        status.device = information.dwVolumeSerialNumber;
        status.index = (static_cast<std::uint64_t>(information.nFileIndexHigh) << 32U) | information.nFileIndexLow;
        status.size = (static_cast<std::uint64_t>(information.nFileSizeHigh) << 32U) | information.nFileSizeLow;
        status.modified = ticks(information.ftLastWriteTime);
        status.changed = basic.ChangeTime.QuadPart;
        status.permissions = information.dwFileAttributes;
    }
    static_cast<void>(CloseHandle(file));
    return status;
}

std::variant<OpenFile, std::string> openSettingsFile(const std::filesystem::path& path, Opening opening) {
    OpenFile file(_wfopen(path.c_str(), L"rb"));
    if (!file) {
        const int reason = errno;
        // A folder does not open as a file at all.
        const DWORD attributes = GetFileAttributesW(path.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            return std::string(kIsDirectory);
        }
        return reason == ENOENT ? std::string(kNoSuchFile) : cannotRead(reason);
    }
    struct _stat64 status {};
    const bool regular = _fstat64(_fileno(file.get()), &status) == 0 && (status.st_mode & _S_IFREG) != 0;
    if (opening == Opening::regularOnly && !regular) {
        return std::string(kNotRegularFile);
    }
    return file;
}

}  // namespace settings::file_internal
